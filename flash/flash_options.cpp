#include "flash/flash_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include "approval/image_gate.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/translations.h"
#include "image/resolve_image.h"
#include "ports/port_map.h"

namespace quarn::flash {

namespace {

// The exit statuses, after Qt's help. The outcome words stay English in
// every language: they are what the records and --json say.
QString exitText() {
    return QCoreApplication::translate(
        "quarn-flash",
        "\nExit status:\n"
        "  0    every unit loaded good\n"
        "  1    usage or input error (bad option, a port named twice, COM0 or COM5,\n"
        "       unreadable or invalid Init.txt, missing, short or unreadable\n"
        "       download file); nothing was sent to any unit\n"
        "  2    the port could not be opened\n"
        "  3    the handshake failed\n"
        "  4    the login failed\n"
        "  5    the transfer failed\n"
        "  6    several units, and not all of them loaded good\n"
        "  7    a record could not be written to the log (every unit loaded good)\n"
        "  8    the image is not on the approved list, or was revoked (--approved-only\n"
        "       or [images] require-approved=true); nothing was sent to any unit\n"
        "  9    one unit, held by the retest limit (--max-attempts): retest limit: to\n"
        "       repair; nothing was sent to it\n"
        "  130  stopped by SIGINT, SIGTERM or SIGHUP\n");
}

FlashOptions fail(FlashOptions o, const QString& why) {
    o.action = FlashOptions::Action::Error;
    o.error = why;
    return o;
}

// The n of a port named COMn (any case, no '/'); 0 when the name is no COMn.
int comNumberOf(const QString& port, bool* isCom) {
    const QString upper = port.toUpper();
    *isCom = false;
    if (!upper.startsWith(QLatin1String("COM")) || port.contains(QLatin1Char('/'))) return 0;
    return upper.mid(3).toInt(isCom);
}

// Where a port name leads: COMn through the port mapping, else the path
// itself. An empty name or a COM number outside 1..4 is refused (*why).
bool resolvePort(const QString& port, UnitTarget* t, QString* why) {
    t->port = port;
    bool isCom = false;
    const int n = comNumberOf(port, &isCom);
    if (port.trimmed().isEmpty() || (isCom && (n < 1 || n > kComCount))) {
        *why = QCoreApplication::translate("quarn-flash",
                                           "\"%1\" is no port: COM1 to COM%2 or a device path")
                   .arg(port)
                   .arg(kComCount);
        return false;
    }
    t->device = isCom ? resolveComDevice(n, &t->why) : port;
    return true;
}

// The one name of a device: symlinks followed when it exists.
QString identity(const QString& device) {
    const QFileInfo info(device);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

bool parseInt(const QString& text, int lo, int hi, int* out) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

// --serial PORT=SN, each PORT one of the ports given, each at most once.
QString parseSerials(const QStringList& given, const QStringList& ports,
                     QMap<QString, QString>* out) {
    for (const QString& pair : given) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString port = pair.left(eq), sn = pair.mid(eq + 1);
        if (eq <= 0 || sn.isEmpty())
            return QCoreApplication::translate("quarn-flash", "--serial wants PORT=SN, not \"%1\"")
                .arg(pair);
        if (!ports.contains(port))
            return QCoreApplication::translate("quarn-flash",
                                               "--serial %1: %2 is not one of the -p ports")
                .arg(pair, port);
        if (out->contains(port))
            return QCoreApplication::translate("quarn-flash", "--serial names %1 twice").arg(port);
        out->insert(port, sn);
    }
    return QString();
}

}  // namespace

QString defaultLogPath() { return quarn::defaultLogPath(); }

namespace {

// quarn-flash's options, made after main() installs the catalogue: the
// descriptions are read in the operator's language, the names stay.
struct FlashCommandLine {
    QCommandLineParser p;
    const QCommandLineOption port{
        {"p", "port"},
        QCoreApplication::translate("quarn-flash",
                                    "COM1 to COM4 or a device path; repeat for several units."),
        "PORT"};
    const QCommandLineOption file{
        "file",
        QCoreApplication::translate("quarn-flash",
                                    "Load FILE instead of Init.txt's download file."),
        "FILE"};
    const QCommandLineOption length{
        "length",
        QCoreApplication::translate("quarn-flash", "Use N instead of Init.txt's Download_length."),
        "N"};
    const QCommandLineOption json{
        "json",
        QCoreApplication::translate("quarn-flash", "One JSON object per unit on standard output.")};
    const QCommandLineOption log{
        "log",
        QCoreApplication::translate("quarn-flash",
                                    "Append each unit's record to FILE (default:\n"
                                    "$XDG_STATE_HOME/quarn-download/sessions.jsonl)."),
        "FILE"};
    const QCommandLineOption noLog{"no-log",
                                   QCoreApplication::translate("quarn-flash", "Write no log.")};
    const QCommandLineOption maxRepeats{
        "max-repeats",
        QCoreApplication::translate("quarn-flash",
                                    "A block refused N times in a row fails the unit (0: never)."),
        "N"};
    const QCommandLineOption maxAttempts{
        "max-attempts",
        QCoreApplication::translate("quarn-flash",
                                    "A serial number that failed N times is held for repair\n"
                                    "(0: no limit; default: [station] max-attempts, 3)."),
        "N"};
    const QCommandLineOption quiet{
        {"q", "quiet"}, QCoreApplication::translate("quarn-flash", "No progress and no summary.")};
    const QCommandLineOption watch{
        "watch", QCoreApplication::translate("quarn-flash",
                                             "Keep listening on every port: load each unit that\n"
                                             "answers, once, until SIGINT, SIGTERM or SIGHUP.")};
    const QCommandLineOption listPorts{
        "list-ports",
        QCoreApplication::translate("quarn-flash", "List the serial ports and their COM numbers.")};
    const QCommandLineOption station{
        "station",
        QCoreApplication::translate("quarn-flash",
                                    "The station's name in records (default: host name)."),
        "NAME"};
    const QCommandLineOption operatorName{
        "operator",
        QCoreApplication::translate("quarn-flash", "Who runs the station, for records."), "NAME"};
    const QCommandLineOption serial{
        "serial",
        QCoreApplication::translate("quarn-flash",
                                    "The serial number of the unit on PORT; repeatable."),
        "PORT=SN"};
    const QCommandLineOption approvedOnly{
        "approved-only",
        QCoreApplication::translate(
            "quarn-flash", "Load only an image on the database's approved list (exit 8 if not).")};
    const QCommandLineOption version{
        "version", QCoreApplication::translate("quarn-flash", "Show the version.")};
    const QCommandLineOption help{{"h", "help"},
                                  QCoreApplication::translate("quarn-flash", "Show this help.")};

    FlashCommandLine() {
        p.setApplicationDescription(QCoreApplication::translate(
            "quarn-flash",
            "Loads the download file into one unit or several at once, each port one unit.\n"
            "INIT is an Init.txt or the folder that holds it (default: Init.txt here)."));
        p.addOptions({port, file, length, json, log, noLog, maxRepeats, maxAttempts, quiet, watch,
                      listPorts, station, operatorName, serial, approvedOnly, version, help});
        p.addPositionalArgument(
            "INIT", QCoreApplication::translate("quarn-flash", "Init.txt or its folder."),
            "[INIT]");
    }
};

// --max-repeats, and --max-attempts (else the settings file's): whole
// numbers >= 0. Empty, or why not.
QString parseLimits(const FlashCommandLine& cl, FlashOptions* o) {
    const QCommandLineParser& p = cl.p;
    if (p.isSet(cl.maxRepeats) && !parseInt(p.value(cl.maxRepeats), 0, 1 << 30, &o->maxRepeats))
        return QCoreApplication::translate("quarn-flash",
                                           "--max-repeats wants a whole number >= 0, not \"%1\"")
            .arg(p.value(cl.maxRepeats));
    o->maxAttempts = Settings().value(SettingKey::StationMaxAttempts).toInt();
    o->databaseUrl = resolvedSetting(SettingKey::RecordsDatabase).toString();
    if (p.isSet(cl.maxAttempts) && !parseInt(p.value(cl.maxAttempts), 0, 1 << 30, &o->maxAttempts))
        return QCoreApplication::translate("quarn-flash",
                                           "--max-attempts wants a whole number >= 0, not \"%1\"")
            .arg(p.value(cl.maxAttempts));
    return QString();
}

}  // namespace

FlashOptions parseFlashOptions(const QStringList& args) {
    FlashOptions o;
    FlashCommandLine cl;
    QCommandLineParser& p = cl.p;
    if (!p.parse(args)) return fail(o, p.errorText());
    o.helpText = programHelp(p, QStringLiteral("quarn-flash")) + exitText();
    if (p.isSet(cl.help)) return o.action = FlashOptions::Action::Help, o;
    if (p.isSet(cl.version)) return o.action = FlashOptions::Action::Version, o;
    if (p.isSet(cl.listPorts)) return o.listPorts = true, o;

    const QStringList positional = p.positionalArguments();
    if (positional.size() > 1)
        return fail(o, QCoreApplication::translate("quarn-flash", "more than one INIT given"));
    if (p.values(cl.port).isEmpty())
        return fail(o, QCoreApplication::translate("quarn-flash", "no port given (-p PORT)"));

    o.station = p.isSet(cl.station) ? p.value(cl.station) : QSysInfo::machineHostName();
    o.operatorName = p.value(cl.operatorName);
    const QString serialWhy = parseSerials(p.values(cl.serial), p.values(cl.port), &o.serials);
    if (!serialWhy.isEmpty()) return fail(o, serialWhy);
    o.json = p.isSet(cl.json);
    o.quiet = p.isSet(cl.quiet);
    o.watch = p.isSet(cl.watch);
    o.approvedOnly = p.isSet(cl.approvedOnly) || approval::approvalRequired();
    // In a watch every unit after the first would carry the number.
    if (o.watch && p.isSet(cl.serial))
        return fail(o, QCoreApplication::translate("quarn-flash",
                                                   "--serial names one unit; --watch loads many"));
    const QString limitWhy = parseLimits(cl, &o);
    if (!limitWhy.isEmpty()) return fail(o, limitWhy);
    if (p.isSet(cl.log) && p.isSet(cl.noLog))
        return fail(o, QCoreApplication::translate("quarn-flash", "--log and --no-log together"));
    o.logPath = p.isSet(cl.noLog) ? QString()
                : p.isSet(cl.log) ? p.value(cl.log)
                                  : defaultLogPath();

    o.ports = p.values(cl.port);
    if (p.isSet(cl.length) && !parseInt(p.value(cl.length), -32768, 32767, &o.lengthValue))
        return fail(o,
                    QCoreApplication::translate(
                        "quarn-flash", "--length wants a number from -32768 to 32767, not \"%1\"")
                        .arg(p.value(cl.length)));
    o.lengthGiven = p.isSet(cl.length);
    o.fileGiven = p.isSet(cl.file) ? QFileInfo(p.value(cl.file)).absoluteFilePath() : QString();
    o.initPath = positional.value(0);  // empty: Init.txt here (image/resolve_image.h)
    return o;
}

bool readFlashInput(FlashOptions& o, QString* why) {
    ImageSource source{o.initPath, o.fileGiven, std::nullopt};
    if (o.lengthGiven) source.length = static_cast<int16_t>(o.lengthValue);
    const ResolvedImage r = resolveImage(source);
    o.image = r.image;
    if (r.failure == ImageFailure::InitRefused)
        *why = QCoreApplication::translate("quarn-flash", "Invalid Init File %1: %2")
                   .arg(r.initPath, r.why);
    else if (!r.ok())
        *why = r.why;
    return r.ok();
}

bool resolveFlashPorts(FlashOptions& o, QString* why) {
    QStringList seen;
    for (const QString& name : o.ports) {
        UnitTarget t;
        if (!resolvePort(name, &t, why)) return false;
        const QString id = identity(t.device.isEmpty() ? name : t.device);
        if (!t.device.isEmpty() && QFileInfo::exists(t.device)) t.device = id;
        const int earlier = seen.indexOf(id);
        if (earlier >= 0) {
            *why = QCoreApplication::translate("quarn-flash", "%1 and %2 are the same device (%3)")
                       .arg(o.ports[earlier], name, id);
            return false;
        }
        seen << id;
        o.units << t;
    }
    return true;
}

}  // namespace quarn::flash
