#include "common/platform/AppFolder.h"

#include "common/platform/PrivateFile.h"
#include "common/platform/RegistryStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace harbel::AppFolder {

namespace {

constexpr char kShipped[] = ":/harbel";

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
    QDirIterator it(QString::fromLatin1(kShipped), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = source.mid(int(sizeof(kShipped)));  // past ":/harbel/"
        const QString target = folder + u'/' + relative;
        if (QFileInfo::exists(target))
            continue;
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
