#include "station/slot_status.h"

#include <QCoreApplication>

#include "link/stage_text.h"
#include "record/retest.h"

namespace quarn::station {

namespace {

// An outcome as the status line names it ("failed: handshake"); the record
// keeps its own key (record::outcomeName), never translated.
QString outcomeText(record::SessionOutcome outcome) {
    switch (outcome) {
        case record::SessionOutcome::Input:
            return QCoreApplication::translate("Outcome", "input");
        case record::SessionOutcome::Port:
            return QCoreApplication::translate("Outcome", "port");
        case record::SessionOutcome::Handshake:
            return QCoreApplication::translate("Outcome", "handshake");
        case record::SessionOutcome::Login:
            return QCoreApplication::translate("Outcome", "login");
        case record::SessionOutcome::Transfer:
            return QCoreApplication::translate("Outcome", "transfer");
        case record::SessionOutcome::Good:
        case record::SessionOutcome::Interrupted:
        case record::SessionOutcome::Held:
            break;
    }
    return QString();
}

}  // namespace

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

QString symbolName(SlotSymbol symbol) {
    switch (symbol) {
        case SlotSymbol::Waiting:
            return QStringLiteral("waiting");
        case SlotSymbol::Loading:
            return QStringLiteral("loading");
        case SlotSymbol::Good:
            return QStringLiteral("good");
        case SlotSymbol::Failed:
            return QStringLiteral("failed");
    }
    return QString();
}

QString runningText(const SessionProgress& f) {
    // Opening the port takes no time worth a word; a finished transfer still
    // shows its last block until the record arrives.
    LinkStage stage = f.stage == LinkStage::Idle ? LinkStage::QuietLine : f.stage;
    if (stage == LinkStage::Done) stage = LinkStage::Transfer;
    return stageText(stage, f.answered(), f.total);
}

QString endedText(record::SessionOutcome outcome) {
    if (outcome == record::SessionOutcome::Good)
        return QCoreApplication::translate("SlotStatus", "good");
    if (outcome == record::SessionOutcome::Interrupted)
        return QCoreApplication::translate("SlotStatus", "stopped");
    if (outcome == record::SessionOutcome::Held) return record::heldStatus(true);
    return QCoreApplication::translate("SlotStatus", "failed: %1").arg(outcomeText(outcome));
}

namespace {

// The status line's text of a phase.
QString phaseText(SlotPhase phase, const SessionProgress& figures, record::SessionOutcome last,
                  int answering) {
    switch (phase) {
        case SlotPhase::Absent:
            return QCoreApplication::translate("SlotStatus", "not plugged in");
        case SlotPhase::Ready:
            return QCoreApplication::translate("SlotStatus", "ready");
        case SlotPhase::Listening:
            return QCoreApplication::translate("SlotStatus", "waiting for a unit");
        case SlotPhase::Running:
            return runningText(figures);
        case SlotPhase::Ended:
            return endedText(last);
        case SlotPhase::Remove:
            if (answering >= 0)
                return QCoreApplication::translate("SlotStatus", "remove the unit (%1 s)")
                    .arg(answering);
            return QCoreApplication::translate("SlotStatus", "remove the unit");
        case SlotPhase::NeedsSerial:
            return QCoreApplication::translate("SlotStatus", "scan a serial number");
    }
    return QString();
}

}  // namespace

SlotLook slotLook(SlotPhase phase, const SessionProgress& figures, record::SessionOutcome last,
                  bool kept, int answering) {
    SlotLook look{phaseText(phase, figures, last, answering), TileColour::Idle,
                  SlotSymbol::Waiting};
    if (phase == SlotPhase::Running) {
        look.colour = TileColour::Running;
        look.symbol = SlotSymbol::Loading;
    } else if (kept || phase == SlotPhase::Ended || phase == SlotPhase::Remove) {
        if (last == record::SessionOutcome::Good) look.colour = TileColour::Good;
        if (last == record::SessionOutcome::Good) look.symbol = SlotSymbol::Good;
        const bool failed =
            last != record::SessionOutcome::Good && last != record::SessionOutcome::Interrupted;
        if (failed) look.colour = TileColour::Failed;
        if (failed) look.symbol = SlotSymbol::Failed;
    }
    return look;
}

QStringList statusSamples() {
    QStringList texts;
    for (SlotPhase phase : {SlotPhase::Absent, SlotPhase::Ready, SlotPhase::Listening,
                            SlotPhase::Remove, SlotPhase::NeedsSerial})
        texts << slotLook(phase, {}, record::SessionOutcome::Good).status;
    texts << slotLook(SlotPhase::Remove, {}, record::SessionOutcome::Good, false, 99).status;
    for (record::SessionOutcome o :
         {record::SessionOutcome::Good, record::SessionOutcome::Interrupted,
          record::SessionOutcome::Input, record::SessionOutcome::Port,
          record::SessionOutcome::Handshake, record::SessionOutcome::Login,
          record::SessionOutcome::Transfer, record::SessionOutcome::Held})
        texts << endedText(o);
    for (LinkStage stage :
         {LinkStage::QuietLine, LinkStage::Handshake, LinkStage::Pause, LinkStage::Login})
        texts << stageText(stage, 0, 0);
    texts << stageText(LinkStage::Transfer, 511, 512);
    return texts;
}

int secondsLeft(const SessionProgress& f, qint64 transferStartMs, qint64 nowMs) {
    const int answered = f.answered();
    if (f.stage != LinkStage::Transfer || transferStartMs == 0 || answered <= 0) return -1;
    const double secs = (nowMs - transferStartMs) / 1000.0;
    if (secs < 0.5) return -1;
    return qRound((f.total - answered) * secs / answered);
}

}  // namespace quarn::station
