#include "link/unit_probe.h"

#include <QTimer>

namespace quarn {

ProbeResult probeUnit(DownloadLink& link, const QString& device) {
    if (link.OpenDevice(device) == DownloadLink::OpenResult::Failed) return ProbeResult::PortFailed;
    const LinkResult r = link.SendHandshake();
    link.MSComm1.setPortOpen(false);
    switch (r) {
        case LinkResult::Ok:
        case LinkResult::WrongReply:
            return ProbeResult::Answered;
        case LinkResult::NoReply:
            return ProbeResult::Silent;
        case LinkResult::Stopped:
        case LinkResult::Closing:
            break;
    }
    return ProbeResult::Stopped;
}

ProbeResult probeOpenLine(DownloadLink& link, int replyMs) {
    SerialPort& port = link.MSComm1;
    if (!port.portOpen()) return ProbeResult::PortFailed;
    port.setInputLen(0);
    port.input();
    port.output(QByteArray("\xAA\x55\xAA", 3));
    port.sendQueued();
    QTimer deadline;  // also the event that ends the wait when nothing comes
    deadline.setSingleShot(true);
    deadline.start(replyMs);
    const auto waiting = [&] {
        return port.portOpen() && port.inBufferCount() == 0 && deadline.isActive() &&
               !link.Program_kill && !link.closing();
    };
    while (waiting()) link.yield();
    if (link.Program_kill || link.closing()) return ProbeResult::Stopped;
    if (!port.portOpen()) return ProbeResult::PortFailed;
    return port.inBufferCount() > 0 ? ProbeResult::Answered : ProbeResult::Silent;
}

}  // namespace quarn
