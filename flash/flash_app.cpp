#include "flash/flash_app.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "approval/gate_read.h"
#include "core/front_door.h"
#include "core/stop_signals.h"
#include "flash/flash_options.h"
#include "flash/image_check.h"
#include "flash/progress.h"
#include "flash/unit_jobs.h"
#include "flash/watch_run.h"
#include "gang/gang.h"
#include "ports/port_commands.h"
#include "push/pusher.h"
#include "recordwriter/record_writer.h"
#include "recordwriter/retest_limit.h"

namespace quarn::flash {

namespace {

const FrontDoor kDoor(QStringLiteral("quarn-flash"));

void printErr(const QString& text) { kDoor.printErr(text); }

// The exit status one unit's outcome gives.
int exitStatusFor(record::SessionOutcome outcome) {
    // In the order of SessionOutcome: good, input, port, handshake, login,
    // transfer, interrupted, held.
    constexpr int kStatus[] = {kExitGood,  kExitInput,    kExitPort,   kExitHandshake,
                               kExitLogin, kExitTransfer, kExitSignal, kExitHeld};
    return kStatus[static_cast<int>(outcome)];
}

// One run of quarn-flash: a gang of one unit per port, its progress on
// standard error, each record to the log and then standard output.
class FlashRun {
public:
    explicit FlashRun(const FlashOptions& o)
        : o_(o), display_(stderr, ::isatty(STDERR_FILENO), o.quiet) {
        writer_.stampApproval(o.approved);
        if (o.json) writer_.echoTo(stdout);
        writer_.sayWith(printErr);
    }
    int exec();

private:
    void watchSignals();
    void onProgress(int slot, const SessionProgress& p);
    void onFinished(int slot, const UnitRecord& r);
    int exitStatus() const;

    const FlashOptions& o_;
    ProgressDisplay display_;
    recordwriter::RecordWriter writer_{o_.logPath, QString()};
    gang::Gang gang_;
    QList<UnitRecord> records_;
    QStringList outcomes_;
    std::unique_ptr<QSocketNotifier> signals_;
};

void FlashRun::watchSignals() {
    // A stop request from a terminal, ssh or the service manager stops every
    // unit as Cancel does; a second one ends the program at once.
    if (!installStopSignals(kExitSignal))
        return printErr(
            QCoreApplication::translate("quarn-flash", "cannot watch for stop signals: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
    signals_ = std::make_unique<QSocketNotifier>(stopSignalFd(), QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, &gang_, [this] {
        drainStopSignals();
        if (gang_.stopRequested()) return;
        if (!o_.quiet)
            display_.note(
                QCoreApplication::translate("quarn-flash", "quarn-flash: stopping every unit"));
        gang_.requestStop();
    });
}

void FlashRun::onProgress(int slot, const SessionProgress& p) {
    display_.progressLine(slot, gang_.units()[slot]->job().port, p);
}

void FlashRun::onFinished(int slot, const UnitRecord& r) {
    records_[slot] = r;
    outcomes_[slot] = outcomeName(r.outcome);
    writer_.write(r, [this] { display_.erase(); });
    if (o_.retest) o_.retest->note(r);
    display_.endedLine(r);
}

int FlashRun::exec() {
    watchSignals();
    for (const UnitTarget& t : o_.units) gang_.add(unitJobFor(o_, t));
    records_.resize(gang_.size());
    outcomes_.resize(gang_.size());
    QObject::connect(&gang_, &gang::Gang::progressed, &gang_,
                     [this](int slot, const SessionProgress& p) { onProgress(slot, p); });
    QObject::connect(&gang_, &gang::Gang::unitFinished, &gang_,
                     [this](int slot, const UnitRecord& r) { onFinished(slot, r); });
    QObject::connect(&gang_, &gang::Gang::allFinished, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QTimer redraw;
    redraw.setInterval(100);
    QObject::connect(&redraw, &QTimer::timeout, &gang_,
                     [this] { display_.redraw(gang_.units(), outcomes_); });
    gang_.startAll();
    if (display_.terminal()) redraw.start();
    QCoreApplication::exec();
    redraw.stop();
    display_.redraw(gang_.units(), outcomes_);
    display_.summary(records_);
    push::pushAfterRun(o_.logPath, o_.databaseUrl,
                       stderr);  // in the background: never the exit status
    return exitStatus();
}

int FlashRun::exitStatus() const {
    if (gang_.stopRequested() || stopSignalCount() > 0) return kExitSignal;
    if (records_.size() == 1 && records_[0].outcome != record::SessionOutcome::Good)
        return exitStatusFor(records_[0].outcome);
    for (const UnitRecord& r : records_)
        if (r.outcome != record::SessionOutcome::Good) return kExitSomeFailed;
    return writer_.failedOnce() ? kExitRecord : kExitGood;
}

}  // namespace

int runFlash() {
    FlashOptions o = parseFlashOptions(QCoreApplication::arguments());
    if (const auto status = kDoor.answer(o, kExitInput)) return *status;
    if (o.listPorts) {  // loads nothing
        QTextStream out(stdout), err(stderr);
        return listPortsCommand(out, err);
    }
    QString why;
    if (!readFlashInput(o, &why) || !resolveFlashPorts(o, &why))
        return kDoor.refuse(why, kExitInput);
    // Nothing opens a port before the approved list has had its say.
    approval::ImageGate gate;
    if (!checkFlashImage(o, stderr, &gate)) return kExitNotApproved;
    if (o.watch) {
        if (!installStopSignals(kExitSignal))
            printErr(QCoreApplication::translate("quarn-flash", "cannot watch for stop signals: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno))));
        o.retest =
            std::make_shared<recordwriter::RetestLimit>(o.maxAttempts, o.logPath, o.databaseUrl);
        // A read of the approved list still waiting on a silent database is left behind.
        return approval::leaveReadsBehind(runWatch(o, stopSignalFd(), gate));
    }
    o.retest = std::make_shared<recordwriter::RetestLimit>(o.maxAttempts, o.logPath, o.databaseUrl);
    FlashRun run(o);
    return run.exec();
}

}  // namespace quarn::flash
