#pragma once
// First-pass yield, defined once for every figure that shows it (the
// database's first_pass column and view, report --log, the station's shift
// counters): a unit is a serial number, however often it was loaded; its
// first pass is its first session (earliest started, then least id) that was
// not interrupted, and that session alone decides it. A session without a
// serial number is a unit of its own, unless interrupted. An interrupted
// session (stopped by a person, the program closed) loaded nothing for
// certain and is never a pass; nor is a held record (the retest limit
// refused the unit: nothing was sent). The yield is the share of units whose first
// pass ended good.

#include <QDateTime>
#include <QHash>
#include <QString>

#include "record/outcome.h"

namespace quarn::record {

struct PassSession {
    QString serial;     // empty: the session is a unit of its own
    QString outcome;    // a record's outcome key
    QDateTime started;  // invalid: after every valid time, as NULL sorts
    QString id;         // breaks ties between equal starts
};

// Sessions go in in any order; the figures are over all of them.
class FirstPass {
public:
    static bool isPass(const QString& outcome) {
        return outcome != QLatin1String(kNoPassOutcome) && outcome != QLatin1String(kHeldOutcome);
    }

    void add(const PassSession& s);
    // The session is its unit's first pass (after every session is added).
    bool decides(const PassSession& s) const;
    qint64 units() const { return qint64(first_.size()) + unnamed_; }
    qint64 firstPassGood() const;

private:
    QHash<QString, PassSession> first_;  // by serial number
    qint64 unnamed_ = 0;
    qint64 unnamedGood_ = 0;
};

// The same rule in SQL is the schema's (database/sql/0002_rules.sql), which
// the figures of the database call (figures/rules_sql.h).

}  // namespace quarn::record
