// A command-line front to FtpComponent: one download or upload, for benchmarks and scripts.
//   tessaly-transfer --host H --port P --user U --password W [--active] [--ascii] --get REMOTE LOCAL
//   tessaly-transfer ... --put LOCAL REMOTE
#include "ftpclient/component/FtpComponent.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

using namespace harbel::tessaly;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    FtpComponent ftp;
    QString get, put, from, to;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto next = [&]() { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == QLatin1String("--host"))
            ftp.Host = next();
        else if (a == QLatin1String("--port"))
            ftp.Port = quint16(next().toUInt());
        else if (a == QLatin1String("--user"))
            ftp.User = next();
        else if (a == QLatin1String("--password"))
            ftp.Password = next();
        else if (a == QLatin1String("--active"))
            ftp.Passive = false;
        else if (a == QLatin1String("--ascii"))
            ftp.TransferMode = 1;
        else if (a == QLatin1String("--get") || a == QLatin1String("--put")) {
            (a == QLatin1String("--get") ? get : put) = QStringLiteral("yes");
            from = next();
            to = next();
        } else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(a));
            return 2;
        }
    }
    if ((get.isEmpty() && put.isEmpty()) || from.isEmpty() || to.isEmpty() || ftp.Host.isEmpty()) {
        std::fputs("Usage: tessaly-transfer --host H --port P --user U --password W [--active] [--ascii] "
                   "(--get REMOTE LOCAL | --put LOCAL REMOTE)\n",
                   stderr);
        return 2;
    }
    QObject::connect(&ftp, &FtpComponent::FileExists, [](const FileClash&, int& answer) { answer = FileClash::Overwrite; });
    try {
        ftp.Connect();
        if (!get.isEmpty())
            ftp.ReceiveFile(from, 0, to);
        else
            ftp.SendFile(from, 0, to, false);
        ftp.Disconnect();
    } catch (const FtpError& e) {
        std::fprintf(stderr, "tessaly-transfer: %s (0x%llX)\n", qPrintable(e.Description()), static_cast<unsigned long long>(e.Number()));
        return 1;
    }
    return 0;
}
