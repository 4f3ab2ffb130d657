#include "common/platform/Shell.h"

#include "common/platform/AppFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace harbel {

namespace {
Shell* g_shell = nullptr;
}

Shell& Shell::instance()
{
    static DesktopShell desktop;
    return g_shell ? *g_shell : desktop;
}

void Shell::setInstance(Shell* shell)
{
    g_shell = shell;
}

QString Shell::suiteProgram(const QString& name)
{
    const QString folder = AppFolder::executableFolder();
    const QString beside = folder + u'/' + name;
#ifdef HARBEL_PROGRAMS_FROM_PRIVATE
    // A program kept in the suite's folder of private programs (Pellanor's window, once installed)
    // finds the others in the folder of programs.
    if (!QFileInfo::exists(beside)) {
        const QString installed = QDir::cleanPath(folder + QStringLiteral("/" HARBEL_PROGRAMS_FROM_PRIVATE "/") + name);
        if (QFileInfo::exists(installed))
            return installed;
    }
#endif
    return beside;
}

bool DesktopShell::open(const QString& pathOrUrl)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {pathOrUrl});
}

bool DesktopShell::start(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments, AppFolder::path());
}

}  // namespace harbel
