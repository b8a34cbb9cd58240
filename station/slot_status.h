#pragma once
// What a slot's tile says: its phase, the status line's text, the colour of
// its state and the symbol beside it. The texts are the station's own, in
// English as they stand here and through the operator's catalogue
// (translations/) in other languages; each language's texts are fixed.

#include <QString>
#include <QStringList>

#include "link/download_link.h"
#include "link/download_session.h"

namespace quarn::station {

enum class SlotPhase {
    Absent,       // "not plugged in"
    Ready,        // "ready"
    Listening,    // Auto-start: "waiting for a unit"
    Running,      // "quiet line", "handshake", "pause", "login", "block K of N"
    Ended,        // "good", "failed: OUTCOME", "stopped", "retest limit: to repair"
    Remove,       // Auto-start after a session: "remove the unit"
    NeedsSerial,  // Auto-start: a unit answers but no serial number is scanned yet:
                  // "scan a serial number"
};

enum class TileColour { Idle, Running, Good, Failed };

// The shape beside the colour, so that the state reads without colour:
// waiting (nothing loading), loading, good, failed.
enum class SlotSymbol { Waiting, Loading, Good, Failed };
QString symbolName(SlotSymbol symbol);  // "waiting", "loading", "good", "failed"

// The colour's name ("idle", "running", "good", "failed") and its paint.
QString colourName(TileColour colour);
unsigned colourRgb(TileColour colour);

// The status line while a session runs: the stage, or the block being sent.
QString runningText(const SessionProgress& progress);
// The status line after a session: "good", "failed: OUTCOME", "stopped";
// a unit the retest limit held: "retest limit: to repair".
QString endedText(record::SessionOutcome outcome);

struct SlotLook {
    QString status;
    TileColour colour = TileColour::Idle;
    SlotSymbol symbol = SlotSymbol::Waiting;
};
// phase and, for Running, the figures; for Ended and Remove, the last
// outcome. The last outcome's colour and symbol stay in every phase but
// Running while kept: from its record until the slot's next unit starts.
// answering: for Remove, the seconds the socket has answered since the
// session ended (-1: not known yet), said beside "remove the unit" so that a
// unit swapped in faster than its removal could be seen is plain to see.
SlotLook slotLook(SlotPhase phase, const SessionProgress& progress, record::SessionOutcome last,
                  bool kept = false, int answering = -1);

// Every status text a tile may show, "block K of N" with the widest
// figures of the full image: what a tile's status line must have room for.
QStringList statusSamples();

// Seconds left of the transfer at its pace since transferStartMs; -1 while unknown.
int secondsLeft(const SessionProgress& progress, qint64 transferStartMs, qint64 nowMs);

}  // namespace quarn::station
