#pragma once
// The --list-ports and --assign commands and the port window's tooltip text,
// as plain functions for every program's main (the window program and the
// command-line one). They print on the streams given, return the exit status,
// and need no display. The ...Command forms use the real settings file
// (settingsFilePath()) and the real discovery; the others take both, for tests.
//
// Settings that are not usable() (core/settings.h): the message goes to err, the status
// is 1, and the file is not written.

#include <QList>
#include <QString>
#include <QTextStream>

#include "core/settings.h"
#include "ports/port_map.h"

namespace quarn {

// --list-ports. Gives new ports their numbers first (saved), then prints a
// header and one line per COM number (COM1..COM4, assigned or not) and per
// present port without a number: COM, device, stable name, description,
// manufacturer, serial number, USB vendor:product (hex), state (see
// portStates(); "not assigned", "not plugged in"). Empty fields show "-".
// Returns 0, or 1 when settings are unusable.
int listPortsCommand(QTextStream& out, QTextStream& err);
int listPorts(Settings& settings, const QList<PortRecord>& ports, QTextStream& out,
              QTextStream& err);

// --assign COMn=DEVICE stores COMn (PortMap::assign); --assign COMn= removes
// it. Prints what was done on out and returns 0; a malformed argument, a number
// outside 1..4, a device that does not exist, unusable settings or a failed
// save: the reason on err, status 1, settings unchanged.
int assignPortCommand(const QString& arg, QTextStream& out, QTextStream& err);
int assignPort(Settings& settings, const QList<PortRecord>& ports, const QString& arg,
               QTextStream& out, QTextStream& err);

// The port window's tooltip for COMn: "COM1: /dev/ttyUSB0, FT232R USB UART,
// serial A50285BI", "COM1: /tmp/x (QUARN_COM1)", "COM2: <stored name>, not
// plugged in" or "COM3: nothing assigned". The first form gives new ports their
// numbers (saved) as resolveComDevice() does.
QString describeCom(int com);
QString describeCom(const PortMap& map, int com);

}  // namespace quarn
