// The browser extension's stream of frames: every message gets one well-formed answer, the host
// stops at a broken frame, and only a download address with a host ever reaches the window.
#include "FuzzCheck.h"

#include "downloader/intake/UrlParsing.h"
#include "downloader/main/NativeMessagingHost.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace harbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    char* answers = nullptr;
    std::size_t answersSize = 0;
    std::FILE* out = open_memstream(&answers, &answersSize);
    FUZZ_CHECK(in && out);

    int handed = 0;
    NativeMessagingHost host;
    host.handOver = [&handed](const QString& url) {
        ++handed;
        FUZZ_CHECK(isDownloadScheme(url));
        FUZZ_CHECK(addressRefusal(url).isEmpty());
        for (const QChar c : url)
            FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7f);
        return true;
    };
    host.wantsCapture = [](const QString&) { return true; };
    const int status = host.run(in, out);
    std::fclose(in);
    std::fclose(out);
    FUZZ_CHECK(status == 0 || status == 1);

    // Every answer a frame of one JSON object with "ok", no more answers than messages sent.
    int count = 0;
    for (std::size_t at = 0; at < answersSize;) {
        FUZZ_CHECK(answersSize - at >= 4);
        quint32 length = 0;
        std::memcpy(&length, answers + at, 4);
        at += 4;
        FUZZ_CHECK(length <= answersSize - at);
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(answers + at, qsizetype(length)));
        FUZZ_CHECK(doc.isObject() && doc.object().value(QStringLiteral("ok")).isBool());
        at += length;
        ++count;
    }
    FUZZ_CHECK(std::size_t(count) <= size / 4 + 1);
    FUZZ_CHECK(handed <= count);
    std::free(answers);
    return 0;
}
