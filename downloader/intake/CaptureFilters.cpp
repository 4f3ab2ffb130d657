#include "downloader/intake/CaptureFilters.h"

#include "common/support/VbText.h"

namespace harbel {

namespace {
// Only blanks are stripped: a line break typed into an entry stays part of it.
QString trimBlanks(const QString& s)
{
    qsizetype from = 0, to = s.size();
    while (from < to && s[from] == u' ')
        ++from;
    while (to > from && s[to - 1] == u' ')
        --to;
    return s.mid(from, to - from);
}
}  // namespace

bool limitAllows(const QString& address, int running, const DownloadSettings& settings)
{
    const QString scheme = address.left(3).toLower();
    QString limitText;
    if (scheme == QLatin1String("htt"))
        limitText = settings.LimitHTTP;
    else if (scheme == QLatin1String("ftp") || address.startsWith(QLatin1String("sftp"), Qt::CaseInsensitive))
        limitText = settings.LimitFTP;
    else
        return true;
    const auto limit = vb::toWhole(limitText);
    if (!limit)
        return true;
    return *limit >= running;
}

int runningFromServer(const QString& address, const QList<QueueEntry>& queue)
{
    const QString server = GetServerName(address);
    int running = 0;
    for (const QueueEntry& entry : queue)
        if (entry.countsAgainstServerLimit() && GetServerName(entry.address) == server)
            ++running;
    return running;
}

bool IsLimitOk(const QString& address, const QList<QueueEntry>& queue, const DownloadSettings& settings)
{
    return limitAllows(address, runningFromServer(address, queue), settings);
}

bool IsServerPermitted(const QString& address, const QString& ignoreList)
{
    const QString server = GetServerName(address);
    const QStringList entries = ignoreList.split(u';');
    for (const QString& raw : entries) {
        if (!raw.contains(u'*')) {
            const QString entry = trimBlanks(raw);
            if (!entry.isEmpty() && entry.compare(server, Qt::CaseInsensitive) == 0)
                return false;
            continue;
        }
        // A partial pattern: every "*" becomes a blank, so one in the middle never matches; a lone
        // "*" matches every server.
        QString entry = raw;
        entry.replace(u'*', u' ');
        if (server.contains(trimBlanks(entry), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

bool IsExtPermitted(const QString& address, const QString& wantedTypes)
{
    // A type that only the server's answer tells is checked once the name is known.
    if (!typeKnownFromAddress(address))
        return true;
    return isTypeWanted(GetFileName(address), wantedTypes);
}

bool isTypeWanted(const QString& name, const QString& wantedTypes)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString compared = u'.' + (dot < 0 ? QString() : name.mid(dot + 1));
    const QStringList entries = wantedTypes.split(u';');
    for (const QString& raw : entries) {
        if (!raw.contains(u'?')) {
            const QString entry = trimBlanks(raw);
            if (!entry.isEmpty() && entry.compare(compared, Qt::CaseInsensitive) == 0)
                return true;
            continue;
        }
        QString entry = raw;
        entry.replace(u'?', u' ');
        if (compared.contains(trimBlanks(entry), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool isServerNameWanted(const QString& name, const QString& address, const QString& wantedTypes)
{
    if (extensionOfName(name).isEmpty() || name == safeName(splitURL(address).strServer, {}))
        return true;
    return isTypeWanted(name, wantedTypes);
}

bool wantedTypesTextIsValid(const QString& text)
{
    for (const QChar c : text)
        if (QStringLiteral("/\\:*\"<>|").contains(c))
            return false;
    return true;
}

}  // namespace harbel
