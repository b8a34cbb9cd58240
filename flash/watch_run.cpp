#include "flash/watch_run.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <memory>
#include <vector>

#include "flash/progress.h"
#include "flash/record_keys.h"
#include "gang/watch.h"

namespace quarn::flash {

namespace {

class WatchRun {
public:
    explicit WatchRun(const FlashOptions& o) : o_(o), display_(stderr, false, o.quiet) {}
    int exec(int signalFd);

private:
    void onPhase(int slot, gang::Watch::Phase phase);
    void onSession(const UnitRecord& r);
    void stopAll();

    const FlashOptions& o_;
    ProgressDisplay display_;
    gang::RecordLog log_;
    std::vector<std::unique_ptr<gang::Watch>> watches_;
    int stopped_ = 0;
    bool stopping_ = false;
    bool wasLoading_ = false;
};

void WatchRun::onPhase(int slot, gang::Watch::Phase phase) {
    const QString port = o_.units[slot].port;
    if (phase == gang::Watch::Phase::Listening)
        display_.note(port + QStringLiteral(": waiting for a unit"));
    if (phase == gang::Watch::Phase::Remove)
        display_.note(port + QStringLiteral(": remove the unit"));
}

void WatchRun::onSession(const UnitRecord& r) {
    // The log first: standard output may fail without losing the record.
    const QByteArray line = gang::toJsonLine(r);
    QString why;
    if (log_.isOpen() && !log_.append(line, &why))
        display_.note(QStringLiteral("quarn-flash: ") + why);
    if (o_.json &&
        (std::fwrite(line.constData(), 1, size_t(line.size()), stdout) != size_t(line.size()) ||
         std::fflush(stdout) != 0))
        display_.note(QStringLiteral("quarn-flash: standard output failed"));
    display_.endedLine(r);
}

void WatchRun::stopAll() {
    if (stopping_) return;
    stopping_ = true;
    for (const auto& w : watches_) wasLoading_ |= w->phase() == gang::Watch::Phase::Loading;
    display_.note(QStringLiteral("quarn-flash: stopping"));
    for (const auto& w : watches_) w->stop();
}

int WatchRun::exec(int signalFd) {
    QString why;
    if (!o_.logPath.isEmpty() && !log_.open(o_.logPath, &why))
        display_.note(QStringLiteral("quarn-flash: ") + why);
    QSocketNotifier onSignal(signalFd, QSocketNotifier::Read);
    QObject::connect(&onSignal, &QSocketNotifier::activated, qApp, [this, signalFd] {
        char buf[16];
        while (::read(signalFd, buf, sizeof buf) > 0) {
        }
        stopAll();
    });
    for (int i = 0; i < o_.units.size(); ++i) {
        const UnitTarget& t = o_.units[i];
        const gang::UnitJob job = unitJobFor(o_, t);
        auto w = std::make_unique<gang::Watch>(i, [job] { return job; });
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
        watches_.push_back(std::move(w));
    }
    for (const auto& w : watches_) w->start();
    QCoreApplication::exec();
    watches_.clear();
    return wasLoading_ ? kExitSignal : kExitGood;
}

}  // namespace

int runWatch(const FlashOptions& o, int signalFd) {
    WatchRun run(o);
    return run.exec(signalFd);
}

}  // namespace quarn::flash
