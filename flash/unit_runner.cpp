#include "flash/unit_runner.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

namespace quarn::flash {

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

UnitRunner::UnitRunner(int index, UnitJob job) : index_(index), job_(std::move(job)) {}

void UnitRunner::requestStop() {
    stop_ = true;
    // Runs in the unit's thread; the event also wakes the link's wait.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (link_) link_->Program_kill = true;
        },
        Qt::QueuedConnection);
}

void UnitRunner::publish() {
    DownloadLink& l = *link_;
    if (l.stage == LinkStage::Transfer && transferStartMs == 0)
        transferStartMs = QDateTime::currentMSecsSinceEpoch();
    stage = static_cast<int>(l.stage);
    blockNumber = l.blockNumber;
    blockTotal = l.blockTotal;
    repeats = l.repeats;
    // A block counts as done once answered; blocksSent counts it from its first send.
    const int done = l.stage == LinkStage::Done ? l.blocksSent : qMax(0, l.blockNumber - 1);
    blocksSent = done;
    const int quarter = l.blockTotal > 0 ? done * 4 / l.blockTotal : 0;
    if (stage != lastStage_ || quarter != lastQuarter_) {
        lastStage_ = stage;
        lastQuarter_ = quarter;
        emit stageReached(index_, stage, done, l.blockTotal);
    }
}

void UnitRunner::run() {
    UnitRecord rec;
    rec.port = job_.target.port;
    rec.device = job_.target.device;
    rec.file = job_.filePath;
    rec.length = job_.downloadLength;
    rec.started = QDateTime::currentDateTimeUtc();
    QElapsedTimer clock;
    clock.start();

    if (job_.target.device.isEmpty()) {
        rec.outcome = SessionOutcome::Port;
        rec.message = job_.target.why;
    } else if (stop_) {
        rec.outcome = SessionOutcome::Interrupted;
        rec.message = QStringLiteral("Stopped before the session began.");
    } else {
        DownloadLink link;
        link_ = &link;
        link.maxRepeats = job_.maxRepeats;
        link.closing = [this] { return stop_.load(); };
        link.onProgress = [this] { publish(); };
        link.clearMonitors();
        link.startTicker();
        QFile file;
        RecordObserver observer(link);
        const SessionRequest request{0, job_.target.device, job_.filePath, job_.downloadLength,
                                     job_.image};
        rec.outcome = runSession(link, file, request, observer);
        rec.message = observer.message;
        if (stop_ && rec.outcome != SessionOutcome::Good) {
            rec.outcome = SessionOutcome::Interrupted;
            rec.message = link.failureText(LinkResult::Stopped);
        }
        link.MSComm1.setPortOpen(false);
        rec.blocks = link.blocksSent;
        rec.repeats = link.repeats;
        rec.sha256 = link.sentDigest();
        link_ = nullptr;
    }
    if (rec.sha256.isEmpty()) rec.sha256 = QCryptographicHash::hash({}, QCryptographicHash::Sha256);
    rec.seconds = clock.nsecsElapsed() / 1e9;
    emit finished(index_, rec);
}

}  // namespace quarn::flash
