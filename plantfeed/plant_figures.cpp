#include "plantfeed/plant_figures.h"

#include <QCoreApplication>
#include <QStringList>

namespace quarn::plantfeed {

namespace {

// A sliding period starts at a whole hour: within the hour the rows it
// covers stay the same, so a refresh after a push may read only what changed.
QDateTime hourOf(const QDateTime& t) {
    const QDateTime u = t.toUTC();
    return QDateTime(u.date(), QTime(u.time().hour(), 0), Qt::UTC);
}

}  // namespace

QDateTime parseSinceDate(const QString& text) {
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid()) t = QDate::fromString(text, Qt::ISODate).startOfDay();
    return t;
}

PlantRequest requestFor(const PlantSelection& s, const QDateTime& now) {
    PlantRequest r;
    r.now = now;
    r.today = QDateTime(now.toLocalTime().date(), QTime(0, 0));
    r.filter.station = s.station;
    r.filter.image = s.image;
    switch (s.period) {
        case Period::Today:
            r.filter.since = r.today;
            break;
        case Period::Last24Hours:
            r.filter.since = hourOf(now.addSecs(-24 * 3600));
            break;
        case Period::Last7Days:
            r.filter.since = hourOf(now.addDays(-7));
            break;
        case Period::Last30Days:
            r.filter.since = hourOf(now.addDays(-30));
            break;
        case Period::Since:
            r.filter.since = s.since;
            break;
    }
    return r;
}

QString selectionKey(const PlantSelection& s) {
    static const char* const names[] = {"today", "24h", "7d", "30d", "since"};
    const QString since =
        s.period == Period::Since ? s.since.toUTC().toString(Qt::ISODate) : QString();
    return QStringList{QLatin1String(names[int(s.period)]), since, s.station, s.image}.join(
        QLatin1Char('|'));
}

bool isQuiet(const StationTile& tile, const QList<StationTile>& all, const QDateTime& now) {
    if (!tile.lastRecord.isValid() || tile.lastRecord.secsTo(now) < kQuietSeconds) return false;
    for (const StationTile& other : all)
        if (other.station != tile.station && other.lastRecord.isValid() &&
            other.lastRecord.secsTo(now) < kQuietSeconds)
            return true;
    return false;
}

namespace {

QString clock(const QDateTime& t) {
    return t.toLocalTime().toString(t.toLocalTime().date() == QDate::currentDate()
                                        ? QStringLiteral("HH:mm")
                                        : QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString lastRecordText(const StationTile& t, const QList<StationTile>& all, const QDateTime& now) {
    if (!t.lastRecord.isValid()) return QStringLiteral("-");
    const qint64 minutes = qMax<qint64>(0, t.lastRecord.secsTo(now) / 60);
    return isQuiet(t, all, now)
               ? QCoreApplication::translate("quarn-plant", "quiet for %1 min").arg(minutes)
               : QCoreApplication::translate("quarn-plant", "%1 min ago").arg(minutes);
}

}  // namespace

QString csvField(QString s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"'))) return s;
    return QLatin1Char('"') + s.replace(QLatin1String("\""), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QByteArray csv(const QList<QStringList>& lines) {
    QByteArray out;
    for (const QStringList& l : lines) {
        QStringList fields;
        for (const QString& f : l) fields << csvField(f);
        out += fields.join(QLatin1Char(',')).toUtf8() + '\n';
    }
    return out;
}

QList<TileFigure> tileFigures(const StationTile& t, const QList<StationTile>& all,
                              const QDateTime& now) {
    const QString failure = t.lastFailure.isValid()
                                ? QCoreApplication::translate("quarn-plant", "%1 at %2")
                                      .arg(t.lastFailureOutcome, clock(t.lastFailure))
                                : QCoreApplication::translate("quarn-plant", "none");
    return {
        {QCoreApplication::translate("quarn-plant", "Last hour"), QString::number(t.lastHour)},
        {QCoreApplication::translate("quarn-plant", "Good today"), QString::number(t.goodToday)},
        {QCoreApplication::translate("quarn-plant", "Failed today"),
         QString::number(t.failedToday)},
        {QCoreApplication::translate("quarn-plant", "Yield"),
         percentText(t.firstPassGoodToday, t.unitsToday)},
        {QCoreApplication::translate("quarn-plant", "Second pass"),
         percentText(t.secondPassGoodToday, t.unitsToday)},
        {QCoreApplication::translate("quarn-plant", "Final"),
         percentText(t.finalGoodToday, t.unitsToday)},
        {QCoreApplication::translate("quarn-plant", "Last failure"), failure},
        {QCoreApplication::translate("quarn-plant", "Last record"), lastRecordText(t, all, now)}};
}

QString causeLabel(const FailureCause& c) {
    return c.stage == c.outcome ? c.outcome : c.outcome + QStringLiteral(": ") + c.stage;
}

QByteArray yieldCsv(const PlantView& v) {
    QList<QStringList> lines{
        {"station", "hour", "sessions", "good", "units", "first_pass_good", "first_pass_yield"}};
    for (const HourYield& h : v.hours)
        lines << QStringList{
            h.station,
            h.hour.toString(Qt::ISODate),
            QString::number(h.sessions),
            QString::number(h.good),
            QString::number(h.units),
            QString::number(h.firstPassGood),
            h.units ? QString::number(double(h.firstPassGood) / h.units, 'f', 4) : QString()};
    return csv(lines);
}

QByteArray causesCsv(const PlantView& v) {
    qint64 total = 0;
    for (const FailureCause& c : v.causes) total += c.count;
    QList<QStringList> lines{{"outcome", "stage", "failures", "cumulative_share"}};
    qint64 sum = 0;
    for (const FailureCause& c : v.causes) {
        sum += c.count;
        lines << QStringList{c.outcome, c.stage, QString::number(c.count),
                             QString::number(double(sum) / double(total), 'f', 4)};
    }
    return csv(lines);
}

QByteArray socketsCsv(const PlantView& v) {
    QList<QStringList> lines{{"station", "slot", "sessions", "failed", "failure_rate",
                              "others_rate", "p", "flagged", "repeats", "repeats_per_session",
                              "others_repeats_per_session", "repeats_p", "repeats_flagged",
                              "since_service", "service_due"}};
    auto yes = [](bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); };
    for (const record::SocketVerdict& s : v.sockets) {
        const record::SocketCount& c = s.count;
        const QString none;
        lines << QStringList{
            c.station,
            c.slot,
            QString::number(c.sessions),
            QString::number(c.failed),
            c.sessions ? QString::number(record::perSession(c.failed, c.sessions), 'f', 4) : none,
            QString::number(s.othersRate, 'f', 4),
            QString::number(s.pValue, 'g', 4),
            yes(s.flagged),
            QString::number(c.repeats),
            c.sessions ? QString::number(record::perSession(c.repeats, c.sessions), 'f', 4) : none,
            QString::number(s.othersRepeatRate, 'f', 4),
            QString::number(s.repeatsP, 'g', 4),
            yes(s.repeatsFlagged),
            c.sinceService < 0 ? none : QString::number(c.sinceService),
            yes(s.worn)};
    }
    return csv(lines);
}

}  // namespace quarn::plantfeed
