#pragma once
// Whether a unit is on the line.
//
// probeUnit: the port opened, the quiet line and the handshake as a session
// begins, and the port closed again. Nothing more is sent, so a unit that
// answers is not loaded. A stop (requestStop, or the owner closing) ends
// the probe as Stopped.
//
// probeOpenLine: the handshake alone on a port the caller keeps open between
// probes, its echo awaited only as long as a unit takes to give it
// (kProbeReplyTicks). Sent at any moment it is a quick probe, which only a
// unit that takes a handshake in the middle of a login can answer; sent after
// a quiet line (the caller's part) it is a safe probe, which every unit
// answers that goes back to waiting for a handshake once its line is quiet.

#include <QString>

#include "link/session_link.h"

namespace quarn {

enum class ProbeResult {
    Answered,    // the handshake's echo came back: a unit took it
    Silent,      // nothing came back within the time-out
    Noise,       // bytes came back, but no echo: a unit's own chatter or line noise; tells nothing
    PortFailed,  // the port did not open (pulled, or held by another program), or was lost
    Stopped,
};

// A unit's echo of the handshake takes 6 bytes on the wire, 6.25 ms at 9600
// bit/s; one tick of the link's ticker (250 ms) is forty times that, yet an
// eighth of the handshake's own time-out period (8 ticks).
constexpr int kProbeReplyTicks = 1;

// On link (ticker started); the port is closed when this returns. A reply
// that is not the echo gives Noise.
ProbeResult probeUnit(SessionLink& link, const QString& device);

// On link, whose port is open: the receive buffer emptied (bytes that came
// before are no answer to this probe), the handshake sent, and
// Answered as soon as its echo is among the bytes that came back; after
// replyMs without it, Noise when bytes came, Silent when none did. A port
// lost meanwhile (the far end hung up) is closed by the serial layer and
// gives PortFailed. Needs no ticker.
ProbeResult probeOpenLine(SessionLink& link, int replyMs);

}  // namespace quarn
