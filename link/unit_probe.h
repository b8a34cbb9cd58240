#pragma once
// Whether a unit is on the line.
//
// probeUnit: the port opened, the quiet line and the handshake as a session
// begins, and the port closed again. Nothing more is sent, so a unit that
// answers is not loaded. A stop (requestStop, or the owner closing) ends
// the probe as Stopped.
//
// probeOpenLine: the handshake alone on a port the caller keeps open between
// probes, the reply awaited only as long as a unit takes to give it (see
// kProbeReplyTicks). For watching a unit that was just loaded, whose line
// needs no quiet: the unit is waiting for a handshake, or takes one as the
// start of a new session.

#include <QString>

#include "link/session_link.h"

namespace quarn {

enum class ProbeResult {
    Answered,    // a reply came, right or wrong: something is on the line
    Silent,      // no reply within the time-out
    PortFailed,  // the port did not open (pulled, or held by another program), or was lost
    Stopped,
};

// A unit's echo of the handshake takes 6 bytes on the wire, 6.25 ms at 9600
// bit/s; one tick of the link's ticker (250 ms) is forty times that, yet an
// eighth of the handshake's own time-out period (8 ticks).
constexpr int kProbeReplyTicks = 1;

// On link (ticker started); the port is closed when this returns.
ProbeResult probeUnit(SessionLink& link, const QString& device);

// On link, whose port is open: the receive buffer emptied (a late reply to
// an earlier probe is no answer to this one), the handshake sent, and
// Answered as soon as a first reply byte is in, Silent after replyMs without
// one. A port lost meanwhile (the far end hung up) is closed by the serial
// layer and gives PortFailed. Needs no ticker.
ProbeResult probeOpenLine(SessionLink& link, int replyMs);

}  // namespace quarn
