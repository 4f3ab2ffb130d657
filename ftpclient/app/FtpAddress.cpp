#include "ftpclient/app/FtpAddress.h"

#include <QByteArray>

namespace harbel::tessaly {

namespace {

// Percent-decoded text; nullopt when it holds a control character once decoded (a line break in
// a name or password would add a command of its own).
std::optional<QString> decoded(const QString& text)
{
    const QString plain = QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
    for (const QChar c : plain) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    }
    return plain;
}

}  // namespace

std::optional<FtpAddress> FtpAddress::parse(const QString& text, QString* why)
{
    FtpAddress a;
    QString rest;
    if (text.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive)) {
        rest = text.mid(6);
    } else if (text.startsWith(QLatin1String("ftps://"), Qt::CaseInsensitive)) {
        rest = text.mid(7);
        a.tls = true;
    } else if (text.startsWith(QLatin1String("sftp://"), Qt::CaseInsensitive)) {
        rest = text.mid(7);
        a.sftp = true;
        a.port = 22;
    } else {
        *why = QStringLiteral("'%1' is no ftp://, ftps:// or sftp:// address").arg(text);
        return std::nullopt;
    }
    const qsizetype slash = rest.indexOf(u'/');
    QString authority = slash < 0 ? rest : rest.left(slash);
    const QString path = slash < 0 ? QString() : rest.mid(slash);

    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(u':');
        const auto user = decoded(colon < 0 ? userInfo : userInfo.left(colon));
        const auto password = decoded(colon < 0 ? QString() : userInfo.mid(colon + 1));
        if (!user || !password) {
            *why = QStringLiteral("the user or password of the address holds a control character");
            return std::nullopt;
        }
        a.user = *user;
        a.password = *password;
        a.hasPassword = colon >= 0;
        if (a.user.isEmpty()) {
            *why = QStringLiteral("the address names an empty user");
            return std::nullopt;
        }
    }

    QString portText;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0) {
            *why = QStringLiteral("the IPv6 host of the address has no closing ']'");
            return std::nullopt;
        }
        a.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':')) {
            *why = QStringLiteral("unexpected text after the host: '%1'").arg(after);
            return std::nullopt;
        }
        portText = after.mid(1);
        if (after.startsWith(u':') && portText.isEmpty())
            portText = QStringLiteral("x");
    } else {
        const qsizetype colon = authority.lastIndexOf(u':');
        a.host = colon < 0 ? authority : authority.left(colon);
        if (colon >= 0)
            portText = authority.mid(colon + 1).isEmpty() ? QStringLiteral("x") : authority.mid(colon + 1);
    }
    if (a.host.isEmpty()) {
        *why = QStringLiteral("the address names no host");
        return std::nullopt;
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535) {
            *why = QStringLiteral("the port of the address must be a number from 1 to 65535");
            return std::nullopt;
        }
        a.port = quint16(port);
    }

    // The first "/" only separates the path from the host.
    const auto plainPath = decoded(path.mid(1));
    if (!plainPath) {
        *why = QStringLiteral("the path of the address holds a control character");
        return std::nullopt;
    }
    a.namesFolder = plainPath->isEmpty() || plainPath->endsWith(u'/');
    if (a.sftp) {
        const bool home = *plainPath == QLatin1String("~") || plainPath->startsWith(QLatin1String("~/"));
        const QString joined = plainPath->mid(home ? 1 : 0).split(u'/', Qt::SkipEmptyParts).join(u'/');
        a.path = home ? joined : u'/' + joined;
        return a;
    }
    // Runs of "/" are one, and "." or ".." are not followed: the path is the server's to resolve.
    const QString joined = plainPath->split(u'/', Qt::SkipEmptyParts).join(u'/');
    a.path = plainPath->startsWith(u'/') ? u'/' + joined : joined;
    return a;
}

QString FtpAddress::shown() const
{
    QString text = sftp ? QStringLiteral("sftp://") : tls ? QStringLiteral("ftps://") : QStringLiteral("ftp://");
    if (!user.isEmpty())
        text += user + u'@';
    text += host.contains(u':') ? u'[' + host + u']' : host;
    if (port != (sftp ? 22 : 21))
        text += u':' + QString::number(port);
    text += sftp && !absolute() ? QStringLiteral("/~/") + path : sftp ? path : u'/' + path;
    if (namesFolder && !path.isEmpty() && path != QLatin1String("/"))
        text += u'/';
    return text;
}

QString FtpAddress::name() const
{
    return path.section(u'/', -1);
}

QString FtpAddress::pathFrom(const QString& loginFolder) const
{
    if (absolute())
        return path;
    const QString base = loginFolder.isEmpty() ? QStringLiteral("/") : loginFolder;
    if (path.isEmpty())
        return base;
    return base.endsWith(u'/') ? base + path : base + u'/' + path;
}

}  // namespace harbel::tessaly
