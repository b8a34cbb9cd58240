#include "station/slot_status.h"

#include "flash/flash_record.h"

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

QString runningText(const SessionFigures& f) {
    switch (f.stage) {
        case LinkStage::Idle:
        case LinkStage::QuietLine:
            return QStringLiteral("quiet line");
        case LinkStage::Handshake:
            return QStringLiteral("handshake");
        case LinkStage::Pause:
            return QStringLiteral("pause");
        case LinkStage::Login:
            return QStringLiteral("login");
        case LinkStage::Transfer:
        case LinkStage::Done:
            break;
    }
    return QStringLiteral("block %1 of %2").arg(qMin(f.block + 1, f.total)).arg(f.total);
}

QString endedText(SessionOutcome outcome) {
    if (outcome == SessionOutcome::Good) return QStringLiteral("good");
    if (outcome == SessionOutcome::Interrupted) return QStringLiteral("stopped");
    return QStringLiteral("failed: ") + flash::outcomeName(outcome);
}

SlotLook slotLook(SlotPhase phase, const SessionFigures& figures, SessionOutcome last) {
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
    }
    return {};
}

int secondsLeft(const SessionFigures& f, qint64 nowMs) {
    if (f.stage != LinkStage::Transfer || f.transferStartMs == 0 || f.block <= 0) return -1;
    const double secs = (nowMs - f.transferStartMs) / 1000.0;
    if (secs < 0.5) return -1;
    return qRound((f.total - f.block) * secs / f.block);
}

}  // namespace quarn::station
