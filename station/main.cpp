// quarn-station: reads the command line before the window's application
// object, so that --help and --version need no display; then the slotList,
// the Init.txt, and the window. Ends when the window closes.

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "approval/gate_read.h"
#include "approval/image_gate.h"
#include "core/front_door.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/stop_signals.h"
#include "core/translations.h"
#include "pg/database_url.h"
#include "station/batch_cue.h"
#include "station/station_model.h"
#include "station/station_options.h"
#include "station/station_window.h"
#include "ui/init_chooser.h"
#include "ui/message_box_widget.h"

namespace {

using quarn::station::StationOptions;

const quarn::FrontDoor kDoor(QStringLiteral("quarn-station"));

int fail(const QString& text) { return kDoor.fail(text); }

constexpr int kExitRecord = 7;
constexpr int kExitSignal = 130;

// The end a stop signal asks for: the log tried once more, every record it
// still does not take on standard error (the journal keeps it) and 7; else
// 130 when a unit was loading, 0 when none was.
void endAfterStop(quarn::station::StationModel& model, int status) {
    if (model.spillUnwritten(stderr) > 0) status = kExitRecord;
    QCoreApplication::exit(status);
}

// SIGTERM, SIGINT and SIGHUP (the PC shutting down, the session ended):
// every loading unit stops as by Stop all and its record is written; a Start
// all waiting for the approved list is called off. A second signal ends the
// program at once.
void endOnStopSignal(quarn::station::StationModel& model) {
    if (!quarn::installStopSignals(kExitSignal)) {
        fail(QCoreApplication::translate("quarn-station", "cannot watch for stop signals: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    auto* notifier = new QSocketNotifier(quarn::stopSignalFd(), QSocketNotifier::Read, &model);
    QObject::connect(notifier, &QSocketNotifier::activated, &model, [&model, notifier] {
        quarn::drainStopSignals();
        notifier->setEnabled(false);
        const bool loading = model.anyRunning();
        model.stopAll();
        if (!loading) return endAfterStop(model, 0);
        QObject::connect(
            &model, &quarn::station::StationModel::allIdle, qApp,
            [&model] { endAfterStop(model, kExitSignal); }, Qt::SingleShotConnection);
    });
}

// The window on its slotList, until it closes.
int runWindow(const StationOptions& o, const quarn::DownloadImage& image) {
    const quarn::Settings settings;
    quarn::station::StationConfig config;
    config.stationName = o.stationName;
    config.operatorName = o.operatorName;
    config.logPath = o.logPath;
    config.databaseUrl = quarn::pg::configuredDatabaseUrl();
    config.image = image;
    config.maxRepeats = settings.value(quarn::SettingKey::StationMaxRepeats).toInt();
    config.maxAttempts = o.maxAttempts >= 0
                             ? o.maxAttempts
                             : settings.value(quarn::SettingKey::StationMaxAttempts).toInt();
    config.requireSerial = o.requireSerial;
    config.sound = quarn::station::soundWanted(settings);
    config.requireApproved = o.approvedOnly || quarn::approval::approvalRequired();
    const auto slotList = quarn::station::slotsFrom(o.ports, settings, &config.source);
    quarn::station::StationModel model(config, slotList);
    model.setAutoStart(o.autoStart);
    endOnStopSignal(model);
    quarn::station::StationWindow window(model);
    window.showMaximized();  // a station PC runs it alone
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    // Parsed once in English to learn whether a window follows; without one,
    // again with the catalogue installed.
    const StationOptions o = quarn::station::parseStationOptions(arguments);
    // --help, --version, a refusal, or no display: answered in the
    // operator's language under an application object that needs no display.
    if (o.action != StationOptions::Action::Run || !quarn::displayAvailable())
        return kDoor.answerWithoutWindow(
            argc, argv, [&] { return quarn::station::parseStationOptions(arguments); },
            [] {
                return QCoreApplication::translate(
                    "quarn-station",
                    "no display (DISPLAY and WAYLAND_DISPLAY are not set): the window cannot be "
                    "shown; quarn-flash --watch loads units without one");
            });
    QApplication app(argc, argv);
    quarn::installTranslations();
    quarn::installModalMessageBoxes();
    QString init = o.init;
    if (o.choose) {
        init = quarn::chooseInitFor(init);
        if (init.isEmpty()) return 0;
    }
    quarn::DownloadImage image;
    QString why;
    if (!quarn::station::resolveStationInit(init, &image, &why)) {
        quarn::showBox({QCoreApplication::translate("quarn-station", "Invalid Init File."),
                        quarn::BoxIcon::Exclamation, quarn::BoxButtons::Ok,
                        QStringLiteral("Quarn Station"), why});
        return fail(why);
    }
    // A read of the approved list still waiting on a silent database is left behind.
    return quarn::approval::leaveReadsBehind(runWindow(o, image));
}
