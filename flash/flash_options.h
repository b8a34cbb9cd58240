#pragma once
// quarn-flash's command line: what to load, onto which units, and how to
// report. Three steps, each before any port opens: parsing (a bad option, no
// port, a malformed number), the input (Init.txt, the length, the download
// file, read into memory), and the ports (names that are no port, the same
// device twice). Nothing here opens a port.

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/front_door.h"
#include "image/download_image.h"
#include "recordwriter/retest_limit.h"

namespace quarn::flash {

// The exit statuses.
enum Exit {
    kExitGood = 0,
    kExitInput = 1,
    kExitPort = 2,
    kExitHandshake = 3,
    kExitLogin = 4,
    kExitTransfer = 5,
    kExitSomeFailed = 6,
    kExitRecord = 7,
    kExitNotApproved = 8,
    kExitHeld = 9,
    kExitSignal = 130,
};

struct UnitTarget {
    QString port;    // as given: COMn or a device path
    QString device;  // the device it resolves to (empty when COMn resolves to nothing)
    QString why;     // why COMn resolves to nothing
};

struct FlashOptions : CommandLineAnswer {
    bool listPorts = false;  // --list-ports: Action::Run, loading nothing

    // As given on the command line.
    QStringList ports;
    QString initPath;   // INIT: Init.txt or its folder; empty: Init.txt here
    QString fileGiven;  // --file, absolute; empty when not given
    bool lengthGiven = false;
    int lengthValue = 0;

    // Filled by readFlashInput() and resolveFlashPorts().
    QList<UnitTarget> units;
    DownloadImage image;  // read once here; every unit sends it
    int maxRepeats = 0;
    // --max-attempts, else [station] max-attempts: a unit whose serial
    // number failed this often is held (record/retest.h); 0: no limit.
    int maxAttempts = 0;
    // Made by the run from maxAttempts, the log and the database: asked
    // before each unit's port opens, told of each record written.
    std::shared_ptr<recordwriter::RetestLimit> retest;
    bool json = false;
    bool quiet = false;
    bool watch = false;   // Auto-start on every port until a signal (gang/watch.h)
    QString logPath;      // empty: no log
    QString databaseUrl;  // where the records go (QUARN_DB, else the settings file); empty: none
    // Written into every record: --station (default: the host name),
    // --operator, and --serial PORT=SN per port (PORT as given to -p).
    QString station;
    QString operatorName;
    QMap<QString, QString> serials;
    // --approved-only or [images] require-approved=true: the image must be on
    // the approved list (approval/image_gate.h) before any port opens.
    bool approvedOnly = false;
    std::optional<bool> approved;  // the list's word, for the records; none: not checked
};

// args includes the program name, as QCoreApplication::arguments() gives it.
// Parses only: a bad option, no port, a malformed number. Reads no file.
FlashOptions parseFlashOptions(const QStringList& args);
// Resolves INIT, --file and --length to o.image and reads it
// (image/resolve_image.h). False, with the reason, when one is refused.
bool readFlashInput(FlashOptions& o, QString* why);
// Resolves each port to its device (COMn through the port mapping); refuses
// a name that is no port and the same device twice.
bool resolveFlashPorts(FlashOptions& o, QString* why);

// $XDG_STATE_HOME/quarn-download/sessions.jsonl, or ~/.local/state/... when unset.
QString defaultLogPath();

}  // namespace quarn::flash
