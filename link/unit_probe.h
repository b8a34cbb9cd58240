#pragma once
// Whether a unit is on the line: the port opened, the quiet line and the
// handshake as a session begins, and the port closed again. Nothing more is
// sent, so a unit that answers is not loaded. A stop (Program_kill, or the
// owner closing) ends the probe as Stopped.

#include <QString>

#include "link/download_link.h"

namespace quarn {

enum class ProbeResult {
    Answered,    // a reply came, right or wrong: something is on the line
    Silent,      // no reply within the time-out
    PortFailed,  // the port did not open (pulled, or held by another program)
    Stopped,
};

// On link (ticker started); the port is closed when this returns.
ProbeResult probeUnit(DownloadLink& link, const QString& device);

}  // namespace quarn
