#include "downloader/main/SettingsUrlTest.h"

#include <QStringList>

#include <utility>

namespace harbel {

namespace {

// The list text as the URL test reads it: no blanks, CR or LF, lower case, split at ";".
QStringList testEntries(QString list)
{
    list.remove(u' ');
    list.remove(u'\r');
    list.remove(u'\n');
    return list.toLower().split(u';');
}

// The server and path of an address by the test's rules: no scheme, no login, no port (":21").
std::pair<QString, QString> serverAndPath(const QString& url)
{
    QString rest = url.trimmed();
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        rest = rest.mid(scheme + 3);
    const qsizetype slash = rest.indexOf(u'/');
    QString host = slash >= 0 ? rest.left(slash) : rest;
    const QString path = slash >= 0 ? rest.mid(slash) : QString();
    const qsizetype at = host.lastIndexOf(u'@');
    if (at >= 0)
        host = host.mid(at + 1);
    const qsizetype colon = host.indexOf(u':');
    if (colon >= 0)
        host = host.left(colon);
    return {host, path};
}

}  // namespace

UrlTestResult testUrlAgainstLists(const QString& url, const QString& ignoreList, const QString& wantedTypes)
{
    UrlTestResult result;
    const auto [server, path] = serverAndPath(url);
    for (const QString& entry : testEntries(ignoreList)) {
        if (entry.isEmpty())
            continue;
        const QString tail = entry.mid(entry.lastIndexOf(u'*') + 1);
        if (entry == server || (!tail.isEmpty() && tail.size() < server.size() && server.endsWith(tail))) {
            result.serverListed = true;
            break;
        }
    }
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString value = u'.' + (dot >= 0 ? path.mid(dot + 1) : QString());
    for (const QString& entry : testEntries(wantedTypes)) {
        if (entry.isEmpty())
            continue;
        const bool wildcard = entry.size() == value.size() && entry.left(2) == value.left(2)
            && entry.indexOf(u'?', 2) >= 2;
        if (entry == value || wildcard) {
            result.typeListed = true;
            break;
        }
    }
    return result;
}

}  // namespace harbel
