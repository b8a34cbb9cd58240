#include "station/station_model.h"

#include <QDateTime>
#include <QFileInfo>

#include "image/blocks.h"

namespace quarn::station {

namespace {

// The image every session sends, read once here when the caller did not, so
// that the image the approved list is asked about is the image sent.
StationConfig withImage(StationConfig c) {
    QString why;
    // Unread, each session then says why it cannot read the file.
    if (!c.image.isRead() && !c.image.path().isEmpty()) c.image.read(&why);
    return c;
}

}  // namespace

StationModel::StationModel(StationConfig config, QList<Slot> slotList, QObject* parent)
    : QObject(parent),
      config_(withImage(std::move(config))),
      writer_(config_.logPath, config_.databaseUrl),
      approval_(config_.requireApproved, config_.image.identity(), config_.databaseUrl,
                config_.approvalRecheckMs) {
    jobBase_ = {config_.image, config_.maxRepeats, config_.stationName, config_.operatorName,
                config_.serialRoot};
    retest_ = std::make_shared<recordwriter::RetestLimit>(config_.maxAttempts, config_.logPath,
                                                          config_.databaseUrl);
    jobBase_.retestCheck = [limit = retest_](const QString& serial) {
        return limit->check(serial);
    };
    writer_.stampApproval(&approval_);  // each record says what the list said last
    connect(&approval_, &approval::ImageApproval::changed, this, &StationModel::onApprovalRead);
    for (const Slot& s : slotList) {
        slots_.push_back(std::make_unique<SlotState>());
        slots_.back()->slot = s;
    }
    if (!writer_.problem().isEmpty()) qWarning("quarn-station: %s", qPrintable(writer_.problem()));
    writer_.retryMs = config_.logRetryMs;
    connect(&writer_, &recordwriter::RecordWriter::pendingChanged, this,
            &StationModel::recordsWaitingChanged);
    connect(&writer_, &recordwriter::RecordWriter::logChanged, this, &StationModel::onLogChanged);
    connect(&writer_, &recordwriter::RecordWriter::pushWarning, this, &StationModel::setPushNote);
    connect(&writer_, &recordwriter::RecordWriter::pushFailed, this, [this](const QString& why) {
        setPushNote(tr("the database has not taken the records: %1").arg(why));
    });
    connect(&presenceTimer_, &QTimer::timeout, this, &StationModel::refreshPresence);
    connect(&progressTimer_, &QTimer::timeout, this, &StationModel::refreshRunning);
    presenceTimer_.start(1000);
    progressTimer_.setInterval(250);
    refreshPresence();
}

StationModel::~StationModel() {
    for (auto& s : slots_) s->session.reset();  // stops and joins each thread
}

bool StationModel::canStart(const SlotState& s) const {
    const bool idle = !s.watch && (s.phase == SlotPhase::Ready || s.phase == SlotPhase::Ended);
    if (!idle || !canStartSessions() || slotDevice(s.slot).isEmpty()) return false;
    return !config_.requireSerial || !s.serial.trimmed().isEmpty();
}

gang::UnitJob StationModel::jobFor(int k) const {
    const SlotState& s = *slots_[static_cast<size_t>(k)];
    gang::UnitJob job = gang::buildJob(jobBase_, s.slot.given, s.serial);
    job.everyBlock = false;  // the tiles read each unit's progress every 250 ms
    return job;
}

bool StationModel::mayLoad(int k) const {
    const SlotState& s = *slots_[static_cast<size_t>(k)];
    if (!approval_.allowsStarts()) return false;
    return !config_.requireSerial || (s.serialScanned && !s.serial.isEmpty());
}

bool StationModel::start(int k) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    if (!canStart(s)) return false;
    s.session = std::make_unique<gang::Unit>(k, jobFor(k));
    connect(s.session.get(), &gang::Unit::finished, this, &StationModel::onFinished);
    s.phase = SlotPhase::Running;
    s.figures = SessionProgress{};
    s.message.clear();
    s.outcomeKept = false;
    s.session->start();
    progressTimer_.start();
    updateLook(k);
    return true;
}

int StationModel::startAll() {
    if (!approval_.required()) return startAllNow();
    approval_.checkThen([this] { startAllNow(); });
    return 0;
}

int StationModel::startFailed() {
    if (!approval_.required()) return startFailedNow();
    approval_.checkThen([this] { startFailedNow(); });
    return 0;
}

// A verdict in: the records say what it was, and a revocation ends
// Auto-start's listening (units loading finish) until the list allows again.
void StationModel::onApprovalRead() {
    applyWatching();
    emit imageChanged();
}

int StationModel::startAllNow() {
    int started = 0;
    for (int k = 0; k < count(); ++k) started += start(k) ? 1 : 0;
    return started;
}

// The failed unit is still in its socket: unless another number was
// scanned, it keeps its own.
int StationModel::startFailedNow() {
    int started = 0;
    for (int k = 0; k < count(); ++k) {
        SlotState& s = *slots_[static_cast<size_t>(k)];
        if (!s.lastFailed) continue;
        if (s.serial.isEmpty()) s.serial = s.lastSerial;
        started += start(k) ? 1 : 0;
    }
    return started;
}

void StationModel::stopAll() {
    approval_.cancelWaiting();
    for (auto& s : slots_) {
        if (s->session && !s->session->hasFinished()) s->session->requestStop();
        if (s->watch) s->watch->stopSession();
    }
}

bool StationModel::anyRunning() const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [](const auto& s) { return s->phase == SlotPhase::Running; });
}

void StationModel::setSerial(int k, const QString& serial) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.serial = serial.trimmed();
    s.serialScanned = false;
    if (!s.serial.isEmpty()) s.lastSerial.clear();
    s.serialLoadedGood = !s.serial.isEmpty() && counters_.loadedGood(s.serial);
    emit slotChanged(k);
}

void StationModel::scanSerial(int k, const QString& serial) {
    setSerial(k, serial);
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.serialScanned = !s.serial.isEmpty();
    if (s.watch && s.serialScanned) s.watch->retryNow();
}

// The number went with the unit that was loaded: the next unit needs its own.
void StationModel::serialUsed(int k, const QString& serial) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.lastSerial = serial;
    s.serial.clear();
    s.serialScanned = false;
}

// A number scanned for a unit still to come may have loaded good meanwhile
// in another slot.
void StationModel::flagLoadedSerials() {
    for (int k = 0; k < count(); ++k) {
        SlotState& s = *slots_[static_cast<size_t>(k)];
        const bool flagged = !s.serial.isEmpty() && counters_.loadedGood(s.serial);
        if (flagged == s.serialLoadedGood) continue;
        s.serialLoadedGood = flagged;
        emit slotChanged(k);
    }
}

void StationModel::onFinished(int k, const record::UnitRecord& record) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.session.release()->deleteLater();  // its finished() is on the stack
    recordSession(k, record);
    if (watching() && !s.watch) watch(k);  // Auto-start came on while it loaded
}

// The record to the log first, then the tile, the counters and the listeners.
void StationModel::recordSession(int k, const record::UnitRecord& record) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.phase = SlotPhase::Ended;
    const QByteArray line = writer_.write(record);
    retest_->note(record);
    s.last = record.outcome;
    s.figures.stage = LinkStage::Done;  // the bar shows the blocks the unit took
    s.figures.bytes = static_cast<qint64>(record.blocks) * 64;
    s.figures.total = blocksFor(config_.image.length());
    s.figures.repeats = record.repeats;
    s.message = record::heldDetailOf(record.shownMessage);  // under "retest limit: to repair"
    s.outcomeKept = true;
    // A held unit goes to repair: Start failed again would only hold it again.
    s.lastFailed = record::isFailedAttempt(record::outcomeName(record.outcome));
    s.secondsLeft = -1;
    counters_.count(record.serial, record::outcomeName(record.outcome), record.started, record.id);
    emit countersChanged();
    serialUsed(k, record.serial);
    flagLoadedSerials();
    updateLook(k);
    emit sessionEnded(k, line);
    if (!anyRunning()) {
        progressTimer_.stop();
        emit allIdle();
    }
}

void StationModel::refreshRunning() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int k = 0; k < count(); ++k) {
        SlotState& s = *slots_[static_cast<size_t>(k)];
        const gang::Unit* unit = s.session ? s.session.get()
                                 : s.watch ? s.watch->session()
                                           : nullptr;
        if (s.phase != SlotPhase::Running || !unit) continue;
        s.figures = unit->progress();
        s.secondsLeft = secondsLeft(s.figures, unit->transferStartMs(), now);
        updateLook(k);
    }
}

void StationModel::updateLook(int k) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.look = slotLook(s.phase, s.figures, s.last, s.outcomeKept, s.answering);
    emit slotChanged(k);
}

void StationModel::refreshPresence() {
    if (config_.source == SlotSource::Adapters) {
        QList<Slot> list;
        for (const auto& s : slots_) list << s->slot;
        const int before = count();
        rescanAdapters(list, config_.serialRoot);
        for (int k = before; k < list.size(); ++k) {
            slots_.push_back(std::make_unique<SlotState>());
            slots_.back()->slot = list[k];
            emit slotAdded(k);
            if (watching()) watch(k);
        }
    }
    for (int k = 0; k < count(); ++k) {
        SlotState& s = *slots_[static_cast<size_t>(k)];
        const bool present = !slotDevice(s.slot).isEmpty();
        const SlotPhase was = s.phase;
        const SlotPhase idle = s.watch ? SlotPhase::Listening : SlotPhase::Ready;
        if (!present && s.phase == idle) s.phase = SlotPhase::Absent;
        if (present && s.phase == SlotPhase::Absent) s.phase = idle;
        if (s.phase != was || s.look.status.isEmpty()) updateLook(k);
    }
}

// A log that refuses records stops new sessions (those loading finish and
// their records wait in memory); once it takes them, Auto-start goes on.
void StationModel::onLogChanged() {
    applyWatching();
    emit logChanged();
}

void StationModel::setPushNote(const QString& note) {
    pushNote_ = note;
    emit logChanged();
}

void StationModel::setAutoStart(bool on) {
    if (on == autoStart_) return;
    autoStart_ = on;
    applyWatching();
}

// Each slot watched, or its watch ending, as Auto-start and the log allow.
void StationModel::applyWatching() {
    for (int k = 0; k < count(); ++k) {
        SlotState& s = *slots_[static_cast<size_t>(k)];
        if (!watching() && s.watch) s.watch->finishThenStop();
        if (watching() && s.watch) s.watch->resume();  // else it is re-made once it has stopped
        if (watching() && !s.watch && !s.session) watch(k);
    }
}

void StationModel::watch(int k) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    s.watch = std::make_unique<gang::Watch>(
        k, [this, k] { return jobFor(k); }, config_.timing);
    connect(s.watch.get(), &gang::Watch::phaseChanged, this, &StationModel::onWatchPhase);
    connect(s.watch.get(), &gang::Watch::sessionEnded, this, &StationModel::recordSession);
    connect(s.watch.get(), &gang::Watch::answering, this, &StationModel::onAnswering);
    s.watch->setMayLoad([this, k] { return mayLoad(k); });
    s.watch->start();
}

// The watch tells only once the socket has answered longer than a unit
// taken out as its session ended would have taken to be seen gone, at the
// pace that unit allows: then it was left in, or swapped for the next one
// faster than the probes could tell. The tile's count moves once a second,
// not at every probe.
void StationModel::onAnswering(int k, int seconds) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    if (seconds == s.answering) return;
    s.answering = seconds;
    if (s.phase == SlotPhase::Remove) updateLook(k);
}

void StationModel::onWatchPhase(int k, gang::Watch::Phase phase) {
    SlotState& s = *slots_[static_cast<size_t>(k)];
    using P = gang::Watch::Phase;
    if (phase != P::Remove) s.answering = -1;
    switch (phase) {
        case P::Listening:
            s.phase = slotDevice(s.slot).isEmpty() ? SlotPhase::Absent : SlotPhase::Listening;
            break;
        case P::Loading:
            s.phase = SlotPhase::Running;
            s.figures = SessionProgress{};
            s.message.clear();
            s.outcomeKept = false;
            progressTimer_.start();
            break;
        case P::Holding:
            s.phase = SlotPhase::Ended;
            break;
        case P::Remove:
            s.phase = SlotPhase::Remove;
            break;
        case P::Held:
            s.phase = SlotPhase::NeedsSerial;
            break;
        case P::Stopped:
            s.watch.release()->deleteLater();  // its signal is on the stack
            s.phase = s.phase == SlotPhase::Running || s.phase == SlotPhase::Ended
                          ? SlotPhase::Ended
                          : SlotPhase::Ready;
            break;
    }
    updateLook(k);
    // Auto-start came on again while this watch was ending: watch afresh.
    if (phase == P::Stopped && watching()) watch(k);
}

}  // namespace quarn::station
