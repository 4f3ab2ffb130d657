// Folder listings from any server: Unix and DOS LIST lines and MLSD facts. A listed name that a
// later step would take as a local file name either passes the name check or is refused by it.
#include "FuzzCheck.h"

#include "ftpclient/component/Listing.h"

#include <QTimeZone>

using namespace harbel::tessaly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the kind of listing, the rest is the server's reply.
    const bool mlsd = data[0] & 1;
    const QByteArray reply(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    static const QDateTime now = QDateTime(QDate(2026, 6, 15), QTime(12, 0), Qt::UTC);

    const QList<FolderItem> items = listing::parseListing(reply, mlsd, now);
    // One item per line at most.
    FUZZ_CHECK(items.size() <= reply.count('\n') + 1);
    for (const FolderItem& item : items) {
        FUZZ_CHECK(!item.Name.isEmpty());
        FUZZ_CHECK(item.Name != u"." && item.Name != u"..");
        FUZZ_CHECK(item.Size >= 0);
        FUZZ_CHECK(item.Kind == FolderItem::File || item.Kind == FolderItem::Folder
                   || item.Kind == FolderItem::Link);
        // The name check refuses every name that holds a separator or a control character.
        const QString reason = listing::unsafeNameReason(item.Name);
        if (reason.isEmpty()) {
            for (const QChar c : item.Name)
                FUZZ_CHECK(c != u'/' && c != u'\\' && c.category() != QChar::Other_Control);
        }
        listing::listedPrecision(item, mlsd);
    }
    return 0;
}
