#include "gang/unit.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>

#include "link/unit_probe.h"

namespace quarn::gang {

namespace {

// Turns the session's steps into the record's message.
class RecordObserver : public SessionObserver {
public:
    explicit RecordObserver(DownloadLink& link) : link_(link) {}
    QString message;
    void fileRefused(const QString& why) override { message = why; }
    void portFailed(const QString& why) override { message = why; }
    void handshakeFailed(LinkResult r) override { message = link_.failureText(r); }
    void loginFailed(LinkResult r) override { message = link_.failureText(r); }
    void transferFailed(LinkResult r) override { message = link_.failureText(r); }

private:
    DownloadLink& link_;
};

}  // namespace

// Lives on the unit's thread: runs the session there and hands the record
// back to the Unit's thread.
class UnitWorker : public QObject {
    Q_OBJECT
public:
    explicit UnitWorker(Unit& unit) : unit_(unit) {}
    // The unit's thread: the running session, if any, stops.
    void stop() {
        if (link_) link_->Program_kill = true;
    }
    void run();

signals:
    void done(const quarn::gang::UnitRecord& record);

private:
    void runSession(UnitRecord& rec);
    void runProbe(UnitRecord& rec);

    Unit& unit_;
    QPointer<DownloadLink> link_;
};

void UnitWorker::runSession(UnitRecord& rec) {
    const UnitJob& job = unit_.job_;
    DownloadLink link;
    link_ = &link;
    link.maxRepeats = job.maxRepeats;
    link.closing = [this] { return unit_.stop_.load(); };
    link.onProgress = [this](const SessionProgress& p) { unit_.publish(p); };
    link.clearMonitors();
    link.startTicker();
    QFile file;
    RecordObserver observer(link);
    const SessionRequest request{0, job.device, job.filePath, job.downloadLength, job.image};
    rec.outcome = quarn::runSession(link, file, request, observer);
    rec.message = observer.message;
    if (unit_.stop_ && rec.outcome != SessionOutcome::Good) {
        rec.outcome = SessionOutcome::Interrupted;
        rec.message = link.failureText(LinkResult::Stopped);
    }
    link.MSComm1.setPortOpen(false);
    rec.blocks = link.blocksSent;
    rec.repeats = link.repeats;
    rec.sha256 = link.sentDigest();
    link_ = nullptr;
}

void UnitWorker::runProbe(UnitRecord& rec) {
    DownloadLink link;
    link_ = &link;
    link.closing = [this] { return unit_.stop_.load(); };
    link.onProgress = [this](const SessionProgress& p) { unit_.publish(p); };
    link.startTicker();
    switch (probeUnit(link, unit_.job_.device)) {
        case ProbeResult::Answered:
            rec.outcome = SessionOutcome::Good;
            break;
        case ProbeResult::Silent:
            rec.outcome = SessionOutcome::Handshake;
            break;
        case ProbeResult::PortFailed:
            rec.outcome = SessionOutcome::Port;
            rec.message = link.MSComm1.errorString();
            break;
        case ProbeResult::Stopped:
            rec.outcome = SessionOutcome::Interrupted;
            break;
    }
    link_ = nullptr;
}

void UnitWorker::run() {
    const UnitJob& job = unit_.job_;
    UnitRecord rec;
    rec.port = job.port;
    rec.device = job.device;
    rec.file = job.filePath;
    rec.length = job.downloadLength;
    rec.started = QDateTime::currentDateTimeUtc();
    QElapsedTimer clock;
    clock.start();
    if (job.device.isEmpty()) {
        rec.outcome = SessionOutcome::Port;
        rec.message = job.deviceProblem;
    } else if (unit_.stop_) {
        rec.outcome = SessionOutcome::Interrupted;
        rec.message = QStringLiteral("Stopped before the session began.");
    } else if (job.probeOnly) {
        runProbe(rec);
    } else {
        runSession(rec);
    }
    if (rec.sha256.isEmpty()) rec.sha256 = QCryptographicHash::hash({}, QCryptographicHash::Sha256);
    rec.seconds = clock.nsecsElapsed() / 1e9;
    emit done(rec);
}

Unit::Unit(int slot, UnitJob job, QObject* parent)
    : QObject(parent), slot_(slot), job_(std::move(job)) {
    qRegisterMetaType<UnitRecord>();
    qRegisterMetaType<SessionProgress>();
    worker_ = new UnitWorker(*this);
    worker_->moveToThread(&thread_);
    connect(worker_, &UnitWorker::done, this, [this](const UnitRecord& record) {
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
    // Queued to the owner's thread, as the Unit lives there.
    QMetaObject::invokeMethod(
        this, [this, progress] { emit progressed(slot_, progress); }, Qt::QueuedConnection);
}

}  // namespace quarn::gang

#include "unit.moc"
