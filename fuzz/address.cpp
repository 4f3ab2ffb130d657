// Addresses as they come from web pages, the clipboard and the command line: split into their
// parts, shown, and turned into the name of the file saved.
#include "FuzzCheck.h"

#include "downloader/intake/UrlParsing.h"

#include <QChar>

using namespace harbel;

namespace {

void checkFileName(const QString& name)
{
    FUZZ_CHECK(!name.isEmpty() && name != u"." && name != u"..");
    for (const QChar c : name)
        FUZZ_CHECK(c != u'/' && c.category() != QChar::Other_Control);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    const UrlFields fields = splitURL(address);
    FUZZ_CHECK(!(fields.HTTPMODE && fields.FTPMODE));
    FUZZ_CHECK(!fields.strServer.contains(u'/'));

    addressForDisplay(address);
    GetServerName(address);
    GetFileName(address);
    typeKnownFromAddress(address);
    originOf(address);
    isDownloadScheme(address);
    isBareScheme(address);

    const QString name = fileNameOfAddress(address);
    checkFileName(name);
    FUZZ_CHECK(name.toUtf8().size() <= 255);
    checkFileName(safeName(address, QStringLiteral("index.html")));
    extensionOfName(name);
    return 0;
}
