#pragma once

namespace harbel {

// Turns SIGTERM, SIGINT and SIGHUP into a normal quit of the running event loop, so that a program
// ended by the desktop session or a terminal shuts down in order (and saves what it must).
void quitOnTerminationSignals();

}  // namespace harbel
