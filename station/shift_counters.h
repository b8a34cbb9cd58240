#pragma once
// The shift's counters: good and failed sessions, the first-pass yield and
// the units loaded per hour. A unit is its serial number where one was given,
// else the session itself; its first pass is its first session that ended
// good or failed (a stopped session is no pass). The yield is the share of
// units whose first pass was good.

#include <QDateTime>
#include <QSet>
#include <QString>

namespace quarn::station {

class ShiftCounters {
public:
    explicit ShiftCounters(QDateTime shiftStart = QDateTime::currentDateTimeUtc())
        : start_(shiftStart) {}

    // One ended session; good false for a failure. Stopped sessions are not counted.
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
    int units_ = 0;
    int firstPassGood_ = 0;
    QSet<QString> seenSerials_;
    QSet<QString> goodSerials_;
};

}  // namespace quarn::station
