#include "downloader/intake/SaveRules.h"

#include "downloader/intake/UrlParsing.h"

#include <QDir>
#include <QUrl>

namespace harbel {

namespace {

QString joined(const QString& folder, const QString& name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

}  // namespace

QString nameFromAddress(const QString& address, const QString& fallback)
{
    return safeName(QUrl::fromPercentEncoding(GetFileName(address).toUtf8()), fallback);
}

QString GetPathFromList(const QString& address, const SettingsStore& settings, const QString& name)
{
    if (settings.fileTypes.isEmpty())
        return settings.LastDirectory();
    const QString ext = extensionOfName(name.isEmpty() ? fileNameOfAddress(address) : name);
    for (const FileTypeFolder& entry : settings.fileTypes)
        if (entry.fileType == ext)
            return entry.folder;
    return settings.fileTypes.last().folder;
}

SavePlan ChooseSavePath(const QString& address, const SettingsStore& settings, const std::function<QDate()>& today,
                        const QString& name)
{
    const DownloadSettings& s = settings.record;
    const QString file = name.isEmpty() ? fileNameOfAddress(address) : safeName(name, fileNameOfAddress(address));
    const auto start = [&](const QString& folder) {
        return SavePlan{SavePlan::Action::StartNow, joined(folder, file)};
    };

    // The last-directory option is selected whenever none of the other three is.
    if (!s.SaveSameDir && !s.SaveFileType && !s.SaveFileInfo)
        return start(settings.LastDirectory());
    if (s.SaveSameDir)
        return start(s.TextSameDir.isEmpty() ? settings.LastDirectory() : s.TextSameDir);
    if (s.SaveFileType)
        return start(GetPathFromList(address, settings, file));

    if (s.ParentDir.isEmpty())
        return SavePlan{SavePlan::Action::QueueLater, joined(settings.LastDirectory(), file)};
    QString sub;
    if (s.UseServer) {
        sub = GetServerName(address);
    } else if (s.UseDate) {
        const QDate d = today();
        sub = QStringLiteral("%1-%2-%3").arg(d.day()).arg(d.month()).arg(d.year());
    } else if (s.UseFileExt) {
        sub = extensionOfName(file);
    } else {
        return SavePlan{};  // no sub-folder option chosen yet: neither started nor queued
    }
    const QString folder = joined(s.ParentDir, safeName(sub, QStringLiteral("_")));
    QDir().mkdir(folder);  // one level only; a failure shows when the file is created
    return start(folder);
}

}  // namespace harbel
