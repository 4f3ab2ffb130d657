#include "downloader/main/BrowserCapture.h"

#include "common/platform/AppFolder.h"
#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace harbel::BrowserCapture {

namespace {

QString manifestName()
{
    return QString::fromLatin1(kHostName) + QStringLiteral(".json");
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return !xdg.isEmpty() && QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + QStringLiteral("/.config");
}

// A word the shell takes as it is, whatever it holds.
QByteArray shellQuoted(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\'', "'\\''");
    return '\'' + bytes + '\'';
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions = {})
{
    if (PrivateFile::write(path, bytes, PrivateFile::Access::Shared) != PrivateFile::Result::Written)
        return false;
    return !permissions || QFile::setPermissions(path, permissions);
}

// folders: the family's manifest folders; browserRoots: the folder whose presence says the
// browser is set up, one per manifest folder.
Result switchFamily(bool on, bool mozilla, const QStringList& folders, const QStringList& browserRoots)
{
    Result result;
    bool any = false;
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (!QFileInfo(browserRoots[i]).isDir())
            continue;
        any = true;
        const QString path = folders[i] + u'/' + manifestName();
        if (on) {
            if (!QDir().mkpath(folders[i]) || !writeAtomically(path, manifestFor(mozilla)))
                return {Outcome::WriteFailed, path};
        } else if (QFileInfo::exists(path) && !QFile::remove(path)) {
            return {Outcome::RemoveFailed, path};
        }
    }
    if (!any)
        result.outcome = Outcome::NoBrowser;
    return result;
}

}  // namespace

QString hostScriptPath()
{
    return AppFolder::file(QStringLiteral("NativeMessaging/pellanor-native-host"));
}

bool writeHostScript(const QString& program)
{
    QByteArray script = "#!/bin/sh\n"
                        "# Started by a web browser for the Pellanor extension; written by Pellanor when\n"
                        "# browser capture was switched on.\n";
    // Written out in full: the browser starts the script from a folder of its own.
    if (qEnvironmentVariableIsSet("HARBEL_HOME"))
        script += "HARBEL_HOME=" + shellQuoted(AppFolder::path()) + "; export HARBEL_HOME\n";
    if (const QString registry = qEnvironmentVariable("HARBEL_REGISTRY"); !registry.isEmpty())
        script += "HARBEL_REGISTRY=" + shellQuoted(QFileInfo(registry).absoluteFilePath()) + "; export HARBEL_REGISTRY\n";
    script += "exec " + shellQuoted(program) + " --native-messaging \"$@\"\n";
    const QString path = hostScriptPath();
    return QDir().mkpath(QFileInfo(path).absolutePath())
        && writeAtomically(path, script,
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                               | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
}

QStringList chromiumManifestFolders()
{
    const QString config = configHome();
    return {config + QStringLiteral("/chromium/NativeMessagingHosts"),
            config + QStringLiteral("/google-chrome/NativeMessagingHosts")};
}

QString mozillaManifestFolder()
{
    return QDir::homePath() + QStringLiteral("/.mozilla/native-messaging-hosts");
}

QByteArray manifestFor(bool mozilla)
{
    QJsonObject m;
    m.insert(QStringLiteral("name"), QString::fromLatin1(kHostName));
    m.insert(QStringLiteral("description"), QStringLiteral("Hands links to the Pellanor download manager"));
    m.insert(QStringLiteral("path"), hostScriptPath());
    m.insert(QStringLiteral("type"), QStringLiteral("stdio"));
    if (mozilla)
        m.insert(QStringLiteral("allowed_extensions"), QJsonArray{QString::fromLatin1(kMozillaExtensionId)});
    else
        m.insert(QStringLiteral("allowed_origins"),
                 QJsonArray{QStringLiteral("chrome-extension://%1/").arg(QLatin1String(kChromiumExtensionId))});
    return QJsonDocument(m).toJson();
}

Result switchChromium(bool on)
{
    const QStringList folders = chromiumManifestFolders();
    QStringList roots;
    for (const QString& f : folders)
        roots << QFileInfo(f).absolutePath();
    return switchFamily(on, false, folders, roots);
}

Result switchMozilla(bool on)
{
    return switchFamily(on, true, {mozillaManifestFolder()}, {QDir::homePath() + QStringLiteral("/.mozilla")});
}

}  // namespace harbel::BrowserCapture
