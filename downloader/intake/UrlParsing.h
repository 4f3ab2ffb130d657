#pragma once

#include <QString>

#include <utility>

namespace harbel {

// The address fields of a download job, as an address splits into them.
struct UrlFields {
    bool HTTPMODE = false;
    bool FTPMODE = true;
    // The address asks for TLS: "https://" (HTTP over TLS, default port 443) or "ftps://" (FTP with
    // explicit TLS, default port 21).
    bool TLS = false;
    // "sftp://" (FTPMODE too; default port 22; the path from the root, "/~/" the login folder; no
    // anonymous login: without a user the local user's name is taken, as ssh does).
    bool SFTP = false;
    QString strServer;
    quint16 intPort = 0;  // 0 when the address has no usable port
    QString strUserName;
    QString strPassword;
    // HTTP: the request target without its leading "/" (path and query, as written); FTP: the
    // path, percent-decoded, relative to the login folder.
    QString strFile;
    // HTTP: "/" and strFile; FTP: strFile (what RETR names).
    QString strFilePath;
};

// The password of an anonymous FTP login.
inline constexpr char kAnonymousPassword[] = "pellanor@harbel.invalid";

// Splits an address into a job's fields as RFC 3986 reads it: the scheme alone decides the protocol;
// "user:password@" before the host is the login (percent-decoded; an FTP address without one logs
// in anonymously); a host in brackets is an IPv6 literal; the fragment ("#...") is dropped; an FTP
// path is percent-decoded once and loses any query. Site logins for the server replace the login.
// Never fails: a part that cannot be read keeps its empty or zero value.
UrlFields splitURL(const QString& address);

// The address as it may be shown or logged: a password in it reads "*password*", as wget shows it.
QString addressForDisplay(const QString& address);

// A password written in an address, with the server and user it logs in as (percent-decoded), and
// the address without it ("ftp://user:@host/..."); an empty password and the address itself when
// it holds none.
struct AddressLogin {
    QString address;
    QString server;
    QString user;
    QString password;
};
AddressLogin addressLogin(const QString& address);

// The host part of an address as written, port included (an IPv6 literal with its brackets),
// without any login; empty when there is none.
QString GetServerName(const QString& address);
// The last path segment of an address as written (no query, no fragment), possibly empty.
QString GetFileName(const QString& address);
// The name a file fetched from the address is saved under when the server names none: the last
// path segment, percent-decoded, else the host name; made safe as a file name (safeName).
QString fileNameOfAddress(const QString& address);
// A name taken from a server or an address made safe to stand as one path component: "/" and
// control characters become "_", a name longer than 255 bytes is shortened (its extension kept),
// and "", "." and ".." are replaced by fallback.
QString safeName(const QString& name, const QString& fallback);
// Whether the address tells the file's type before the download: an FTP address always does (its
// name is the file's); an HTTP one when its name has an extension and it carries no query, since
// a server may name the file it answers with (Content-Disposition), as pages with a query mostly do.
bool typeKnownFromAddress(const QString& address);
// The extension of a file name (the text after its last "."), empty when it has none.
QString extensionOfName(const QString& name);
// The scheme, host and port of an address, for telling whether two addresses are on one server.
QString originOf(const QString& address);
// The first site login whose server equals the name exactly: (user name, password).
std::pair<QString, QString> GetSiteLogin(const QString& server);
// False when the extension holds a character a file name may not hold (the asterisk is allowed).
bool IsValidExt(const QString& extension);

// The address begins with a scheme the download manager speaks: "http://", "https://", "ftp://",
// "ftps://" or "sftp://" (any letter case).
bool isDownloadScheme(const QString& address);
// The address is a scheme of those alone, with nothing after it.
bool isBareScheme(const QString& address);

// Control characters as the download manager counts them in addresses and names: C0, DEL and C1
// (U+0080..U+009F), the line and paragraph separators (U+2028, U+2029) and the invisible format
// characters (bidirectional overrides, zero-width ones).
bool isControlCharacter(QChar c);
bool hasControlCharacter(const QString& text);

// Why the download manager does not take this address, in a few words ("the address names no
// server"); empty when it takes it: no control character, a scheme of those above and a host.
// Every way in (typed, from the command line, from the browser) judges an address by this.
QString addressRefusal(const QString& address);

// Checks an address typed by the user by addressRefusal. Query strings and names
// without an extension are taken; the file's name may come from the server. When it is refused
// the warning has been shown through the program's prompts and false comes back.
bool ValidateTypedURL(const QString& address);

}  // namespace harbel
