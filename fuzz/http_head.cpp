// An HTTP response head as a server sends it: the status line, the fields the download reads, and
// the file name it takes from Content-Disposition.
#include "FuzzCheck.h"

#include "downloader/engine/HttpText.h"
#include "downloader/intake/UrlParsing.h"

#include <QChar>

using namespace harbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray block(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype bodyStart = -1;
    QByteArray head = headOf(block, &bodyStart);
    if (head.isEmpty())
        head = block;
    else
        FUZZ_CHECK(bodyStart >= 0 && bodyStart <= block.size());

    const QByteArray status = statusLine(head);
    FUZZ_CHECK(status.size() <= head.size());
    GetStatusCode(QString::fromLatin1(status));

    if (const auto length = headerField(head, "Content-Length")) {
        if (const auto n = parseLength(*length))
            FUZZ_CHECK(*n >= 0);
    }
    for (const QByteArray& value : headerFields(head, "Content-Range")) {
        if (const auto r = parseContentRange(value)) {
            // A range lies inside the file: first <= last < total.
            FUZZ_CHECK(r->first >= 0 && r->first <= r->last);
            FUZZ_CHECK(r->total == -1 || r->last < r->total);
        }
    }
    headerField(head, "Location");
    isChunked(head);
    validatorOf(head);

    // The name the file is saved under: never a path, never a control character.
    const QString name = contentDispositionName(head);
    FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\'));
    const QString saved = safeName(name, QStringLiteral("index.html"));
    FUZZ_CHECK(!saved.isEmpty() && saved != u"." && saved != u"..");
    for (const QChar c : saved)
        FUZZ_CHECK(c != u'/' && c.category() != QChar::Other_Control);
    FUZZ_CHECK(saved.toUtf8().size() <= 255 || saved == u"index.html");
    return 0;
}
