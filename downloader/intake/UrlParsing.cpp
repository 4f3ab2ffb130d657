#include "downloader/intake/UrlParsing.h"

#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"
#include "downloader/settings/DownloadSettings.h"

#include <QCoreApplication>
#include <QUrl>

#include <algorithm>

namespace harbel {

namespace {

const QLatin1String kHttp("http://");
const QLatin1String kHttps("https://");
const QLatin1String kFtp("ftp://");
const QLatin1String kFtps("ftps://");
const QLatin1String kSftp("sftp://");

// The first place where either marker occurs as written (lower case), -1 when neither does.
qsizetype firstOf(const QString& text, QLatin1String a, QLatin1String b)
{
    const qsizetype p = text.indexOf(a), q = text.indexOf(b);
    return p < 0 ? q : q < 0 ? p : std::min(p, q);
}

// An address as RFC 3986 cuts it: scheme, authority (login, host, port), path, query; the
// fragment is dropped.
struct Split {
    bool http = false;
    bool sftp = false;
    bool tls = false;
    QString scheme;    // lower case, empty when the address names none
    QString user;      // as written (percent-encoded)
    QString password;
    QString hostPart;  // host and port as written, without the login
    QString server;    // the host, without the brackets of an IPv6 literal
    quint16 port = 0;
    QString path;      // from its "/" on, as written; empty when the address has none
    bool hasQuery = false;
    QString query;
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

bool isSchemeName(const QString& text)
{
    if (text.isEmpty() || !text[0].isLetter())
        return false;
    for (const QChar c : text)
        if (!(c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.') || c.unicode() > 127)
            return false;
    return true;
}

void splitHost(Split& s, quint16 defaultPort)
{
    const QString& h = s.hostPart;
    s.port = defaultPort;
    if (h.startsWith(u'[')) {
        // An IPv6 literal: the port follows its closing bracket.
        const qsizetype close = h.indexOf(u']');
        s.server = close < 0 ? h.mid(1) : h.mid(1, close - 1);
        if (close >= 0 && h.mid(close + 1).startsWith(u':'))
            s.port = portNumber(h.mid(close + 2));
        return;
    }
    const qsizetype colon = h.indexOf(u':');
    s.server = colon >= 0 ? h.left(colon) : h;
    if (colon >= 0)
        s.port = portNumber(h.mid(colon + 1));
}

Split split(const QString& address)
{
    QString text = address.trimmed();
    const QString lower = text.toLower();
    // A browser error page or a local file may carry the real address inside it.
    if (lower.startsWith(QLatin1String("res://")) || text.mid(1, 2) == QLatin1String(":\\")) {
        qsizetype p = firstOf(text, kHttp, kHttps);  // the marker as written in lower case only
        if (p >= 0)
            text = text.mid(p);
        p = firstOf(text, kFtp, kFtps);
        if (p >= 0)
            text = text.mid(p);
    }
    Split s;
    QString r = text;
    const qsizetype colonSlashes = text.indexOf(QLatin1String("://"));
    if (colonSlashes >= 0 && isSchemeName(text.left(colonSlashes))) {
        s.scheme = text.left(colonSlashes).toLower();
        r = text.mid(colonSlashes + 3);
    } else if (colonSlashes >= 0) {
        r = text.mid(colonSlashes + 3);
    }
    // The scheme alone decides the protocol; an address without one is taken as FTP.
    s.http = s.scheme == QLatin1String("http") || s.scheme == QLatin1String("https");
    s.tls = s.scheme == QLatin1String("https") || s.scheme == QLatin1String("ftps");
    s.sftp = s.scheme == QLatin1String("sftp");

    const qsizetype fragment = r.indexOf(u'#');
    if (fragment >= 0)
        r.truncate(fragment);
    qsizetype authorityEnd = r.size();
    for (const QChar c : {u'/', u'?'})
        if (const qsizetype p = r.indexOf(c); p >= 0 && p < authorityEnd)
            authorityEnd = p;
    QString authority = r.left(authorityEnd);
    QString rest = r.mid(authorityEnd);

    // The login ends at the last "@" of the authority: a password may hold "@" as written.
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
        const QString credentials = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = credentials.indexOf(u':');
        // Credentials without ":" give an empty login.
        if (colon >= 0) {
            s.user = credentials.left(colon);
            s.password = credentials.mid(colon + 1);
        } else if (s.sftp) {
            s.user = credentials;  // "user@host", as ssh takes it
        }
    } else if (!s.http && !s.sftp) {
        s.user = QStringLiteral("anonymous");
        s.password = QString::fromLatin1(kAnonymousPassword);
    }
    s.hostPart = authority;
    splitHost(s, s.http ? (s.tls ? 443 : 80) : s.sftp ? 22 : 21);

    const qsizetype question = rest.indexOf(u'?');
    s.path = question >= 0 ? rest.left(question) : rest;
    if (question >= 0) {
        s.hasQuery = true;
        s.query = rest.mid(question + 1);
    }
    return s;
}

QString escapeSpaces(QString text)
{
    return text.replace(u' ', QLatin1String("%20"));
}

QString decoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
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
    UrlFields f;
    f.HTTPMODE = s.http;
    f.FTPMODE = !s.http;
    f.TLS = s.tls;
    f.SFTP = s.sftp;
    f.strServer = s.server.trimmed();
    f.intPort = s.port;
    // The login is percent-decoded once: "%40" is an "@" of the password, "%3A" a ":".
    QString user = decoded(s.user.trimmed());
    QString password = decoded(s.password.trimmed());
    const auto [siteUser, sitePassword] = GetSiteLogin(f.strServer);
    if (!siteUser.isEmpty() || !sitePassword.isEmpty()) {
        user = siteUser.trimmed();
        password = sitePassword.trimmed();
    }
    f.strUserName = user;
    f.strPassword = password;
    if (s.http) {
        // The request names the path and query as written; blanks are written "%20".
        QString target = s.path.trimmed();
        if (s.hasQuery)
            target += u'?' + s.query.trimmed();
        target = escapeSpaces(target);
        if (target.startsWith(u'/'))
            target.remove(0, 1);
        f.strFile = target;
        f.strFilePath = u'/' + target;
    } else if (s.sftp) {
        // As ssh's tools read it: the path from the root, "/~/" the login folder.
        QString path = decoded(s.path.trimmed());
        if (!path.startsWith(u'/'))
            path.prepend(u'/');
        if (path.startsWith(QLatin1String("/~/")))
            path.remove(0, 3);
        f.strFile = path;
        f.strFilePath = path;
    } else {
        // RETR names the path relative to the login folder, decoded once; a control character it
        // then holds is refused before anything is sent.
        QString path = s.path.trimmed();
        if (path.startsWith(u'/'))
            path.remove(0, 1);
        f.strFile = decoded(path);
        f.strFilePath = f.strFile;
    }
    return f;
}

QString GetServerName(const QString& address)
{
    return split(address).hostPart;
}

QString originOf(const QString& address)
{
    const Split s = split(address);
    return s.scheme + QStringLiteral("://") + s.server.toLower() + u':' + QString::number(s.port);
}

QString addressForDisplay(const QString& address)
{
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return address;
    const qsizetype hostStart = scheme + 3;
    qsizetype hostEnd = address.size();
    for (const QChar c : {u'/', u'?', u'#'})
        if (const qsizetype p = address.indexOf(c, hostStart); p >= 0 && p < hostEnd)
            hostEnd = p;
    const qsizetype at = address.lastIndexOf(u'@', hostEnd - 1);
    if (at < hostStart)
        return address;
    const qsizetype colon = address.indexOf(u':', hostStart);
    // No password, or an empty one (as History.ini keeps a login whose password is in the keyring).
    if (colon < 0 || colon + 1 >= at)
        return address;
    return address.left(colon + 1) + QStringLiteral("*password*") + address.mid(at);
}

AddressLogin addressLogin(const QString& address)
{
    const Split s = split(address);
    AddressLogin login{address, s.server.trimmed(), decoded(s.user.trimmed()), decoded(s.password.trimmed())};
    const QString shown = addressForDisplay(address);
    if (login.password.isEmpty() || shown == address)
        return {address, login.server, login.user, QString()};
    // "user:@host": without the colon the address would name no user at all.
    login.address = shown;
    login.address.remove(QStringLiteral("*password*"));
    return login;
}

QString GetFileName(const QString& address)
{
    const QString path = split(address).path;
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString safeName(const QString& name, const QString& fallback)
{
    QString n = name;
    for (QChar& c : n)
        if (c == u'/' || isControlCharacter(c))
            c = u'_';
    if (n.isEmpty() || n == QLatin1String(".") || n == QLatin1String(".."))
        return fallback;
    // File systems take names of up to 255 bytes: a longer one loses the end of its stem.
    constexpr qsizetype kMaxBytes = 255;
    if (n.toUtf8().size() > kMaxBytes) {
        const QString extension = extensionOfName(n);
        const QString tail = extension.isEmpty() || extension.size() > 32 ? QString() : u'.' + extension;
        QString stem = n.left(n.size() - tail.size());
        while (!stem.isEmpty() && (stem + tail).toUtf8().size() > kMaxBytes)
            stem.chop(stem.size() >= 2 && stem.at(stem.size() - 1).isLowSurrogate() ? 2 : 1);
        n = stem + tail;
    }
    return n;
}

QString fileNameOfAddress(const QString& address)
{
    const Split s = split(address);
    const QString host = safeName(s.server, QStringLiteral("index.html"));
    return safeName(decoded(s.path.mid(s.path.lastIndexOf(u'/') + 1)), host);
}

bool typeKnownFromAddress(const QString& address)
{
    const Split s = split(address);
    return !s.http || (!s.hasQuery && !extensionOfName(s.path.mid(s.path.lastIndexOf(u'/') + 1)).isEmpty());
}

QString extensionOfName(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
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
    for (const QLatin1String scheme : {kHttp, kHttps, kFtp, kFtps, kSftp})
        if (address.startsWith(scheme, Qt::CaseInsensitive))
            return true;
    return false;
}

bool isBareScheme(const QString& address)
{
    for (const QLatin1String scheme : {kHttp, kHttps, kFtp, kFtps, kSftp})
        if (address.compare(scheme, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isControlCharacter(QChar c)
{
    // Other_Control is C0, DEL and C1; Other_Format the invisible ones (bidirectional overrides,
    // zero-width characters) that make an address read as another.
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QChar(0x2028)
        || c == QChar(0x2029);
}

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), isControlCharacter);
}

QString addressRefusal(const QString& address)
{
    // Any name is taken, with or without an extension or a query: the server may name the file.
    // What cannot be fetched at all is an address with a control character, without a scheme of
    // ours or without a host.
    if (hasControlCharacter(address))
        return QStringLiteral("the address holds control characters");
    if (!isDownloadScheme(address))
        return QStringLiteral("only http, https, ftp, ftps and sftp addresses are downloaded");
    if (isBareScheme(address) || split(address).server.trimmed().isEmpty())
        return QStringLiteral("the address names no server");
    return {};
}

bool ValidateTypedURL(const QString& address)
{
    if (!addressRefusal(address).isEmpty()) {
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("11041"), QStringLiteral("Invalid URL")),
                                   MsgButtons::OkOnly, MsgIcon::Exclamation, programTitle());
        return false;
    }
    return true;
}

}  // namespace harbel
