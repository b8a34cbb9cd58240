#pragma once
// Why a serial port did not open, and what to do about it, in words for the
// user: the same text for the port window's refusal and the session's
// "Cannot open COMn" box.

#include <QString>

#include "link/serial_port.h"

namespace quarn {

// device: the path COMn leads to (empty when the port mapping gives none);
// error: the serial layer's reason (SerialPort::errorString()), shown as it
// is; fault: what the serial layer decided from the error codes
// (SerialPort::fault()), which chooses the advice. Reads the port's state
// (portStates(): lock files, /proc, permissions).
QString explainPortFailure(const QString& device, const QString& error,
                           PortFault fault = PortFault::Other);
// The same with the state given ("missing", "not permitted", "in use by X
// (pid N)", "free", ...), for callers that already know it.
QString explainPortFailure(const QString& device, const QString& error, const QString& state,
                           PortFault fault = PortFault::Other);

}  // namespace quarn
