#include "gang/watch.h"

namespace quarn::gang {

Watch::Watch(int slot, std::function<UnitJob()> makeJob, WatchTiming timing, QObject* parent)
    : QObject(parent), slot_(slot), makeJob_(std::move(makeJob)), timing_(timing) {
    qRegisterMetaType<quarn::gang::Watch::Phase>();
    wait_.setSingleShot(true);
}

Watch::~Watch() { unit_.reset(); }  // stops a running unit and waits for its thread

void Watch::start() {
    stopping_ = false;
    listen();
}

void Watch::stopSession() {
    if (phase_ == Phase::Loading && unit_) unit_->requestStop();
}

void Watch::stop() {
    stopping_ = true;
    wait_.stop();
    if (unit_ && !unit_->hasFinished()) return unit_->requestStop();
    setPhase(Phase::Stopped);
    emit stopped(slot_);
}

void Watch::setPhase(Phase phase) {
    if (phase_ == phase) return;
    phase_ = phase;
    emit phaseChanged(slot_, phase);
}

void Watch::after(int ms, void (Watch::*next)()) {
    wait_.disconnect();
    connect(&wait_, &QTimer::timeout, this, next);
    wait_.start(ms);
}

void Watch::launch(bool probe) {
    probing_ = probe;
    UnitJob job = makeJob_();
    job.probeOnly = probe;
    if (unit_) unit_.release()->deleteLater();  // its finished() may still be on the stack
    unit_ = std::make_unique<Unit>(slot_, job);
    connect(unit_.get(), &Unit::finished, this, [this](int, const UnitRecord& r) { onDone(r); });
    connect(unit_.get(), &Unit::progressed, this, [this](int, const SessionProgress& p) {
        if (!probing_ && phase_ == Phase::Listening && p.stage >= LinkStage::Pause)
            setPhase(Phase::Loading);
        if (phase_ == Phase::Loading) emit progressed(slot_, p);
    });
    if (!probe) setPhase(Phase::Listening);
    unit_->start();
}

void Watch::onDone(const UnitRecord& record) {
    if (stopping_) {
        if (phase_ == Phase::Loading) emit sessionEnded(slot_, record);
        setPhase(Phase::Stopped);
        return emit stopped(slot_);
    }
    if (probing_) {
        // Still answering: look again later. Gone: listen for the next unit.
        if (record.outcome == SessionOutcome::Good) return after(timing_.probeGapMs, &Watch::probe);
        return listen();
    }
    if (phase_ == Phase::Listening) {
        const bool portFailed = record.outcome == SessionOutcome::Port;
        return portFailed ? after(timing_.retryMs, &Watch::listen) : listen();
    }
    emit sessionEnded(slot_, record);
    setPhase(Phase::Holding);
    after(timing_.holdMs, &Watch::enterRemove);
}

}  // namespace quarn::gang
