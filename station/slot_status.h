#pragma once
// What a slot's tile says: its phase, the status line's text and the colour
// of its state. The texts are the station's own and are used as they stand.

#include <QString>

#include "link/download_link.h"
#include "link/download_session.h"

namespace quarn::station {

enum class SlotPhase {
    Absent,       // "not plugged in"
    Ready,        // "ready"
    Listening,    // Auto-start: "waiting for a unit"
    Running,      // "quiet line", "handshake", "pause", "login", "block K of N"
    Ended,        // "good", "failed: OUTCOME", "stopped"
    Remove,       // Auto-start after a session: "remove the unit"
    NeedsSerial,  // Auto-start: a unit answers but no serial number is scanned yet:
                  // "scan a serial number"
};

enum class TileColour { Idle, Running, Good, Failed };

// The colour's name ("idle", "running", "good", "failed") and its paint.
QString colourName(TileColour colour);
unsigned colourRgb(TileColour colour);

// The status line while a session runs: the stage, or the block being sent.
QString runningText(const SessionProgress& progress);
// The status line after a session: "good", "failed: OUTCOME", "stopped".
QString endedText(SessionOutcome outcome);

struct SlotLook {
    QString status;
    TileColour colour = TileColour::Idle;
};
// phase and, for Running, the figures; for Ended and Remove, the last outcome.
SlotLook slotLook(SlotPhase phase, const SessionProgress& progress, SessionOutcome last);

// Seconds left of the transfer at its pace since transferStartMs; -1 while unknown.
int secondsLeft(const SessionProgress& progress, qint64 transferStartMs, qint64 nowMs);

}  // namespace quarn::station
