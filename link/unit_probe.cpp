#include "link/unit_probe.h"

namespace quarn {

namespace {
const QByteArray kHandshake("\xAA\x55\xAA", 3);
}

ProbeResult probeUnit(SessionLink& link, const QString& device) {
    if (link.openDevice(device) == SessionLink::OpenResult::Failed) return ProbeResult::PortFailed;
    const LinkResult r = link.handshake();
    link.closePort();
    switch (r) {
        case LinkResult::Ok:
            return ProbeResult::Answered;
        case LinkResult::WrongReply:
            return ProbeResult::Noise;
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
    link.write(kHandshake);
    QByteArray tail;  // the last bytes that came back, enough to find an echo split across reads
    bool any = false, echo = false;
    link.waitUntil(
        [&] {
            const QByteArray in = link.takeInput();
            any = any || !in.isEmpty();
            tail = tail.right(kHandshake.size() - 1) + in;
            echo = echo || tail.contains(kHandshake);
            return echo || !link.portOpen();
        },
        QDeadlineTimer(replyMs));
    if (echo) return ProbeResult::Answered;
    if (link.stopRequested() || link.closing()) return ProbeResult::Stopped;
    if (!link.portOpen()) return ProbeResult::PortFailed;
    return any ? ProbeResult::Noise : ProbeResult::Silent;
}

}  // namespace quarn
