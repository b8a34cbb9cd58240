#include "gang/watch.h"

#include "gang/session_record.h"

namespace quarn::gang {

Watch::Watch(int slot, std::function<UnitJob()> makeJob, WatchTiming timing, QObject* parent)
    : QObject(parent), slot_(slot), makeJob_(std::move(makeJob)), timing_(timing) {
    qRegisterMetaType<quarn::gang::Watch::Phase>();
    wait_.setSingleShot(true);
    probeTimer_.setSingleShot(true);
    connect(&probeTimer_, &QTimer::timeout, this, &Watch::probe);
}

Watch::~Watch() {
    line_.reset();
    unit_.reset();  // stops a running unit and waits for its thread
}

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
    probeTimer_.stop();
    line_.reset();
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

void Watch::enterRemove() { setPhase(Phase::Remove); }

// The removal probes begin as the session ends, the hold only what is shown.
void Watch::watchRemoval() {
    silentProbes_ = 0;
    probeDevice_.clear();
    sinceSession_.start();
    line_ = std::make_unique<ProbeLine>();
    connect(line_.get(), &ProbeLine::probed, this, &Watch::onProbed);
    probe();
}

void Watch::probe() {
    if (!line_) return;
    probeStarted_.start();
    // Looked up once, and again after a probe whose port failed: a link
    // pointed elsewhere meanwhile is followed by the line itself.
    if (probeDevice_.isEmpty()) probeDevice_ = makeJob_().device;
    line_->probe(probeDevice_, kProbeReplyTicks * linkClock().tickMs);
}

// Answered, silent, or nothing learnt (the port did not open, or was lost).
void Watch::onProbed(ProbeResult result) {
    if (!line_ || stopping_) return;
    if (result == ProbeResult::Answered) {
        silentProbes_ = 0;
        emit answering(slot_, int(sinceSession_.elapsed() / 1000));
    }
    if (result == ProbeResult::Silent && ++silentProbes_ >= kSilentProbesToLeave) return left();
    const bool told = result == ProbeResult::Answered || result == ProbeResult::Silent;
    if (result == ProbeResult::PortFailed) probeDevice_.clear();
    const qint64 gap = told ? timing_.probeGapMs - probeStarted_.elapsed() : timing_.retryMs;
    probeTimer_.start(int(qMax<qint64>(0, gap)));
}

// The port is closed before the next session opens it.
void Watch::left() {
    line_.reset();
    wait_.stop();
    listen();
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
    if (stopping_) return;  // the owner stopped the watch on hearing of the record
    setPhase(Phase::Holding);
    after(timing_.holdMs, &Watch::enterRemove);
    watchRemoval();
}

// A held probe that answered, stayed silent, or told nothing (the port did
// not open): whether a unit waits.
void Watch::afterProbe(const records::UnitRecord& record) {
    const bool answered = record.outcome == SessionOutcome::Good;
    const bool silent = record.outcome == SessionOutcome::Handshake;
    if (answered) setPhase(Phase::Held);
    if (silent && phase_ == Phase::Held) setPhase(Phase::Listening);
    if (silent) return listen();
    after(answered ? timing_.probeGapMs : timing_.retryMs, &Watch::listen);
}

}  // namespace quarn::gang
