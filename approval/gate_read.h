#pragma once
// The approved list read off the caller's thread, on threads that nothing
// waits for: a database that does not answer (a server stopped, a cable
// pulled) holds up no window, no Stop all and no exit.
//
// Contract
// - readImageGate() starts checkImageGate() on such a thread and
//   returns its future at once; a QFutureWatcher on the caller's thread takes
//   the verdict. Dropping the future or its watcher leaves the read to end by
//   itself (at most the URL's connect_timeout and the push's time limit),
//   with nothing of the caller's in use.
// - gateReadsInFlight(): reads started and not yet ended, on any thread.
// - leaveReadsBehind(status) is a program's last step: with no read running
//   it returns status; else it ends the process now with status (standard
//   output and error flushed first), so that a read waiting on a silent
//   server neither holds the exit nor runs on while the program's statics
//   are torn down. Only after every window and record writer is gone.

#include <QFuture>
#include <QString>

#include "approval/image_gate.h"

namespace quarn::approval {

QFuture<ImageGate> readImageGate(bool required, const ImageIdentity& image,
                                 const QString& databaseUrl);
int gateReadsInFlight();
int leaveReadsBehind(int status);

}  // namespace quarn::approval
