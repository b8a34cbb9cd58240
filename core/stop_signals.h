#pragma once
// SIGINT, SIGTERM and SIGHUP (a closed terminal, a dropped ssh session, a
// service stopped, the PC shutting down) as a request to stop, for programs
// that must end their sessions cleanly and write their records first.
//
// Contract
// - installStopSignals() sets the handlers once per process: the first
//   signal writes one byte to a pipe that an event loop watches
//   (stopSignalFd(), non-blocking, close-on-exec); any later one ends the
//   process at once with exit status hardExit. SIGPIPE is ignored: a reader
//   that went away shows as a failed write. False with errno when the pipe
//   cannot be made (then no handler is set).
// - stopSignalCount() is how many arrived; drainStopSignals() empties the
//   pipe (call it from the watcher).

namespace quarn {

bool installStopSignals(int hardExit);
int stopSignalFd();
int stopSignalCount();
void drainStopSignals();

}  // namespace quarn
