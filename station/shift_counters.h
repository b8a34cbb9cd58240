#pragma once
// The shift's counters: good and failed sessions, the first-pass, second-pass
// and final yields and the units loaded per hour. The yields as
// record/attempts.h defines them for every report: a unit is its serial
// number where one was given, else the session itself; its attempts are its
// sessions that were neither interrupted (a stopped session is no attempt)
// nor held (refused by the retest limit: no session). Each yield is a share
// of the units: first attempt good, good by the second, latest good.

#include <QDateTime>
#include <QSet>
#include <QString>

#include "record/attempts.h"

namespace quarn::station {

class ShiftCounters {
public:
    explicit ShiftCounters(QDateTime shiftStart = QDateTime::currentDateTimeUtc())
        : start_(shiftStart) {}

    // One ended session, by its record's outcome ("good", "transfer", ...,
    // "interrupted", "held"). An interrupted or held one counts as neither
    // good nor failed, and is no attempt. started and id order the sessions of a serial
    // number (invalid or empty: in the order they are counted).
    void count(const QString& serial, const QString& outcome, const QDateTime& started = {},
               const QString& id = {});
    // A session that ended good, or failed (good false); never a stopped one.
    void count(const QString& serial, bool good);

    int good() const { return good_; }
    int failed() const { return failed_; }
    // 0..100; -1 before the first unit.
    double firstPassYield() const;
    double secondPassYield() const;
    double finalYield() const;
    // Good units per hour since the shift began (at least one minute counted).
    double unitsPerHour(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    // A serial number that loaded good this shift.
    bool loadedGood(const QString& serial) const { return goodSerials_.contains(serial); }
    // "good 3 · failed 1 · first pass 75 % · second pass 100 % · final 100 % · 12.0 per hour"
    QString text(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

private:
    QDateTime start_;
    int good_ = 0;
    int failed_ = 0;
    qint64 counted_ = 0;
    record::Attempts attempts_;
    QSet<QString> goodSerials_;
};

}  // namespace quarn::station
