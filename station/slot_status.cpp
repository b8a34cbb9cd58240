#include "station/slot_status.h"

#include "gang/unit_record.h"
#include "link/stage_text.h"

namespace quarn::station {

QString colourName(TileColour colour) {
    switch (colour) {
        case TileColour::Idle:
            return QStringLiteral("idle");
        case TileColour::Running:
            return QStringLiteral("running");
        case TileColour::Good:
            return QStringLiteral("good");
        case TileColour::Failed:
            return QStringLiteral("failed");
    }
    return QString();
}

unsigned colourRgb(TileColour colour) {
    switch (colour) {
        case TileColour::Running:
            return 0xbcd7f5;  // light blue
        case TileColour::Good:
            return 0x9be39b;  // green
        case TileColour::Failed:
            return 0xf29a9a;  // red
        case TileColour::Idle:
            break;
    }
    return 0xdcdcdc;  // grey
}

QString runningText(const SessionProgress& f) {
    // Opening the port takes no time worth a word; a finished transfer still
    // shows its last block until the record arrives.
    LinkStage stage = f.stage == LinkStage::Idle ? LinkStage::QuietLine : f.stage;
    if (stage == LinkStage::Done) stage = LinkStage::Transfer;
    return stageText(stage, f.answered(), f.total);
}

QString endedText(SessionOutcome outcome) {
    if (outcome == SessionOutcome::Good) return QStringLiteral("good");
    if (outcome == SessionOutcome::Interrupted) return QStringLiteral("stopped");
    return QStringLiteral("failed: ") + gang::outcomeName(outcome);
}

SlotLook slotLook(SlotPhase phase, const SessionProgress& figures, SessionOutcome last) {
    const TileColour ended = last == SessionOutcome::Good          ? TileColour::Good
                             : last == SessionOutcome::Interrupted ? TileColour::Idle
                                                                   : TileColour::Failed;
    switch (phase) {
        case SlotPhase::Absent:
            return {QStringLiteral("not plugged in"), TileColour::Idle};
        case SlotPhase::Ready:
            return {QStringLiteral("ready"), TileColour::Idle};
        case SlotPhase::Listening:
            return {QStringLiteral("waiting for a unit"), TileColour::Idle};
        case SlotPhase::Running:
            return {runningText(figures), TileColour::Running};
        case SlotPhase::Ended:
            return {endedText(last), ended};
        case SlotPhase::Remove:
            return {QStringLiteral("remove the unit"), ended};
        case SlotPhase::NeedsSerial:
            return {QStringLiteral("scan a serial number"), TileColour::Idle};
    }
    return {};
}

int secondsLeft(const SessionProgress& f, qint64 transferStartMs, qint64 nowMs) {
    const int answered = f.answered();
    if (f.stage != LinkStage::Transfer || transferStartMs == 0 || answered <= 0) return -1;
    const double secs = (nowMs - transferStartMs) / 1000.0;
    if (secs < 0.5) return -1;
    return qRound((f.total - answered) * secs / answered);
}

}  // namespace quarn::station
