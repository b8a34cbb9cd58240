#pragma once
// Where the programs keep their files unless told otherwise, written once so
// that quarn-flash, the station, quarn-records and the port mapping always
// agree on one settings file and one shared log.

#include <QString>

namespace quarn {

// $QUARN_CONFIG_DIR/quarn-download.conf when that variable is set, else
// <GenericConfigLocation>/quarn-download/quarn-download.conf
// (~/.config/quarn-download/quarn-download.conf): the program's settings file.
QString settingsFilePath();

// $XDG_STATE_HOME/quarn-download/sessions.jsonl, or ~/.local/state/... when
// that variable is unset or not absolute: the log of records quarn-flash and
// the station share unless told otherwise.
QString defaultLogPath();

}  // namespace quarn
