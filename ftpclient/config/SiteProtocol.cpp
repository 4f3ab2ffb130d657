#include "ftpclient/config/SiteProtocol.h"

namespace harbel::tessaly {

QStringList SiteProtocol::names()
{
    return {QStringLiteral("FTP"), QStringLiteral("FTP over TLS"), QStringLiteral("SFTP")};
}

SiteProtocol::Kind SiteProtocol::fromValue(int value, bool tls)
{
    if (value == Ftp || value == FtpTls || value == Sftp)
        return Kind(value);
    return tls ? FtpTls : Ftp;
}

QString SiteProtocol::portAfterChange(const QString& port, Kind from, Kind to)
{
    const QString trimmed = port.trimmed();
    const bool wasSftp = from == Sftp;
    const bool isSftp = to == Sftp;
    if (wasSftp == isSftp)
        return port;
    const bool atDefault = trimmed.isEmpty()
        || (wasSftp ? trimmed == QLatin1String("22") : (trimmed == QLatin1String("21") || trimmed == QLatin1String("990")));
    if (!atDefault)
        return port;
    return isSftp ? QStringLiteral("22") : QStringLiteral("21");
}

QString SiteProtocol::notOverSftp()
{
    return QStringLiteral("Not available over SFTP");
}

}  // namespace harbel::tessaly
