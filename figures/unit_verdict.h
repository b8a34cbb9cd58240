#pragma once
// One unit's standing from its history (figures/history_json.h's trace, in
// the order of its attempts), by record/attempts.h's rules: an attempt is a
// session neither interrupted nor held, and the latest attempt decides.
//   first pass: every attempt good (the first among them)
//   passed:     the latest attempt good, after a failure; passedOn is the
//               attempt that began the last run of good ones
//   held:       no good latest attempt, and the retest limit refused the
//               unit after its latest attempt
//   failing:    the latest attempt failed
//   none:       no attempt (no records, or only interrupted ones)
// A unit that passed on another socket than the one it failed on just
// before has `moved` set: that socket may be at fault. quarn-records trace
// says it in its last line; quarn-plant-web's unit page shows it.

#include <QByteArray>
#include <QList>
#include <QString>

#include "recordlog/history.h"

namespace quarn::figures {

struct UnitVerdict {
    enum class Kind { None, FirstPass, Passed, Held, Failing };
    Kind kind = Kind::None;
    int attempts = 0;
    int passedOn = 0;  // Passed, FirstPass: the attempt (1..) that began the last good run
    bool moved = false;
    QString fromStation, fromSlot;  // moved: the socket of the failure before the pass
    QString toStation, toSlot;      // moved: the socket it passed on
};

UnitVerdict unitVerdict(const QList<recordlog::TraceRow>& trace);

// "first_pass", "passed", "held", "failing", "none".
QString verdictName(UnitVerdict::Kind kind);

// {"verdict", "attempts", "passed_on" (null unless passed), "moved" (null,
// or {from_station, from_slot, to_station, to_slot})}, compact.
QByteArray verdictJson(const UnitVerdict& v);

// One line for people, in the operator's language ("passed on attempt 2,
// after moving from SLOT at STATION to SLOT at STATION").
QString verdictText(const UnitVerdict& v);

}  // namespace quarn::figures
