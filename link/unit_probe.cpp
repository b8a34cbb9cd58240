#include "link/unit_probe.h"

namespace quarn {

ProbeResult probeUnit(SessionLink& link, const QString& device) {
    if (link.openDevice(device) == SessionLink::OpenResult::Failed) return ProbeResult::PortFailed;
    const LinkResult r = link.handshake();
    link.closePort();
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

ProbeResult probeOpenLine(SessionLink& link, int replyMs) {
    if (!link.portOpen()) return ProbeResult::PortFailed;
    link.flushInput();
    link.write(QByteArray("\xAA\x55\xAA", 3));
    link.waitUntil([&] { return !link.portOpen() || link.bytesWaiting() > 0; },
                   QDeadlineTimer(replyMs));
    if (link.stopRequested() || link.closing()) return ProbeResult::Stopped;
    if (!link.portOpen()) return ProbeResult::PortFailed;
    return link.bytesWaiting() > 0 ? ProbeResult::Answered : ProbeResult::Silent;
}

}  // namespace quarn
