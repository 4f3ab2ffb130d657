#pragma once

namespace harbel {

// Turns SIGTERM, SIGINT and SIGHUP into a normal quit of the running event loop, so that a program
// ended by the desktop session or a terminal shuts down in order (and saves what it must). The
// program still always ends: a second signal, or an event loop that has not taken the first
// within two seconds (a main thread busy with something long), ends it by the signal at once.
void quitOnTerminationSignals();
// The signal that last quit the event loop this way (SIGINT for Ctrl+C), 0 when none did.
int terminationSignal();

}  // namespace harbel
