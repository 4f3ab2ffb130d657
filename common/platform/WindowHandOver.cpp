#include "common/platform/WindowHandOver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace harbel {

namespace {

// The folder of this executable.
std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return ".";
    const std::string self(path, size_t(n));
    return self.substr(0, self.rfind('/'));
}

}  // namespace

int handOverToWindow(const char* windowProgram, char* argv[])
{
    const std::string folder = ownFolder();
    std::string program = folder + "/" + windowProgram;
#ifdef HARBEL_PRIVATE_FROM_PROGRAMS
    if (::access(program.c_str(), X_OK) != 0)
        program = folder + "/" HARBEL_PRIVATE_FROM_PROGRAMS "/" + windowProgram;
#endif
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "%s: the window program %s cannot be started: %s\n", argv[0] ? argv[0] : windowProgram,
                 program.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace harbel
