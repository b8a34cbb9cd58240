#include "link/unit_probe.h"

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

}  // namespace quarn
