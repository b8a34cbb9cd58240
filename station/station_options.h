#pragma once
// quarn-station's command line:
//   quarn-station [-p PORT]... [--operator NAME] [--station NAME] [--log FILE |
//                 --no-log] [--auto] [--require-serial] [--approved-only]
//                 [--max-attempts N] [--choose] [INIT]
// Parsing opens no port and reads no file; INIT is resolved to the image by
// resolveStationInit(), once --choose has had its say.

#include <QString>
#include <QStringList>

#include "image/download_image.h"

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
    int maxAttempts = -1;  // --max-attempts (0: no limit); -1: [station] max-attempts
    QString init;          // INIT as given (Init.txt or its folder); empty = Init.txt here
};

// args includes the program name.
StationOptions parseStationOptions(const QStringList& args);

// What the station loads: INIT (a file or the folder holding Init.txt)
// resolved and read (image/resolve_image.h). False with the reason (for the
// user) when the file is invalid or the download file is missing or short.
bool resolveStationInit(const QString& init, DownloadImage* image, QString* why);

}  // namespace quarn::station
