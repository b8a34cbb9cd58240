#include "station/shift_counters.h"

#include <QCoreApplication>
#include <QLocale>

namespace quarn::station {

void ShiftCounters::count(const QString& serial, const QString& outcome, const QDateTime& started,
                          const QString& id) {
    ++counted_;
    if (!record::isAttempt(outcome)) return;
    const bool good = outcome == QLatin1String(record::kGoodOutcome);
    (good ? good_ : failed_) += 1;
    if (good && !serial.isEmpty()) goodSerials_.insert(serial);
    // Without a time or an id, the order counted: a time after the shift's
    // start that grows with each session, and an id that sorts as it grows.
    const QDateTime at = started.isValid() ? started : start_.addMSecs(counted_);
    attempts_.add(
        {serial, outcome, at,
         id.isEmpty() ? QString::number(counted_).rightJustified(19, QLatin1Char('0')) : id});
}

void ShiftCounters::count(const QString& serial, bool good) {
    count(serial, QLatin1String(good ? record::kGoodOutcome : "failed"));
}

namespace {

double percentOf(qint64 good, qint64 units) {
    return units == 0 ? -1 : 100.0 * double(good) / double(units);
}

QString percentText(double share) {
    return share < 0 ? QStringLiteral("–") : QStringLiteral("%1 %").arg(qRound(share));
}

}  // namespace

double ShiftCounters::firstPassYield() const {
    const record::YieldCount c = attempts_.total();
    return percentOf(c.firstPassGood, c.units);
}

double ShiftCounters::secondPassYield() const {
    const record::YieldCount c = attempts_.total();
    return percentOf(c.secondPassGood, c.units);
}

double ShiftCounters::finalYield() const {
    const record::YieldCount c = attempts_.total();
    return percentOf(c.finalGood, c.units);
}

double ShiftCounters::unitsPerHour(const QDateTime& now) const {
    const double hours = qMax<qint64>(60, start_.secsTo(now)) / 3600.0;
    return good_ / hours;
}

QString ShiftCounters::text(const QDateTime& now) const {
    QLocale locale;  // the operator's decimal sign, no thousands separator
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QCoreApplication::translate(
               "ShiftCounters",
               "good %1 · failed %2 · first pass %3 · second pass %4 · final %5 · %6 per hour")
        .arg(good_)
        .arg(failed_)
        .arg(percentText(firstPassYield()), percentText(secondPassYield()),
             percentText(finalYield()), locale.toString(unitsPerHour(now), 'f', 1));
}

}  // namespace quarn::station
