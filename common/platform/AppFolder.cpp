#include "common/platform/AppFolder.h"

#include "common/platform/PrivateFile.h"
#include "common/platform/RegistryStore.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

namespace harbel::AppFolder {

namespace {

constexpr char kShipped[] = ":/harbel";

// "HASH relative/path" lines: the SHA-256 of every version ever shipped of each seeded file.
QSet<QByteArray> shippedVersions()
{
    QSet<QByteArray> versions;
    QFile list(QStringLiteral(":/harbel-versions/shipped-versions.txt"));
    if (list.open(QIODevice::ReadOnly))
        for (const QByteArray& line : list.readAll().split('\n'))
            if (!line.startsWith('#') && !line.trimmed().isEmpty())
                versions.insert(line.trimmed());
    return versions;
}

QByteArray versionOf(const QByteArray& bytes, const QString& relative)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + ' ' + relative.toUtf8();
}

QString folderFromEnvironment()
{
    const QString env = qEnvironmentVariable("HARBEL_HOME");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Harbel");
}

}  // namespace

QString path()
{
    // The environment is read every time: tests point HARBEL_HOME at a new folder per test.
    const QString folder = folderFromEnvironment();
    static QString seeded;
    if (seeded != folder) {
        PrivateFile::makeFolder(folder);
        seed(folder);
        // What an older version left readable by others is narrowed: files 0600, folders 0700.
        PrivateFile::narrow(folder);
        const QString registry = RegistryStore::defaultPath();
        PrivateFile::narrow(qEnvironmentVariableIsEmpty("HARBEL_REGISTRY") ? QFileInfo(registry).absolutePath() : registry);
        seeded = folder;
    }
    return folder;
}

QString file(const QString& relative)
{
    return path() + u'/' + relative;
}

bool seed(const QString& folder)
{
    bool ok = true;
    const QSet<QByteArray> versions = shippedVersions();
    QDirIterator it(QString::fromLatin1(kShipped), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = source.mid(int(sizeof(kShipped)));  // past ":/harbel/"
        const QString target = folder + u'/' + relative;
        if (QFileInfo::exists(target)) {
            // A copy as an earlier version shipped it, never edited, is brought up to date (the
            // texts, the toolbar, the guide); a copy the user changed stays theirs.
            QFile copy(target);
            QFile shipped(source);
            if (!QFileInfo(target).isFile() || QFileInfo(target).isSymLink() || !copy.open(QIODevice::ReadOnly)
                || !shipped.open(QIODevice::ReadOnly))
                continue;
            const QByteArray now = shipped.readAll();
            const QByteArray kept = copy.read(now.size() * 4 + 65536);
            if (kept != now && versions.contains(versionOf(kept, relative)))
                ok = PrivateFile::write(target, now) == PrivateFile::Result::Written && ok;
            continue;
        }
        PrivateFile::makeFolder(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target)) {
            ok = false;
            continue;
        }
        // Files copied out of the resources are read-only; the user may edit these.
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return ok;
}

QString executableFolder()
{
    return QCoreApplication::applicationDirPath();
}

}  // namespace harbel::AppFolder
