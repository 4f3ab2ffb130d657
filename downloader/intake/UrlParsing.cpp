#include "downloader/intake/UrlParsing.h"

#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"
#include "downloader/settings/DownloadSettings.h"

#include <QCoreApplication>

#include <algorithm>

namespace harbel {

namespace {

const QLatin1String kHttp("http://");
const QLatin1String kHttps("https://");
const QLatin1String kFtp("ftp://");
const QLatin1String kFtps("ftps://");

// The first place where either marker occurs as written (lower case), -1 when neither does.
qsizetype firstOf(const QString& text, QLatin1String a, QLatin1String b)
{
    const qsizetype p = text.indexOf(a), q = text.indexOf(b);
    return p < 0 ? q : q < 0 ? p : std::min(p, q);
}

// The address with any carrier text cut off, and the remainder after the scheme.
struct Normalised {
    bool http = false;
    bool tls = false;
    QString rest;
};

Normalised normalise(const QString& address)
{
    Normalised n;
    const QString lower = address.toLower();
    n.http = lower.contains(kHttp) || lower.contains(kHttps);
    QString text = address;
    // A browser error page or a local file may carry the real address inside it.
    if (lower.startsWith(QLatin1String("res://")) || text.mid(1, 2) == QLatin1String(":\\")) {
        qsizetype p = firstOf(text, kHttp, kHttps);  // the marker as written in lower case only
        if (p >= 0)
            text = text.mid(p);
        p = firstOf(text, kFtp, kFtps);
        if (p >= 0)
            text = text.mid(p);
    }
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    n.rest = scheme >= 0 ? text.mid(scheme + 3) : text;
    // TLS when the address's own scheme is the secure form of the protocol it is taken for.
    const QString name = scheme >= 0 ? text.left(scheme).trimmed().toLower() : QString();
    n.tls = n.http ? name == QLatin1String("https") : name == QLatin1String("ftps");
    return n;
}

struct Split {
    bool http = false;
    bool tls = false;
    QString hostPart;
    QString server;
    quint16 port = 0;
    QString user;
    QString password;
    QString directory;
    QString fileName;
};

// Every TCP port (1 to 65535) is a port; anything else gives 0, so the connection fails.
quint16 portNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 0 || value > 65535)
        return 0;
    return quint16(value);
}

void splitPath(const QString& path, Split& s)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    s.directory = path.left(slash + 1);
    s.fileName = path.mid(slash + 1);
}

void splitHost(Split& s, quint16 defaultPort)
{
    const qsizetype colon = s.hostPart.indexOf(u':');
    if (colon >= 0) {
        s.server = s.hostPart.left(colon);
        s.port = portNumber(s.hostPart.mid(colon + 1));
    } else {
        s.server = s.hostPart;
        s.port = defaultPort;
    }
}

Split split(const QString& address)
{
    const Normalised n = normalise(address);
    Split s;
    s.http = n.http;
    s.tls = n.tls;
    QString r = n.rest;
    if (s.http) {
        const qsizetype slash = r.indexOf(u'/');
        s.hostPart = slash >= 0 ? r.left(slash) : r;
        splitHost(s, s.tls ? 443 : 80);
        splitPath(r.mid(s.hostPart.size()), s);
        return s;
    }
    const qsizetype at = r.indexOf(u'@');
    if (at >= 0) {
        const QString credentials = r.left(at);
        r = r.mid(at + 1);
        const qsizetype colon = credentials.indexOf(u':');
        if (colon >= 0) {
            s.user = credentials.left(colon);
            s.password = credentials.mid(colon + 1);
        }
    } else {
        s.user = QStringLiteral("anonymous");
        s.password = QString::fromLatin1(kAnonymousPassword);
    }
    const qsizetype slash = r.indexOf(u'/');
    s.hostPart = slash >= 0 ? r.left(slash) : r;
    splitHost(s, 21);
    splitPath(slash >= 0 ? r.mid(slash + 1) : QString(), s);
    return s;
}

QString escapeSpaces(QString text)
{
    return text.replace(u' ', QLatin1String("%20"));
}

QString programTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Pellanor") : name;
}

}  // namespace

UrlFields splitURL(const QString& address)
{
    Split s = split(address);
    const QString directory = escapeSpaces(s.directory);
    const QString fileName = escapeSpaces(s.fileName);
    const auto [user, password] = GetSiteLogin(s.server.trimmed());
    if (!user.isEmpty() || !password.isEmpty()) {
        s.user = user;
        s.password = password;
    }
    UrlFields f;
    f.HTTPMODE = s.http;
    f.FTPMODE = !s.http;
    f.TLS = s.tls;
    f.strUserName = s.user.trimmed();
    f.strPassword = s.password.trimmed();
    f.strServer = s.server.trimmed();
    f.intPort = s.port;
    f.strFilePath = directory.trimmed() + fileName.trimmed();
    QString file = directory + fileName;
    if (file.startsWith(u'/'))
        file.remove(0, 1);
    f.strFile = file.trimmed();
    return f;
}

QString GetServerName(const QString& address)
{
    return split(address).hostPart;
}

QString addressForDisplay(const QString& address)
{
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return address;
    const qsizetype hostStart = scheme + 3;
    qsizetype hostEnd = address.indexOf(u'/', hostStart);
    if (hostEnd < 0)
        hostEnd = address.size();
    const qsizetype at = address.lastIndexOf(u'@', hostEnd - 1);
    if (at < hostStart)
        return address;
    const qsizetype colon = address.indexOf(u':', hostStart);
    if (colon < 0 || colon > at)
        return address;
    return address.left(colon + 1) + QStringLiteral("*password*") + address.mid(at);
}

QString GetFileName(const QString& address)
{
    return split(address).fileName;
}

std::pair<QString, QString> GetSiteLogin(const QString& server)
{
    for (const SiteLogin& login : SettingsStore::instance().logins)
        if (login.server == server)
            return {login.user, login.password};
    return {};
}

bool IsValidExt(const QString& extension)
{
    static const QString forbidden = QStringLiteral(":?|\"<>/\\");
    for (const QChar c : extension)
        if (forbidden.contains(c))
            return false;
    return true;
}

bool isDownloadScheme(const QString& address)
{
    for (const QLatin1String scheme : {kHttp, kHttps, kFtp, kFtps})
        if (address.startsWith(scheme, Qt::CaseInsensitive))
            return true;
    return false;
}

bool isBareScheme(const QString& address)
{
    for (const QLatin1String scheme : {kHttp, kHttps, kFtp, kFtps})
        if (address.compare(scheme, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool ValidateTypedURL(const QString& address)
{
    if (!isDownloadScheme(address) || isBareScheme(address)) {
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("11041"), QStringLiteral("Invalid URL")),
                                   MsgButtons::OkOnly, MsgIcon::Exclamation, programTitle());
        return false;
    }
    const QString name = GetFileName(address);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot >= 0 ? name.mid(dot + 1).toLower() : QString();
    if (extension.isEmpty() || !IsValidExt(extension)) {
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("13028"), QStringLiteral("Invalid File URL...")),
                                   MsgButtons::OkOnly, MsgIcon::Exclamation,
                                   GetLangString(QStringLiteral("11041"), QStringLiteral("Inavlid URL")));
        return false;
    }
    return true;
}

}  // namespace harbel
