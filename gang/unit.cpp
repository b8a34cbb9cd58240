#include "gang/unit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include "core/logging.h"
#include "gang/session_record.h"
#include "link/unit_probe.h"
#include "record/outcome.h"

namespace quarn::gang {

// Lives on the unit's thread: runs the session there and hands the record
// back to the Unit's thread.
class UnitWorker : public QObject {
    Q_OBJECT
public:
    explicit UnitWorker(Unit& unit) : unit_(unit) {}
    // The unit's thread: the running session, if any, stops.
    void stop() {
        if (link_) link_->requestStop();
    }
    void run();

signals:
    void done(const quarn::record::UnitRecord& record);

private:
    SessionResult runSession();
    SessionResult runProbe();

    Unit& unit_;
    SessionLink* link_ = nullptr;  // the running session's or probe's, on this thread
};

SessionResult UnitWorker::runSession() {
    const UnitJob& job = unit_.job_;
    SessionLink link;
    link_ = &link;
    link.setMaxRepeats(job.maxRepeats);
    // A stopped unit is abandoned: nothing more goes out, not even the login
    // after the pause (the window's Cancel still sends it).
    link.setClosing([this] { return unit_.stop_.load(); });
    link.setOnProgress([this](const SessionProgress& p) { unit_.publish(p); });
    link.clearMonitors();
    link.startTicker();
    QFile file;
    SessionObserver quiet;
    const SessionRequest request{0, job.device, job.image};
    qCDebug(lcGang).noquote() << job.device << "session begins";
    const SessionResult result = quarn::runSession(link, file, request, quiet);
    qCDebug(lcGang).noquote().nospace()
        << job.device << " session ends: " << record::outcomeName(result.outcome) << " at block "
        << result.block << " of " << result.total << ", " << result.repeats << " repeat(s)";
    link.closePort();
    link_ = nullptr;
    return result;
}

// A session that never began: its result says why.
SessionResult notBegun(const UnitJob& job, bool stopped) {
    SessionResult r;
    r.port = job.port;
    r.outcome = stopped ? record::SessionOutcome::Interrupted : record::SessionOutcome::Port;
    r.reason = stopped ? SessionReason::Stopped : SessionReason::PortFailed;
    static const char* const kStoppedEarly =
        QT_TRANSLATE_NOOP("Unit", "Stopped before the session began.");
    r.reasonText = stopped ? QString::fromUtf8(kStoppedEarly) : job.deviceProblem;
    r.reasonShown =
        stopped ? QCoreApplication::translate("Unit", kStoppedEarly) : job.deviceProblem;
    r.sha256 = QCryptographicHash::hash({}, QCryptographicHash::Sha256);
    return r;
}

// A unit the retest limit held: no port opened, nothing sent, its record
// says why (record/retest.h).
SessionResult heldResult(const UnitJob& job, const record::RetestWord& word) {
    SessionResult r = notBegun(job, false);
    r.outcome = record::SessionOutcome::Held;
    r.reason = SessionReason::None;
    r.reasonText = record::heldMessage(word, false);
    r.reasonShown = record::heldMessage(word, true);
    return r;
}

// Only whether a unit answers: good when one did, handshake when the line
// stayed silent, port when the port did not open, interrupted when nothing
// was learnt (a stop, or bytes that were no echo).
SessionResult UnitWorker::runProbe() {
    const UnitJob& job = unit_.job_;
    SessionLink link;
    link_ = &link;
    link.setClosing([this] { return unit_.stop_.load(); });
    link.setOnProgress([this](const SessionProgress& p) { unit_.publish(p); });
    link.startTicker();
    SessionResult r = notBegun(job, false);
    r.device = job.device;
    switch (probeUnit(link, job.device)) {
        case ProbeResult::Answered:
            r.outcome = record::SessionOutcome::Good;
            r.reason = SessionReason::None;
            break;
        case ProbeResult::Silent:
            r.outcome = record::SessionOutcome::Handshake;
            r.reason = SessionReason::NoReply;
            break;
        case ProbeResult::PortFailed:
            r.detail = link.portError();
            break;
        case ProbeResult::Noise:  // bytes, but no echo: nothing learnt, as after a stop
        case ProbeResult::Stopped:
            r.outcome = record::SessionOutcome::Interrupted;
            r.reason = SessionReason::Stopped;
            break;
    }
    r.reasonText = r.outcome == record::SessionOutcome::Port ? r.detail : QString();
    r.reasonShown = r.reasonText;
    link_ = nullptr;
    return r;
}

void UnitWorker::run() {
    const UnitJob& job = unit_.job_;
    const QDateTime started = QDateTime::currentDateTimeUtc();
    QElapsedTimer clock;
    clock.start();
    const bool asks = !job.device.isEmpty() && !job.probeOnly && job.retestCheck && !unit_.stop_;
    const record::RetestWord word = asks ? job.retestCheck(job.keys.serial) : record::RetestWord{};
    if (word.held && !unit_.stop_) {
        emit done(makeRecord(job, heldResult(job, word), started, 0));  // no session: no time
        return;
    }
    const bool begins = !job.device.isEmpty() && !unit_.stop_;
    const SessionResult result = !begins         ? notBegun(job, unit_.stop_)
                                 : job.probeOnly ? runProbe()
                                                 : runSession();
    emit done(makeRecord(job, result, started, clock.nsecsElapsed() / 1e9));
}

Unit::Unit(int slot, UnitJob job, QObject* parent)
    : QObject(parent), slot_(slot), job_(std::move(job)) {
    qRegisterMetaType<record::UnitRecord>();
    qRegisterMetaType<SessionProgress>();
    worker_ = new UnitWorker(*this);
    worker_->moveToThread(&thread_);
    connect(worker_, &UnitWorker::done, this, [this](const record::UnitRecord& record) {
        finished_ = true;
        thread_.quit();
        emit finished(slot_, record);
    });
}

Unit::~Unit() {
    requestStop();
    thread_.quit();
    thread_.wait();
    delete worker_;  // its thread has ended (or never ran): nothing of it runs now
}

void Unit::start() {
    thread_.start();
    QMetaObject::invokeMethod(worker_, &UnitWorker::run, Qt::QueuedConnection);
}

void Unit::requestStop() {
    stop_ = true;
    // Runs on the unit's thread; the event also wakes the link's wait. The
    // worker outlives every call, so a late one posts to a live object.
    QMetaObject::invokeMethod(worker_, &UnitWorker::stop, Qt::QueuedConnection);
}

SessionProgress Unit::progress() const {
    const QMutexLocker lock(&mutex_);
    return progress_;
}

void Unit::publish(const SessionProgress& progress) {
    if (progress.stage == LinkStage::Transfer && transferStartMs_ == 0)
        transferStartMs_ = QDateTime::currentMSecsSinceEpoch();
    {
        const QMutexLocker lock(&mutex_);
        progress_ = progress;
    }
    const bool answeredBlock =
        progress.stage == published_.stage && progress.repeats == published_.repeats;
    published_ = progress;
    if (answeredBlock && !job_.everyBlock) return;  // the owner reads progress() instead
    // Queued to the owner's thread, as the Unit lives there.
    QMetaObject::invokeMethod(
        this, [this, progress] { emit progressed(slot_, progress); }, Qt::QueuedConnection);
}

}  // namespace quarn::gang

#include "unit.moc"
