#include "gang/watch.h"

#include <QDeadlineTimer>
#include <QMetaMethod>

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
void Watch::watchRemoval(bool afterGood) {
    pace_ = RemovalPace(timing_.probeGapMs, timing_.quietMs, kProbeReplyTicks * linkClock().tickMs,
                        afterGood && !slotDeaf_);
    probeDevice_.clear();
    sinceSession_.start();
    line_ = std::make_unique<ProbeLine>();
    connect(line_.get(), &ProbeLine::probed, this, &Watch::onProbed);
    probeTimer_.start(timing_.firstProbeMs);
}

void Watch::probe() {
    if (!line_) return;
    // Looked up once, and again after a probe whose port failed: a link
    // pointed elsewhere meanwhile is followed by the line itself.
    if (probeDevice_.isEmpty()) probeDevice_ = makeJob_().device;
    const bool safe = pace_.next() == RemovalPace::Probe::Safe;
    line_->probe(probeDevice_, kProbeReplyTicks * linkClock().tickMs, safe ? timing_.quietMs : 0);
}

void Watch::onProbed(const ProbeReport& report) {
    if (!line_ || stopping_) return;
    const bool answered = report.result == ProbeResult::Answered;
    learnDeafness(report.result);
    if (pace_.judge(report.result, report.sentMs)) return left();
    const qint64 since = sinceSession_.elapsed();
    if (answered && since >= timing_.holdMs + pace_.removalSeenMs())
        emit answering(slot_, int(since / 1000));
    if (report.result == ProbeResult::PortFailed) probeDevice_.clear();
    nextProbe(report);
}

// A unit that answers the first probe after its session tells the slot that
// its units hear a handshake then; one that answers only later, that they
// may need a quiet line first (or that one reply was lost: the slot is then
// merely careful).
void Watch::learnDeafness(ProbeResult result) {
    const bool answered = result == ProbeResult::Answered;
    if (pace_.atFirst()) {
        firstSilent_ = result == ProbeResult::Silent;
        if (answered) slotDeaf_ = false;
    } else if (answered && firstSilent_) {
        slotDeaf_ = true;
        firstSilent_ = false;
    }
}

// Quick probes start to start every probeGapMs; a safe one at once, as the
// line keeps its quiet line itself; after a probe that was not sent, later.
void Watch::nextProbe(const ProbeReport& report) {
    const bool sent = report.sentMs >= 0 && report.result != ProbeResult::PortFailed &&
                      report.result != ProbeResult::Stopped;
    qint64 wait = timing_.retryMs;
    if (sent && pace_.next() == RemovalPace::Probe::Quick)
        wait = report.sentMs + timing_.probeGapMs - QDeadlineTimer::current().deadline();
    else if (sent)
        wait = 0;
    probeTimer_.start(int(qMax<qint64>(0, wait)));
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
    // Each block only for an owner that listens for them; the rack reads
    // progress() on its own clock.
    job.everyBlock = isSignalConnected(QMetaMethod::fromSignal(&Watch::progressed));
    if (unit_) unit_.release()->deleteLater();  // its finished() may still be on the stack
    unit_ = std::make_unique<Unit>(slot_, job);
    connect(unit_.get(), &Unit::finished, this,
            [this](int, const record::UnitRecord& r) { onDone(r); });
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

void Watch::onDone(record::UnitRecord record) {
    if (phase_ == Phase::Loading) applyKeys(record, keysAtLoad_);
    if (stopping_) return endStopped(record);
    if (attempt_ == Attempt::Listen) return afterListen(record);
    afterProbe(record);
}

void Watch::endStopped(const record::UnitRecord& record) {
    if (phase_ == Phase::Loading) emit sessionEnded(slot_, record);
    setPhase(Phase::Stopped);
    emit stopped(slot_);
}

void Watch::afterListen(const record::UnitRecord& record) {
    if (phase_ == Phase::Listening) {
        const bool portFailed = record.outcome == record::SessionOutcome::Port;
        return portFailed ? after(timing_.retryMs, &Watch::listen) : listen();
    }
    emit sessionEnded(slot_, record);
    if (stopping_) return;  // the owner stopped the watch on hearing of the record
    setPhase(Phase::Holding);
    after(timing_.holdMs, &Watch::enterRemove);
    watchRemoval(record.outcome == record::SessionOutcome::Good);
}

// A held probe that answered, stayed silent, or told nothing (the port did
// not open, or bytes came that were no echo): whether a unit waits.
void Watch::afterProbe(const record::UnitRecord& record) {
    const bool answered = record.outcome == record::SessionOutcome::Good;
    const bool silent = record.outcome == record::SessionOutcome::Handshake;
    if (answered) setPhase(Phase::Held);
    if (silent && phase_ == Phase::Held) setPhase(Phase::Listening);
    if (silent) return listen();
    after(answered ? timing_.probeGapMs : timing_.retryMs, &Watch::listen);
}

}  // namespace quarn::gang
