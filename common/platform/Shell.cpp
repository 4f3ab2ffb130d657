#include "common/platform/Shell.h"

#include "common/platform/AppFolder.h"

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
    return AppFolder::executableFolder() + u'/' + name;
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
