#pragma once
// quarn-station's command line:
//   quarn-station [-p PORT]... [--operator NAME] [--station NAME] [--log FILE |
//                 --no-log] [--auto] [--require-serial] [--approved-only]
//                 [--choose] [INIT]
// Parsing opens no port and reads no file; INIT is resolved to the download
// file and length by resolveStationInit(), once --choose has had its say.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/front_door.h"

namespace quarn::station {

struct StationOptions : CommandLineAnswer {
    QStringList ports;  // -p, in order: the slots; empty = the machine's adapters
    QString operatorName;
    QString stationName;  // default: the host name
    QString logPath;      // empty: no log
    bool autoStart = false;
    bool requireSerial = false;
    bool approvedOnly = false;  // or [images] require-approved=true in the settings file
    bool choose = false;
    QString init;  // INIT as given (Init.txt or its folder); empty = Init.txt here
};

// args includes the program name.
StationOptions parseStationOptions(const QStringList& args);

// What the station loads: read from INIT (a file or the folder holding
// Init.txt). False with the reason (for the user) when the file is invalid or
// the download file is missing or short.
struct StationLoad {
    QString filePath;
    int16_t downloadLength = 0;
    QByteArray image;  // the download file's bytes, read once; every session sends these
    QString title;     // Init.txt's window title
};
bool resolveStationInit(const QString& init, StationLoad* load, QString* why);

}  // namespace quarn::station
