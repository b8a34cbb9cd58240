#pragma once
// Why a serial port did not open, and what to do about it, in words for the
// user: the same text for the port window's refusal and the session's
// "Cannot open COMn" box.

#include <QString>

namespace quarn {

// device: the path COMn leads to (empty when the port mapping gives none);
// error: the serial layer's reason (SerialPort::errorString()). Reads the
// port's state (portStates(): lock files, /proc, permissions); opens nothing.
QString explainPortFailure(const QString& device, const QString& error);
// The same with the state given ("missing", "not permitted", "in use by X
// (pid N)", "free", ...), for callers that already know it.
QString explainPortFailure(const QString& device, const QString& error, const QString& state);

}  // namespace quarn
