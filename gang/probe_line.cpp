#include "gang/probe_line.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <memory>

namespace quarn::gang {

// Lives on the line's thread: the link and its port are made and closed there.
class ProbeLineWorker : public QObject {
    Q_OBJECT
public:
    explicit ProbeLineWorker(const std::atomic<bool>& closing) : closing_(closing) {
        quietSince_.start();
    }
    void probe(const QString& device, int replyMs, int quietMs);
    void stop() {
        if (link_) link_->requestStop();
    }
    // Closes the port on this thread. A probe's wait runs this thread's
    // events, so a shutdown that arrives during it waits for the probe's end:
    // the link is never destroyed under a wait that still uses it.
    void shutdown() {
        if (probing_)
            shutdownAfterProbe_ = true;
        else
            release();
    }

signals:
    void done(quarn::gang::ProbeReport report);

private:
    // What the line's thread made is freed there: the owner's wait for the
    // thread is no hand-over a thread checker can see.
    void release() {
        link_.reset();
        openOn_.clear();
    }
    ProbeResult probeOn(const QString& device, int replyMs, int quietMs);
    void keepQuiet(int quietMs);
    bool ensureOpen(const QString& device);

    const std::atomic<bool>& closing_;
    std::unique_ptr<SessionLink> link_;
    bool probing_ = false;
    bool shutdownAfterProbe_ = false;
    QString openOn_;            // the device the open port is, symlinks resolved
    QElapsedTimer quietSince_;  // since the line's last handshake or byte heard (or its making)
    qint64 sentMs_ = -1;        // when this probe's handshake went out
};

// The port open on the device the path leads to now.
bool ProbeLineWorker::ensureOpen(const QString& device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!link_) {
        link_ = std::make_unique<SessionLink>();
        link_->setClosing([this] { return closing_.load(); });
    }
    if (link_->portOpen() && target == openOn_) return true;
    if (link_->portOpen()) link_->closePort();
    if (target.isEmpty()) return false;  // nothing there now
    openOn_ = target;
    return link_->openDevice(device) == SessionLink::OpenResult::Opened;
}

// Nothing sent, and nothing heard, for quietMs: a unit that still sends (a
// late reply, lines of its own) may count that as activity and wait longer
// before it hears a handshake. Bytes already waiting count as heard now.
void ProbeLineWorker::keepQuiet(int quietMs) {
    for (;;) {
        if (!link_->takeInput().isEmpty()) quietSince_.start();
        const qint64 left = quietMs - quietSince_.elapsed();
        if (left <= 0 || !link_->portOpen()) return;
        link_->waitUntil([this] { return link_->bytesWaiting() > 0 || !link_->portOpen(); },
                         QDeadlineTimer(left));
        if (link_->stopRequested() || closing_) return;
    }
}

void ProbeLineWorker::probe(const QString& device, int replyMs, int quietMs) {
    probing_ = true;
    sentMs_ = -1;
    const ProbeResult result = probeOn(device, replyMs, quietMs);
    probing_ = false;
    if (shutdownAfterProbe_) release();
    emit done({result, sentMs_});
}

ProbeResult ProbeLineWorker::probeOn(const QString& device, int replyMs, int quietMs) {
    if (closing_) return ProbeResult::Stopped;
    if (!ensureOpen(device)) return ProbeResult::PortFailed;
    link_->beginSession();
    if (quietMs > 0) keepQuiet(quietMs);
    if (link_->stopRequested() || closing_) return ProbeResult::Stopped;
    sentMs_ = QDeadlineTimer::current().deadline();
    quietSince_.start();
    return probeOpenLine(*link_, replyMs);
}

ProbeLine::ProbeLine(QObject* parent) : QObject(parent) {
    qRegisterMetaType<quarn::gang::ProbeReport>();
    worker_ = new ProbeLineWorker(closing_);
    worker_->moveToThread(&thread_);
    connect(worker_, &ProbeLineWorker::done, this, &ProbeLine::probed, Qt::QueuedConnection);
    connect(this, &ProbeLine::probeRequested, worker_, &ProbeLineWorker::probe,
            Qt::QueuedConnection);
    thread_.start();
}

ProbeLine::~ProbeLine() {
    closing_ = true;
    // In this order on the line's thread: a probe under way ends, then the port closes.
    QMetaObject::invokeMethod(worker_, &ProbeLineWorker::stop, Qt::QueuedConnection);
    QMetaObject::invokeMethod(worker_, &ProbeLineWorker::shutdown, Qt::QueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
}

// A queued signal, not a queued functor: Qt copies the arguments into its
// event, handed to the line's thread under its event queue's lock.
void ProbeLine::probe(const QString& device, int replyMs, int quietMs) {
    emit probeRequested(device, replyMs, quietMs);
}

}  // namespace quarn::gang

#include "probe_line.moc"
