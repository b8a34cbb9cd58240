#pragma once
// Yields by attempt, defined once for every figure that shows them (report
// --log, the station's shift counters; the database keeps the same rule in
// SQL). A unit is a serial number, however often and wherever it was
// loaded; a session without one is a unit of its own. An attempt is a
// session of the unit whose outcome is neither interrupted (a person's stop
// loaded nothing for certain) nor held (the retest limit refused the unit:
// no session at all). A unit's attempts are ordered by started, then id (an
// invalid started after every valid one, as NULL sorts), and its first
// attempt gives the unit its group and period. Of the units:
//   first-pass good:  attempt 1 good (record/first_pass.h, the same figure)
//   second-pass good: a good among attempts 1 and 2
//   final good:       the latest attempt good, whenever and wherever it was
//   attempts:         how many attempts the unit took

#include <QHash>
#include <QMap>
#include <optional>

#include "record/first_pass.h"

namespace quarn::record {

bool isAttempt(const QString& outcome);
bool isHeld(const QString& outcome);
// a comes before b in a unit's order of attempts.
bool attemptBefore(const PassSession& a, const PassSession& b);

// One unit over all its attempts.
struct UnitStanding {
    int attempts = 0;
    bool firstPassGood = false;
    bool secondPassGood = false;
    bool finalGood = false;
};

// Units counted together: a report's group, a shift.
struct YieldCount {
    qint64 units = 0;
    qint64 firstPassGood = 0;
    qint64 secondPassGood = 0;
    qint64 finalGood = 0;
    QMap<int, qint64> attempts;  // units by their number of attempts
    void add(const UnitStanding& u);
};

// Sessions go in in any order (those that are no attempt are ignored); the
// standings are over all of them.
class Attempts {
public:
    void add(const PassSession& s);
    // The standing of s's unit when s is its first attempt (the session
    // that places the unit in a group), else none.
    std::optional<UnitStanding> placedBy(const PassSession& s) const;
    // Every unit's standing, summed.
    YieldCount total() const;

private:
    struct Unit {
        PassSession first, second, latest;  // second: serial empty until there is one
        int count = 0;
        UnitStanding standing() const;
    };
    QHash<QString, Unit> units_;  // by serial number
    YieldCount unnamed_;          // sessions without a serial number
};

}  // namespace quarn::record
