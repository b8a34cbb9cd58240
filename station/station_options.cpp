#include "station/station_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include "core/paths.h"
#include "core/translations.h"
#include "image/resolve_image.h"

namespace quarn::station {

namespace {

StationOptions refuse(StationOptions o, const QString& why) {
    o.action = StationOptions::Action::Error;
    o.error = why;
    return o;
}

QCommandLineOption maxAttemptsOption() {
    return QCommandLineOption(
        "max-attempts",
        QCoreApplication::translate("quarn-station",
                                    "A serial number that failed N times is held for repair\n"
                                    "(0: no limit; default: [station] max-attempts, 3)."),
        "N");
}

// The options and their help, in the operator's language (made after main()
// installs the catalogue); the names stay.
void describeOptions(QCommandLineParser& p) {
    p.setApplicationDescription(QCoreApplication::translate(
        "quarn-station",
        "One window for a rack of units: a tile per slot, started together or one by one.\n"
        "INIT is an Init.txt or the folder that holds it (default: Init.txt here)."));
    const QCommandLineOption port(
        {"p", "port"},
        QCoreApplication::translate("quarn-station",
                                    "A slot: COM1 to COM4 or a device path, once per\n"
                                    "slot in order (default: the USB serial adapters)."),
        "PORT");
    const QCommandLineOption operatorName(
        "operator", QCoreApplication::translate("quarn-station", "Who works the station."), "NAME");
    const QCommandLineOption stationName(
        "station",
        QCoreApplication::translate("quarn-station",
                                    "The station's name (default: the host name)."),
        "NAME");
    const QCommandLineOption log(
        "log",
        QCoreApplication::translate("quarn-station",
                                    "Append each session's record to FILE (default:\n"
                                    "$XDG_STATE_HOME/quarn-download/sessions.jsonl)."),
        "FILE");
    const QCommandLineOption noLog("no-log",
                                   QCoreApplication::translate("quarn-station", "Write no log."));
    const QCommandLineOption autoStart(
        "auto", QCoreApplication::translate("quarn-station", "Start with Auto-start on."));
    const QCommandLineOption requireSerial(
        "require-serial", QCoreApplication::translate(
                              "quarn-station", "A slot without a serial number does not start."));
    const QCommandLineOption approvedOnly(
        "approved-only",
        QCoreApplication::translate("quarn-station",
                                    "Load only an image on the database's approved list."));
    const QCommandLineOption choose(
        "choose",
        QCoreApplication::translate("quarn-station", "Pick the Init.txt in a file dialog first."));
    const QCommandLineOption version(
        "version", QCoreApplication::translate("quarn-station", "Show the version."));
    const QCommandLineOption help({"h", "help"},
                                  QCoreApplication::translate("quarn-station", "Show this help."));
    p.addOptions({port, operatorName, stationName, log, noLog, autoStart, requireSerial,
                  approvedOnly, maxAttemptsOption(), choose, version, help});
    p.addPositionalArgument(
        "INIT", QCoreApplication::translate("quarn-station", "Init.txt or its folder."), "[INIT]");
}

bool parseMaxAttempts(const QString& text, int* out) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < 0 || v > (1 << 30)) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

StationOptions parseStationOptions(const QStringList& args) {
    StationOptions o;
    QCommandLineParser p;
    describeOptions(p);
    if (!p.parse(args)) return refuse(o, p.errorText());
    o.helpText = programHelp(p, QStringLiteral("quarn-station"));
    if (p.isSet(QStringLiteral("help"))) return o.action = StationOptions::Action::Help, o;
    if (p.isSet(QStringLiteral("version"))) return o.action = StationOptions::Action::Version, o;
    if (p.positionalArguments().size() > 1)
        return refuse(o, QCoreApplication::translate("quarn-station", "more than one INIT given"));
    if (p.isSet(QStringLiteral("log")) && p.isSet(QStringLiteral("no-log")))
        return refuse(o,
                      QCoreApplication::translate("quarn-station", "--log and --no-log together"));

    o.ports = p.values(QStringLiteral("port"));
    o.operatorName = p.value(QStringLiteral("operator"));
    o.stationName = p.isSet(QStringLiteral("station")) ? p.value(QStringLiteral("station"))
                                                       : QSysInfo::machineHostName();
    o.logPath = p.isSet(QStringLiteral("no-log")) ? QString()
                : p.isSet(QStringLiteral("log"))  ? p.value(QStringLiteral("log"))
                                                  : quarn::defaultLogPath();
    o.autoStart = p.isSet(QStringLiteral("auto"));
    o.requireSerial = p.isSet(QStringLiteral("require-serial"));
    o.approvedOnly = p.isSet(QStringLiteral("approved-only"));
    o.choose = p.isSet(QStringLiteral("choose"));
    if (p.isSet(QStringLiteral("max-attempts")) &&
        !parseMaxAttempts(p.value(QStringLiteral("max-attempts")), &o.maxAttempts))
        return refuse(
            o, QCoreApplication::translate("quarn-station",
                                           "--max-attempts wants a whole number >= 0, not \"%1\"")
                   .arg(p.value(QStringLiteral("max-attempts"))));
    if (!p.positionalArguments().isEmpty()) o.init = p.positionalArguments().first();
    return o;
}

bool resolveStationInit(const QString& init, DownloadImage* image, QString* why) {
    const ResolvedImage r = resolveImage({init, QString(), std::nullopt});
    *image = r.image;
    if (r.failure == ImageFailure::InitRefused)
        *why = QCoreApplication::translate("quarn-station", "Invalid Init File %1: %2")
                   .arg(QFileInfo(r.initPath).absoluteFilePath(), r.why);
    else if (!r.ok())
        *why = r.why;
    return r.ok();
}

}  // namespace quarn::station
