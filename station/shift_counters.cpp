#include "station/shift_counters.h"

namespace quarn::station {

void ShiftCounters::count(const QString& serial, bool good) {
    (good ? good_ : failed_) += 1;
    const bool firstPass = serial.isEmpty() || !seenSerials_.contains(serial);
    if (!serial.isEmpty()) seenSerials_.insert(serial);
    if (good && !serial.isEmpty()) goodSerials_.insert(serial);
    if (!firstPass) return;
    ++units_;
    if (good) ++firstPassGood_;
}

double ShiftCounters::firstPassYield() const {
    return units_ == 0 ? -1 : 100.0 * firstPassGood_ / units_;
}

double ShiftCounters::unitsPerHour(const QDateTime& now) const {
    const double hours = qMax<qint64>(60, start_.secsTo(now)) / 3600.0;
    return good_ / hours;
}

QString ShiftCounters::text(const QDateTime& now) const {
    const double fpy = firstPassYield();
    return QStringLiteral("good %1 · failed %2 · first pass %3 · %4 per hour")
        .arg(good_)
        .arg(failed_)
        .arg(fpy < 0 ? QStringLiteral("–") : QStringLiteral("%1 %").arg(qRound(fpy)))
        .arg(unitsPerHour(now), 0, 'f', 1);
}

}  // namespace quarn::station
