#pragma once

namespace harbel {

// The programs' commands (`pellanor`, `tessaly`) run on the core application alone and turn into
// their window program (`pellanor-window`, `tessaly-window`) when a window is wanted: the process
// is replaced (execv) with the same arguments, so no widget library is ever loaded for a command.
// The window program lies beside the command in a build and in the suite's folder of private
// programs (libexec/harbel) once installed.
//
// Returns only when the window program cannot be started, with 1, after a line on standard error.
int handOverToWindow(const char* windowProgram, char* argv[]);

}  // namespace harbel
