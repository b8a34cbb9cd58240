#include "flash/watch_run.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <memory>
#include <vector>

#include "approval/image_approval.h"
#include "core/settings.h"
#include "flash/image_check.h"
#include "flash/progress.h"
#include "flash/unit_jobs.h"
#include "gang/watch.h"
#include "recordwriter/record_writer.h"
#include "recordwriter/retest_limit.h"

namespace quarn::flash {

namespace {

class WatchRun {
public:
    explicit WatchRun(const FlashOptions& o) : o_(o), display_(stderr, false, o.quiet) {
        writer_.stampApproval(o.approved);
        if (o.json) writer_.echoTo(stdout);
        writer_.sayWith([this](const QString& t) { say(t); });
    }
    int exec(int signalFd, const approval::ImageGate& gate);

private:
    void onPhase(int slot, gang::Watch::Phase phase);
    void onSession(const UnitRecord& r);
    void stopAll();
    void watchApproval(const approval::ImageGate& gate);
    bool mayLoad() const { return !approval_ || approval_->allowsStarts(); }

    void say(const QString& text) { display_.note(QStringLiteral("quarn-flash: ") + text); }

    const FlashOptions& o_;
    ProgressDisplay display_;
    // A service runs all day: each record goes to the database as it comes.
    recordwriter::RecordWriter writer_{o_.logPath, o_.databaseUrl};
    std::vector<std::unique_ptr<gang::Watch>> watches_;
    std::unique_ptr<approval::ImageApproval> approval_;  // with the approved list required
    bool allowed_ = true;                                // the verdict last said
    int stopped_ = 0;
    bool stopping_ = false;
    bool wasLoading_ = false;
};

void WatchRun::onPhase(int slot, gang::Watch::Phase phase) {
    const QString port = o_.units[slot].port;
    if (phase == gang::Watch::Phase::Listening)
        display_.note(port + QCoreApplication::translate("quarn-flash", ": waiting for a unit"));
    if (phase == gang::Watch::Phase::Remove)
        display_.note(port + QCoreApplication::translate("quarn-flash", ": remove the unit"));
}

void WatchRun::onSession(const UnitRecord& record) {
    writer_.write(record);
    if (o_.retest) o_.retest->note(record);
    display_.endedLine(record);
}

void WatchRun::stopAll() {
    if (stopping_) return;
    stopping_ = true;
    for (const auto& w : watches_) wasLoading_ |= w->phase() == gang::Watch::Phase::Loading;
    display_.note(QCoreApplication::translate("quarn-flash", "quarn-flash: stopping"));
    for (const auto& w : watches_) w->stop();
}

void WatchRun::watchApproval(const approval::ImageGate& gate) {
    if (!o_.approvedOnly) return;
    const int ms = resolvedSetting(SettingKey::ApprovalRecheckMs).toInt();
    approval_ = std::make_unique<approval::ImageApproval>(true, o_.image.identity(), o_.databaseUrl,
                                                          ms > 0 ? ms : 60000, &gate);
    writer_.stampApproval(approval_.get());
    QObject::connect(approval_.get(), &approval::ImageApproval::changed, qApp, [this] {
        if (approval_->allowsStarts() == allowed_) return;
        allowed_ = approval_->allowsStarts();
        say(QCoreApplication::translate("quarn-flash", "Image: ") + approval_->lineText() +
            (allowed_ ? QCoreApplication::translate("quarn-flash", "; units are loaded again")
                      : QCoreApplication::translate("quarn-flash",
                                                    "; no unit is loaded until it is approved")));
    });
}

int WatchRun::exec(int signalFd, const approval::ImageGate& gate) {
    watchApproval(gate);
    QSocketNotifier onSignal(signalFd, QSocketNotifier::Read);
    QObject::connect(&onSignal, &QSocketNotifier::activated, qApp, [this, signalFd] {
        char buf[16];
        while (::read(signalFd, buf, sizeof buf) > 0) {
        }
        stopAll();
    });
    for (int i = 0; i < o_.units.size(); ++i) {
        const UnitTarget& t = o_.units[i];
        // Looked up again before every attempt: an adapter that comes back on
        // another device node, or appears only now, is found where it is.
        auto w = std::make_unique<gang::Watch>(i, [this, t] { return unitJobFor(o_, t); });
        QObject::connect(w.get(), &gang::Watch::phaseChanged, qApp,
                         [this](int s, gang::Watch::Phase p) { onPhase(s, p); });
        QObject::connect(w.get(), &gang::Watch::progressed, qApp,
                         [this](int s, const SessionProgress& p) {
                             display_.progressLine(s, o_.units[s].port, p);
                         });
        QObject::connect(w.get(), &gang::Watch::sessionEnded, qApp,
                         [this](int, const UnitRecord& r) { onSession(r); });
        QObject::connect(w.get(), &gang::Watch::stopped, qApp, [this] {
            if (++stopped_ == static_cast<int>(watches_.size())) QCoreApplication::quit();
        });
        w->setMayLoad([this] { return mayLoad(); });
        watches_.push_back(std::move(w));
    }
    for (const auto& w : watches_) w->start();
    QCoreApplication::exec();
    watches_.clear();
    // The log once more; what it still does not take goes to the journal.
    writer_.spillKept(stderr);
    if (writer_.failedOnce()) return kExitRecord;
    return wasLoading_ ? kExitSignal : kExitGood;
}

}  // namespace

int runWatch(const FlashOptions& o, int signalFd, const approval::ImageGate& gate) {
    WatchRun run(o);
    return run.exec(signalFd, gate);
}

}  // namespace quarn::flash
