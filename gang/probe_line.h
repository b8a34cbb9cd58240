#pragma once
// A slot's line kept open for quick probes while a loaded unit is watched
// for its removal (gang/watch.h): a thread of its own with a link whose port
// stays open from one probe to the next, so a probe costs a write and a
// wait, not an open and close (lock file, line settings) each time.
//
// Contract
// - probe(device, replyMs, quietMs): one probe (link/unit_probe.h,
//   probeOpenLine) on device, opened first unless the port is already open
//   on the device the path leads to now (a link pointed elsewhere is
//   followed). With quietMs, the line has sent nothing and heard nothing for
//   that long before the handshake goes out: counted from the line's last
//   handshake or the last byte it heard (bytes waiting as the probe begins
//   count as heard then), or from the line's making (a session had the port
//   just before). A unit that keeps sending keeps a safe probe waiting. probed()
//   follows on the owner's thread, once per probe; one probe at a time.
// - Each report says when the handshake went out (the line's own clock,
//   QDeadlineTimer::current()), so the owner can tell how long after an
//   answered probe the next one came.
// - A port the far end hung up (a USB adapter pulled, a pseudo-terminal
//   closed) is closed at once by the serial layer, even between probes; that
//   probe, or the next, gives PortFailed, and the one after opens it afresh.
// - Destroying the ProbeLine stops a probe under way, closes the port on the
//   line's own thread and waits for that thread: the port is free for a
//   session as soon as the destructor returns.

#include <QObject>
#include <QThread>
#include <atomic>

#include "link/unit_probe.h"

namespace quarn::gang {

class ProbeLineWorker;

struct ProbeReport {
    ProbeResult result = ProbeResult::Stopped;
    qint64 sentMs = -1;  // when the handshake went out (ms, steady clock); -1: it did not
};

class ProbeLine : public QObject {
    Q_OBJECT
public:
    explicit ProbeLine(QObject* parent = nullptr);
    ~ProbeLine() override;

    void probe(const QString& device, int replyMs, int quietMs = 0);

signals:
    void probed(quarn::gang::ProbeReport report);
    void probeRequested(const QString& device, int replyMs, int quietMs);  // to the line's thread

private:
    QThread thread_;
    ProbeLineWorker* worker_ = nullptr;
    std::atomic<bool> closing_{false};
};

}  // namespace quarn::gang

Q_DECLARE_METATYPE(quarn::gang::ProbeReport)
