#include "ftpclient/window/FileShell.h"

#include "ftpclient/window/SystemFileShell.h"

namespace harbel::tessaly {

namespace {
FileShell* g_shell = nullptr;
}

FileShell& FileShell::instance()
{
    static SystemFileShell system;
    return g_shell ? *g_shell : system;
}

void FileShell::setInstance(FileShell* shell)
{
    g_shell = shell;
}

}  // namespace harbel::tessaly
