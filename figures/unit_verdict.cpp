#include "figures/unit_verdict.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "record/attempts.h"
#include "record/outcome.h"

namespace quarn::figures {

namespace {

bool good(const recordlog::TraceRow& t) { return t.outcome == QLatin1String(record::kGoodOutcome); }

// The passing run's first attempt, and the failure just before it, if any.
void judgePass(const QList<const recordlog::TraceRow*>& attempts, UnitVerdict* v) {
    int first = int(attempts.size()) - 1;
    while (first > 0 && good(*attempts[first - 1])) --first;
    v->passedOn = first + 1;
    v->kind = first == 0 ? UnitVerdict::Kind::FirstPass : UnitVerdict::Kind::Passed;
    if (first == 0) return;
    const recordlog::TraceRow& failed = *attempts[first - 1];
    const recordlog::TraceRow& passed = *attempts[first];
    v->moved = failed.station != passed.station || failed.slot != passed.slot;
    if (!v->moved) return;
    v->fromStation = failed.station, v->fromSlot = failed.slot;
    v->toStation = passed.station, v->toSlot = passed.slot;
}

}  // namespace

UnitVerdict unitVerdict(const QList<recordlog::TraceRow>& trace) {
    UnitVerdict v;
    QList<const recordlog::TraceRow*> attempts;
    bool heldAfter = false;  // a held record after the latest attempt
    for (const recordlog::TraceRow& t : trace) {
        if (record::isAttempt(t.outcome)) attempts << &t, heldAfter = false;
        if (record::isHeld(t.outcome)) heldAfter = true;
    }
    v.attempts = int(attempts.size());
    if (!attempts.isEmpty() && good(*attempts.last()))
        judgePass(attempts, &v);
    else if (heldAfter)
        v.kind = UnitVerdict::Kind::Held;
    else if (!attempts.isEmpty())
        v.kind = UnitVerdict::Kind::Failing;
    return v;
}

QString verdictName(UnitVerdict::Kind kind) {
    switch (kind) {
        case UnitVerdict::Kind::FirstPass:
            return QStringLiteral("first_pass");
        case UnitVerdict::Kind::Passed:
            return QStringLiteral("passed");
        case UnitVerdict::Kind::Held:
            return QStringLiteral("held");
        case UnitVerdict::Kind::Failing:
            return QStringLiteral("failing");
        case UnitVerdict::Kind::None:
            break;
    }
    return QStringLiteral("none");
}

QByteArray verdictJson(const UnitVerdict& v) {
    const bool passed =
        v.kind == UnitVerdict::Kind::Passed || v.kind == UnitVerdict::Kind::FirstPass;
    QJsonObject o{{"verdict", verdictName(v.kind)},
                  {"attempts", v.attempts},
                  {"passed_on", passed ? QJsonValue(v.passedOn) : QJsonValue()},
                  {"moved", QJsonValue()}};
    if (v.moved)
        o["moved"] = QJsonObject{{"from_station", v.fromStation},
                                 {"from_slot", v.fromSlot},
                                 {"to_station", v.toStation},
                                 {"to_slot", v.toSlot}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString verdictText(const UnitVerdict& v) {
    switch (v.kind) {
        case UnitVerdict::Kind::FirstPass:
            return QCoreApplication::translate("quarn-records", "first pass");
        case UnitVerdict::Kind::Passed:
            return v.moved ? QCoreApplication::translate(
                                 "quarn-records",
                                 "passed on attempt %1, only after moving from %2 at %3 to %4 "
                                 "at %5")
                                 .arg(v.passedOn)
                                 .arg(v.fromSlot, v.fromStation, v.toSlot, v.toStation)
                           : QCoreApplication::translate("quarn-records", "passed on attempt %1")
                                 .arg(v.passedOn);
        case UnitVerdict::Kind::Held:
            return QCoreApplication::translate("quarn-records", "held at the retest limit");
        case UnitVerdict::Kind::Failing:
            return QCoreApplication::translate("quarn-records", "failing (%1 attempts)")
                .arg(v.attempts);
        case UnitVerdict::Kind::None:
            break;
    }
    return QCoreApplication::translate("quarn-records", "no attempt");
}

}  // namespace quarn::figures
