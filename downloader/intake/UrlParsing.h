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
    QString strServer;
    quint16 intPort = 0;  // 0 when the address has no usable port
    QString strUserName;
    QString strPassword;
    QString strFile;      // server path without the leading "/"
    QString strFilePath;  // directory and file name as split ("/dir/f" for HTTP, "dir/f" for FTP)
};

// The password of an anonymous FTP login.
inline constexpr char kAnonymousPassword[] = "pellanor@harbel.invalid";

// Splits an address into a job's fields: mode, server, port, login (site logins applied), path.
// Never fails: a part that cannot be read keeps its empty or zero value.
UrlFields splitURL(const QString& address);

// The address as it may be shown or logged: a password in it reads "*password*", as wget shows it.
QString addressForDisplay(const QString& address);

// The host part of an address as written, port included; empty when there is none.
QString GetServerName(const QString& address);
// The last path segment of an address (query text included), possibly empty.
QString GetFileName(const QString& address);
// The first site login whose server equals the name exactly: (user name, password).
std::pair<QString, QString> GetSiteLogin(const QString& server);
// False when the extension holds a character a file name may not hold (the asterisk is allowed).
bool IsValidExt(const QString& extension);

// The address begins with a scheme the download manager speaks: "http://", "https://", "ftp://" or
// "ftps://" (any letter case).
bool isDownloadScheme(const QString& address);
// The address is a scheme of those alone, with nothing after it.
bool isBareScheme(const QString& address);

// Checks an address typed by the user. When it is refused the warning has been shown through the
// program's prompts and false comes back.
bool ValidateTypedURL(const QString& address);

}  // namespace harbel
