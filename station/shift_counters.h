#pragma once
// The shift's counters: good and failed sessions, the first-pass yield and
// the units loaded per hour. First-pass yield as record/first_pass.h defines
// it for every report: a unit is its serial number where one was given, else
// the session itself; its first pass is its first session that was not
// interrupted (a stopped session is no pass). The yield is the share of units
// whose first pass was good.

#include <QDateTime>
#include <QSet>
#include <QString>

#include "record/first_pass.h"

namespace quarn::station {

class ShiftCounters {
public:
    explicit ShiftCounters(QDateTime shiftStart = QDateTime::currentDateTimeUtc())
        : start_(shiftStart) {}

    // One ended session, by its record's outcome ("good", "transfer", ...,
    // "interrupted"). An interrupted session counts as neither good nor
    // failed, and is no pass. started and id order the sessions of a serial
    // number (invalid or empty: in the order they are counted).
    void count(const QString& serial, const QString& outcome, const QDateTime& started = {},
               const QString& id = {});
    // A session that ended good, or failed (good false); never a stopped one.
    void count(const QString& serial, bool good);

    int good() const { return good_; }
    int failed() const { return failed_; }
    // 0..100; -1 before the first unit.
    double firstPassYield() const;
    // Good units per hour since the shift began (at least one minute counted).
    double unitsPerHour(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    // A serial number that loaded good this shift.
    bool loadedGood(const QString& serial) const { return goodSerials_.contains(serial); }
    // "good 3 · failed 1 · first pass 75 % · 12.0 per hour"
    QString text(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

private:
    QDateTime start_;
    int good_ = 0;
    int failed_ = 0;
    qint64 counted_ = 0;
    records::FirstPass firstPass_;
    QSet<QString> goodSerials_;
};

}  // namespace quarn::station
