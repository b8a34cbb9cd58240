#include "record/attempts.h"

#include <tuple>

namespace quarn::record {

namespace {

bool goodOutcome(const PassSession& s) { return s.outcome == QLatin1String(kGoodOutcome); }

UnitStanding single(const PassSession& s) {
    const bool good = goodOutcome(s);
    return {1, good, good, good};
}

}  // namespace

bool isAttempt(const QString& outcome) {
    return outcome != QLatin1String(kNoPassOutcome) && !isHeld(outcome);
}

bool isHeld(const QString& outcome) { return outcome == QLatin1String(kHeldOutcome); }

bool attemptBefore(const PassSession& a, const PassSession& b) {
    if (a.started.isValid() != b.started.isValid()) return a.started.isValid();
    return std::tie(a.started, a.id) < std::tie(b.started, b.id);
}

void YieldCount::add(const UnitStanding& u) {
    ++units;
    firstPassGood += u.firstPassGood;
    secondPassGood += u.secondPassGood;
    finalGood += u.finalGood;
    ++attempts[u.attempts];
}

UnitStanding Attempts::Unit::standing() const {
    const bool firstGood = goodOutcome(first);
    return {count, firstGood, firstGood || (count > 1 && goodOutcome(second)), goodOutcome(latest)};
}

void Attempts::add(const PassSession& s) {
    if (!isAttempt(s.outcome)) return;
    if (s.serial.isEmpty()) return unnamed_.add(single(s));
    Unit& u = units_[s.serial];
    if (u.count++ == 0) {
        u.first = u.latest = s;
        return;
    }
    if (attemptBefore(u.latest, s)) u.latest = s;
    if (attemptBefore(s, u.first)) {
        u.second = u.first, u.first = s;
    } else if (u.count == 2 || attemptBefore(s, u.second)) {
        u.second = s;
    }
}

std::optional<UnitStanding> Attempts::placedBy(const PassSession& s) const {
    if (!isAttempt(s.outcome)) return std::nullopt;
    if (s.serial.isEmpty()) return single(s);
    const auto it = units_.constFind(s.serial);
    if (it == units_.cend() || it->first.id != s.id || it->first.started != s.started)
        return std::nullopt;
    return it->standing();
}

YieldCount Attempts::total() const {
    YieldCount sum = unnamed_;
    for (const Unit& u : units_) sum.add(u.standing());
    return sum;
}

}  // namespace quarn::record
