#pragma once
// quarn-flash's command line: what to load, onto which units, and how to
// report. Parsing checks everything that can be checked before a port opens:
// a bad option, no port, a port named twice, Init.txt, the length and the
// download file, which is then read into memory. Nothing here opens a port.

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>

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
    kExitSignal = 130,
};

struct UnitTarget {
    QString port;    // as given: COMn or a device path
    QString device;  // the device it resolves to (empty when COMn resolves to nothing)
    QString why;     // why COMn resolves to nothing
};

struct FlashOptions {
    enum class Action { Run, Help, Version, ListPorts, Error };
    Action action = Action::Run;
    QString error;  // Action::Error: what was wrong, for people
    QString helpText;

    QList<UnitTarget> units;
    QString filePath;
    int16_t downloadLength = 0;
    QByteArray image;  // the download file's bytes, read once here; every unit sends these
    int maxRepeats = 0;
    bool json = false;
    bool quiet = false;
    bool watch = false;  // Auto-start on every port until a signal (gang/watch.h)
    QString logPath;     // empty: no log
    // Written into every record: --station (default: the host name),
    // --operator, and --serial PORT=SN per port (PORT as given to -p).
    QString station;
    QString operatorName;
    QMap<QString, QString> serials;
};

// args includes the program name, as QCoreApplication::arguments() gives it.
FlashOptions parseFlashOptions(const QStringList& args);

// $XDG_STATE_HOME/quarn-download/sessions.jsonl, or ~/.local/state/... when unset.
QString defaultLogPath();

}  // namespace quarn::flash
