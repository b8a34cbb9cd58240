#pragma once
// COM numbers mapped to the serial ports the machine really has.
//
// How COMn (1..4) resolves, first rule that applies:
//  1. The environment variable QUARN_COMn, when set, names the device.
//  2. The [ports] group of the settings file maps COMn to a port's stable name
//     (its /dev/serial/by-id link, else its /dev/serial/by-path link, else its
//     device path). When that port is present, COMn is its current device; a
//     stored path that is no discovered port but exists (a pseudo-terminal's
//     link) is used as it is; otherwise COMn opens nothing and the reason says
//     the port is not plugged in and which ports the machine has.
//  3. numberNewPorts() gives each present port without a number the lowest
//     free number 1..4 and stores it: on-board ports first in device order,
//     then adapters. A number stays taken while its adapter is unplugged, so
//     the adapter gets it back in any socket (its by-id name does not depend
//     on the socket); a port beyond the fourth gets no number.
//  4. A COM number with no port resolves to nothing: "nothing is assigned to
//     COMn; this machine has: ...".
// A port whose number the user removed (assign(n, "")) while it was present is
// listed under "ports/unnumbered" and gets no number until assigned again.
// The keys are the settings file's (core/settings.h); ports come from
// discovery (port_discovery.h).

#include <QList>
#include <QString>

#include "ports/port_discovery.h"

namespace quarn {

class Settings;

constexpr int kComCount = 4;

class PortMap {
public:
    // Reads and writes the "ports" group of settings (keys COM1..COM4 and
    // unnumbered); ports is the machine as discovered. settings must outlive
    // the map and be usable(); saving is the caller's (settings.save()).
    PortMap(Settings& settings, QList<PortRecord> ports);

    // Rule 3. Returns the numbers it gave, in order.
    QList<int> numberNewPorts();

    // Rules 1, 2 and 4: the device for COMn, or empty with the reason in *why.
    QString resolve(int com, QString* why = nullptr) const;

    // Stores COMn = the port named by device (a device path or a link to it),
    // keyed by the port's stable name; the port leaves any other number it had.
    // An empty device removes COMn. A device that neither is a present port nor
    // exists is refused. Returns false when refused; *message says what was
    // done or why not.
    bool assign(int com, const QString& device, QString* message);

    // The value stored for COMn (empty when none).
    QString stored(int com) const;
    // The present port stored for COMn, or nullptr.
    const PortRecord* portFor(int com) const;
    // The present port whose device or stable name is name, or whose device
    // name leads to (following links), or nullptr.
    const PortRecord* portNamed(const QString& name) const;
    // The number stored for port, 0 when none.
    int comOf(const PortRecord& port) const;
    const QList<PortRecord>& ports() const { return ports_; }
    // "this machine has: /dev/ttyS0, /dev/ttyUSB0 (FT232R USB UART)" or
    // "this machine has no serial ports".
    QString machineSummary() const;

private:
    Settings& settings_;
    QList<PortRecord> ports_;
};

// The device QUARN_COMn names; empty when it is unset or com is outside
// 1..4. The one place the variable is read.
QString comFromEnvironment(int com);
// For the serial layer: QUARN_COMn, else the settings file and the real
// discovery with the rules above (new ports get their numbers, saved; the
// file is written only then). Empty
// with the reason in *why when COMn opens nothing or settings are unusable.
QString resolveComDevice(int com, QString* why = nullptr);

}  // namespace quarn
