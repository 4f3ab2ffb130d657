#include "downloader/main/NativeMessagingHost.h"

#include "downloader/intake/CaptureFilters.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

#include <cstring>

namespace harbel {

namespace {

QJsonObject failure(const QString& why)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}};
}

QJsonObject taken(bool yes)
{
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("taken"), yes}};
}

bool hasControlCharacters(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Format)
            return true;
    return false;
}

}  // namespace

NativeMessagingHost::Frame NativeMessagingHost::readFrame(std::FILE* in, QByteArray& body)
{
    unsigned char head[4];
    const std::size_t got = std::fread(head, 1, sizeof head, in);
    if (got == 0)
        return Frame::End;
    if (got < sizeof head)
        return Frame::Truncated;
    quint32 length = 0;
    std::memcpy(&length, head, sizeof length);  // the machine's own byte order
    if (length > kMaxMessage)
        return Frame::TooLong;
    body.resize(qsizetype(length));
    if (length > 0 && std::fread(body.data(), 1, length, in) != length)
        return Frame::Truncated;
    return Frame::Read;
}

bool NativeMessagingHost::writeFrame(std::FILE* out, const QJsonObject& message)
{
    const QByteArray json = QJsonDocument(message).toJson(QJsonDocument::Compact);
    const quint32 length = quint32(json.size());
    unsigned char head[4];
    std::memcpy(head, &length, sizeof head);
    return std::fwrite(head, 1, sizeof head, out) == sizeof head
        && std::fwrite(json.constData(), 1, std::size_t(json.size()), out) == std::size_t(json.size())
        && std::fflush(out) == 0;
}

QJsonObject NativeMessagingHost::answer(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return failure(QStringLiteral("the message is not a JSON object"));
    const QJsonObject message = doc.object();
    const QJsonValue urlValue = message.value(QStringLiteral("url"));
    if (!urlValue.isString() || urlValue.toString().trimmed().isEmpty())
        return failure(QStringLiteral("the message holds no url"));
    const QString url = urlValue.toString().trimmed();
    // Texts beginning with "MENU" come from the browser's menus, not from a link.
    if (url.startsWith(QLatin1String("MENU")))
        return failure(QStringLiteral("not a download"));
    if (hasControlCharacters(url))
        return failure(QStringLiteral("the url holds control characters"));
    if (!isDownloadScheme(url))
        return failure(QStringLiteral("only http, https, ftp, ftps and sftp addresses are downloaded"));
    if (message.value(QStringLiteral("capture")).toBool() && !(wantsCapture && wantsCapture(url)))
        return taken(false);
    if (!handOver || !handOver(url))
        return failure(QStringLiteral("the download manager did not take the address"));
    return taken(true);
}

int NativeMessagingHost::run(std::FILE* in, std::FILE* out)
{
    for (;;) {
        QByteArray body;
        switch (readFrame(in, body)) {
        case Frame::End:
            return 0;
        case Frame::Truncated:
            writeFrame(out, failure(QStringLiteral("the message was cut off")));
            return 1;
        case Frame::TooLong:
            writeFrame(out, failure(QStringLiteral("the message is longer than 1 MiB")));
            return 1;
        case Frame::Read:
            break;
        }
        if (!writeFrame(out, answer(body)))
            return 1;
    }
}

bool handToWindow(const QString& url, int waitMs)
{
    SingleInstance locator(QStringLiteral("Pellanor"), QStringLiteral("TessalyRecieveMessage"));
    if (locator.send(url, 1000))
        return true;
    // Nobody holds the lock: no window runs, so one is started (once the lock is let go again).
    // A window that holds it is still starting and will listen soon.
    bool noWindow = false;
    {
        SingleInstance probe(QStringLiteral("Pellanor"), QStringLiteral("TessalyRecieveMessage"));
        noWindow = probe.acquire();
    }
    if (noWindow) {
        QProcess window;
        window.setProgram(QCoreApplication::applicationFilePath());
        // The window must not write into the browser's pipe.
        window.setStandardInputFile(QProcess::nullDevice());
        window.setStandardOutputFile(QProcess::nullDevice());
        if (!window.startDetached())
            return false;
    }
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        QThread::msleep(200);
        if (locator.send(url, 1000))
            return true;
    }
    return false;
}

bool captureWanted(const QString& url)
{
    SettingsStore& store = SettingsStore::instance();
    store.LoadSettings();
    const DownloadSettings& s = store.record;
    return s.ClickCapture && IsServerPermitted(url, s.MonitorServer) && IsExtPermitted(url, s.MonitorTypes);
}

int runNativeMessagingHost(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Harbel"));
    NativeMessagingHost host;
    host.handOver = [](const QString& url) { return handToWindow(url); };
    host.wantsCapture = &captureWanted;
    return host.run(stdin, stdout);
}

}  // namespace harbel
