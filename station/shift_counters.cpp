#include "station/shift_counters.h"

#include <QCoreApplication>
#include <QLocale>

namespace quarn::station {

void ShiftCounters::count(const QString& serial, const QString& outcome, const QDateTime& started,
                          const QString& id) {
    ++counted_;
    if (!records::FirstPass::isPass(outcome)) return;
    const bool good = outcome == QLatin1String(records::kGoodOutcome);
    (good ? good_ : failed_) += 1;
    if (good && !serial.isEmpty()) goodSerials_.insert(serial);
    // Without a time or an id, the order counted: a time after the shift's
    // start that grows with each session, and an id that sorts as it grows.
    const QDateTime at = started.isValid() ? started : start_.addMSecs(counted_);
    firstPass_.add(
        {serial, outcome, at,
         id.isEmpty() ? QString::number(counted_).rightJustified(19, QLatin1Char('0')) : id});
}

void ShiftCounters::count(const QString& serial, bool good) {
    count(serial, QLatin1String(good ? records::kGoodOutcome : "failed"));
}

double ShiftCounters::firstPassYield() const {
    const qint64 units = firstPass_.units();
    return units == 0 ? -1 : 100.0 * double(firstPass_.firstPassGood()) / double(units);
}

double ShiftCounters::unitsPerHour(const QDateTime& now) const {
    const double hours = qMax<qint64>(60, start_.secsTo(now)) / 3600.0;
    return good_ / hours;
}

QString ShiftCounters::text(const QDateTime& now) const {
    const double fpy = firstPassYield();
    QLocale locale;  // the operator's decimal sign, no thousands separator
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QCoreApplication::translate("ShiftCounters",
                                       "good %1 · failed %2 · first pass %3 · %4 per hour")
        .arg(good_)
        .arg(failed_)
        .arg(fpy < 0 ? QStringLiteral("–") : QStringLiteral("%1 %").arg(qRound(fpy)))
        .arg(locale.toString(unitsPerHour(now), 'f', 1));
}

}  // namespace quarn::station
