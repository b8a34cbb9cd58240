#pragma once
// Who holds a serial port: its lock file, or an open descriptor found
// through /proc.

#include <QString>
#include <QStringList>

namespace quarn {

// The state of each device, for listing: "free", "in use by NAME (pid N)"
// (from a lock file LCK..name in /var/lock, /run/lock or /tmp, or an open
// descriptor in /proc/*/fd), "in use (lock file F)", "not permitted", or
// "missing". When some process's descriptors cannot be read (another user's
// program), a port with no visible holder is opened for a moment to see
// whether it can be had exclusively; if not, it is "in use (holder not
// visible)", never "free". Otherwise opens no port.
QStringList portStates(const QStringList& devices);

}  // namespace quarn
