#include "gang/watch.h"

#include "gang/session_record.h"

namespace quarn::gang {

Watch::Watch(int slot, std::function<UnitJob()> makeJob, WatchTiming timing, QObject* parent)
    : QObject(parent), slot_(slot), makeJob_(std::move(makeJob)), timing_(timing) {
    qRegisterMetaType<quarn::gang::Watch::Phase>();
    wait_.setSingleShot(true);
}

Watch::~Watch() { unit_.reset(); }  // stops a running unit and waits for its thread

void Watch::start() {
    stopping_ = letSessionFinish_ = false;
    silentProbes_ = 0;
    listen();
}

void Watch::stopSession() {
    if (phase_ == Phase::Loading && unit_) unit_->requestStop();
}

void Watch::stop() {
    stopping_ = true;
    letSessionFinish_ = false;
    wait_.stop();
    if (unit_ && !unit_->hasFinished()) return unit_->requestStop();
    setPhase(Phase::Stopped);
    emit stopped(slot_);
}

void Watch::finishThenStop() {
    if (phase_ != Phase::Loading || !unit_ || unit_->hasFinished()) return stop();
    stopping_ = letSessionFinish_ = true;
}

void Watch::resume() {
    if (letSessionFinish_ && unit_ && !unit_->hasFinished()) stopping_ = letSessionFinish_ = false;
}

void Watch::retryNow() {
    if (phase_ != Phase::Held || !wait_.isActive()) return;
    wait_.stop();
    listen();
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

// A unit is loaded only while the owner allows it; until then it is only probed.
void Watch::listen() { launch(mayLoad_ && !mayLoad_() ? Attempt::HeldProbe : Attempt::Listen); }

void Watch::enterRemove() {
    silentProbes_ = 0;
    setPhase(Phase::Remove);
    probe();
}

void Watch::launch(Attempt attempt) {
    attempt_ = attempt;
    UnitJob job = makeJob_();
    job.probeOnly = attempt != Attempt::Listen;
    if (unit_) unit_.release()->deleteLater();  // its finished() may still be on the stack
    unit_ = std::make_unique<Unit>(slot_, job);
    connect(unit_.get(), &Unit::finished, this,
            [this](int, const records::UnitRecord& r) { onDone(r); });
    connect(unit_.get(), &Unit::progressed, this,
            [this](int, const SessionProgress& p) { onProgress(p); });
    if (attempt == Attempt::Listen || (attempt == Attempt::HeldProbe && phase_ != Phase::Held))
        setPhase(Phase::Listening);
    unit_->start();
}

void Watch::onProgress(const SessionProgress& p) {
    if (attempt_ == Attempt::Listen && phase_ == Phase::Listening && p.stage >= LinkStage::Pause) {
        keysAtLoad_ = makeJob_().keys;  // who the unit is, as known when its loading began
        setPhase(Phase::Loading);
    }
    if (phase_ == Phase::Loading) emit progressed(slot_, p);
}

void Watch::onDone(records::UnitRecord record) {
    if (phase_ == Phase::Loading) applyKeys(record, keysAtLoad_);
    if (stopping_) return endStopped(record);
    if (attempt_ == Attempt::Listen) return afterListen(record);
    afterProbe(record);
}

void Watch::endStopped(const records::UnitRecord& record) {
    if (phase_ == Phase::Loading) emit sessionEnded(slot_, record);
    setPhase(Phase::Stopped);
    emit stopped(slot_);
}

void Watch::afterListen(const records::UnitRecord& record) {
    if (phase_ == Phase::Listening) {
        const bool portFailed = record.outcome == SessionOutcome::Port;
        return portFailed ? after(timing_.retryMs, &Watch::listen) : listen();
    }
    emit sessionEnded(slot_, record);
    setPhase(Phase::Holding);
    after(timing_.holdMs, &Watch::enterRemove);
}

// A probe that answered, stayed silent, or told nothing (the port did not
// open): while held, whether a unit waits; after a session, whether it left.
void Watch::afterProbe(const records::UnitRecord& record) {
    const bool answered = record.outcome == SessionOutcome::Good;
    const bool silent = record.outcome == SessionOutcome::Handshake;
    if (attempt_ == Attempt::HeldProbe) {
        if (answered) setPhase(Phase::Held);
        if (silent && phase_ == Phase::Held) setPhase(Phase::Listening);
        if (silent) return listen();
        return after(answered ? timing_.probeGapMs : timing_.retryMs, &Watch::listen);
    }
    if (answered) silentProbes_ = 0;
    if (silent && ++silentProbes_ >= kSilentProbesToLeave) return listen();
    after(silent || answered ? timing_.probeGapMs : timing_.retryMs, &Watch::probe);
}

}  // namespace quarn::gang
