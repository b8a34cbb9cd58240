#include "recordlog/report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUuid>
#include <algorithm>

#include "record/attempts.h"
#include "record/columns.h"
#include "recordlog/log_reader.h"
#include "recordlog/report_sockets.h"

namespace quarn::recordlog {

namespace {

struct Group {
    ReportRow row;
    QList<double> seconds;
};

// What the report needs of one record.
struct Session : record::PassSession {
    QString key;
    double seconds = -1;
    QString station, slot;  // for the slot rules
    QString image;          // image_sha256
    qint64 repeats = 0;
};

// Whether the session is one the request counts: its period, station and
// image (a log knows no titles: only a sha256 prefix names an image).
bool taken(const Session& s, const ReportRequest& request) {
    if (request.since.isValid() && !(s.started.isValid() && s.started >= request.since))
        return false;
    if (!request.station.isEmpty() && s.station != request.station) return false;
    const QString image = request.image.trimmed().toLower();
    return image.isEmpty() || s.image.toLower().startsWith(image);
}

Session sessionOf(const QJsonObject& r, const QString& by) {
    Session s;
    s.started = QDateTime::fromString(r.value(QLatin1String(record::key::started)).toString(),
                                      Qt::ISODateWithMs);
    if (by == QLatin1String("day"))
        s.key = s.started.isValid() ? s.started.toUTC().toString(QStringLiteral("yyyy-MM-dd"))
                                    : QString();
    else if (!by.isEmpty())
        s.key = r.value(by).toString();
    s.serial = r.value(QLatin1String(record::key::serial)).toString();
    s.station = r.value(QLatin1String(record::key::station)).toString();
    s.slot = r.value(QLatin1String(record::key::slot)).toString();
    s.image = r.value(QLatin1String(record::key::imageSha256)).toString();
    s.id = QUuid::fromString(r.value(QLatin1String(record::key::id)).toString())
               .toString(QUuid::WithoutBraces);
    s.outcome = r.value(QLatin1String(record::key::outcome)).toString();
    s.repeats = r.value(QLatin1String(record::key::repeats)).toInteger();
    if (r.value(QLatin1String(record::key::seconds)).isDouble())
        s.seconds = r.value(QLatin1String(record::key::seconds)).toDouble();
    return s;
}

// unit: the standing of the unit s places (its first attempt), if any.
// A held record is no session: it counts as held alone.
void add(Group& g, const Session& s, const std::optional<record::UnitStanding>& unit) {
    if (record::isHeld(s.outcome)) return void(++g.row.held);
    const bool good = s.outcome == QLatin1String(record::kGoodOutcome);
    ++g.row.sessions;
    good ? ++g.row.good : ++g.row.failed[s.outcome];
    if (s.seconds >= 0) g.seconds << s.seconds;
    if (!unit) return;
    ++g.row.units;
    g.row.firstPassGood += unit->firstPassGood;
    g.row.secondPassGood += unit->secondPassGood;
    g.row.finalGood += unit->finalGood;
    ++g.row.attempts[unit->attempts];
}

// As percentile_cont(0.5): the middle value, or the mean of the two middle ones.
double median(QList<double> v) {
    if (v.isEmpty()) return -1;
    std::sort(v.begin(), v.end());
    const qsizetype m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

ReportRow finish(Group& g) {
    g.row.medianSeconds = median(g.seconds);
    for (const QString& o : record::failingOutcomes()) g.row.failed[o] += 0;
    return g.row;
}

// A yield as the table shows it: "87.5%", "-" without units.
QString shareText(qint64 good, qint64 units) {
    return units ? QStringLiteral("%1%").arg(100.0 * good / units, 0, 'f', 1) : QStringLiteral("-");
}

QJsonValue shareJson(qint64 good, qint64 units) {
    return units ? QJsonValue(double(good) / units) : QJsonValue();
}

// Units by their attempts as "1:8,2:1,3:1" ("-" without units).
QString attemptsText(const QMap<int, qint64>& attempts) {
    QStringList parts;
    for (auto it = attempts.begin(); it != attempts.end(); ++it)
        parts << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QLatin1Char(','));
}

// The stations where the slot is flagged, for the text's last column.
QString flaggedStations(const Report& report, const QString& slot) {
    QStringList at;
    for (const record::SocketVerdict& v : report.sockets)
        if (v.flagged && v.count.slot == slot) at << v.count.station;
    return at.isEmpty() ? QStringLiteral("-") : at.join(QLatin1Char(','));
}

QJsonArray flaggedJson(const Report& report, const QString& slot) {
    QJsonArray at;
    for (const record::SocketVerdict& v : report.sockets)
        if (v.flagged && v.count.slot == slot)
            at.append(QJsonObject{{"station", v.count.station},
                                  {"sessions", v.count.sessions},
                                  {"failed", v.count.failed},
                                  {"others_rate", v.othersRate}});
    return at;
}

}  // namespace

void completeReport(Report& report, const ReportRequest& request) {
    if (!request.by.isEmpty() || !report.rows.isEmpty() || !report.error.isEmpty()) return;
    Group none;
    report.rows << finish(none);
}

const QStringList& reportGroupings() {
    static const QStringList list{"day", record::key::station, record::key::file, record::key::slot,
                                  record::key::operatorName};
    return list;
}

Report reportFromLog(const QString& logPath, const ReportRequest& request,
                     const std::function<void(const QString&)>& warn) {
    Report report;
    LogReader reader;
    if (!reader.open(logPath, {}, &report.error)) return report;
    QList<Session> sessions;
    // One record however often its line appears (appended again after a
    // failed fdatasync), as the database keeps one row per id.
    QSet<QString> seen;
    record::Attempts attempts;  // over the whole log, as the database counts them
    while (!reader.atEnd()) {
        const LogBatch batch = reader.next(1000);
        for (const QString& w : batch.warnings) warn(w);
        for (const QJsonObject& r : batch.records) {
            const Session s = sessionOf(r, request.by);
            if (seen.contains(s.id)) continue;
            seen.insert(s.id);
            sessions << s;
            attempts.add(sessions.last());
        }
    }
    QMap<QString, Group> groups;
    QMap<std::pair<QString, QString>, record::SocketCount> sockets;
    for (const Session& s : std::as_const(sessions)) {
        if (!taken(s, request)) continue;
        add(groups[s.key], s, attempts.placedBy(s));
        if (record::isHeld(s.outcome)) continue;
        record::SocketCount& c = sockets[{s.station, s.slot}];
        c.station = s.station, c.slot = s.slot;
        c.sessions += record::isAttempt(s.outcome);
        c.failed +=
            record::isAttempt(s.outcome) && s.outcome != QLatin1String(record::kGoodOutcome);
        c.repeats += record::isAttempt(s.outcome) ? s.repeats : 0;
    }
    if (request.by == QLatin1String(record::key::slot))
        report.sockets = record::judgeSockets(sockets.values());
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        it->row.key = it.key();
        report.rows << finish(*it);
    }
    completeReport(report, request);
    return report;
}

QString reportText(const Report& report, const ReportRequest& request) {
    QStringList head{request.by.isEmpty() ? QStringLiteral("all") : request.by,
                     QStringLiteral("sessions"), QStringLiteral("good")};
    head += record::failingOutcomes();
    head << QStringLiteral("first-pass") << QStringLiteral("second-pass") << QStringLiteral("final")
         << QStringLiteral("held") << QStringLiteral("attempts") << QStringLiteral("median-s");
    const bool bySlot = request.by == QLatin1String(record::key::slot);
    if (bySlot) head << QStringLiteral("repeats/s") << QStringLiteral("check");
    QList<QStringList> lines{head};
    for (const ReportRow& r : report.rows) {
        QStringList cells{request.by.isEmpty() ? QStringLiteral("all") : r.key,
                          QString::number(r.sessions), QString::number(r.good)};
        for (const QString& o : record::failingOutcomes())
            cells << QString::number(r.failed.value(o));
        for (qint64 good : {r.firstPassGood, r.secondPassGood, r.finalGood})
            cells << shareText(good, r.units);
        cells << QString::number(r.held) << attemptsText(r.attempts);
        cells << (r.medianSeconds < 0 ? QStringLiteral("-")
                                      : QString::number(r.medianSeconds, 'f', 1));
        if (bySlot)
            cells << slotRepeatsCell(report.sockets, r.key) << flaggedStations(report, r.key);
        lines << cells;
    }
    QList<int> width(head.size(), 0);
    for (const QStringList& l : lines)
        for (int i = 0; i < l.size(); ++i) width[i] = std::max(width[i], int(l[i].size()));
    QString text;
    for (const QStringList& l : lines) {
        QStringList padded;
        for (int i = 0; i < l.size(); ++i)
            padded << (i == 0 ? l[i].leftJustified(width[i]) : l[i].rightJustified(width[i]));
        text += padded.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    if (bySlot) text += socketsText(report.sockets);
    qint64 mismatches = 0;
    for (const ReportRow& r : report.rows) mismatches += qMax<qint64>(0, r.approvalMismatches);
    if (mismatches > 0)
        text += QStringLiteral(
                    "%1 session(s): the station's approved differs from the server's verdict\n")
                    .arg(mismatches);
    return text;
}

QByteArray reportJson(const Report& report, const ReportRequest& request) {
    QJsonArray rows;
    for (const ReportRow& r : report.rows) {
        QJsonObject failed;
        for (auto it = r.failed.begin(); it != r.failed.end(); ++it) failed[it.key()] = it.value();
        QJsonObject o{{"sessions", r.sessions},
                      {"good", r.good},
                      {"failed", failed},
                      {"units", r.units},
                      {"first_pass_good", r.firstPassGood}};
        if (!request.by.isEmpty()) o[request.by] = r.key;
        o["first_pass_yield"] = shareJson(r.firstPassGood, r.units);
        o["second_pass_yield"] = shareJson(r.secondPassGood, r.units);
        o["final_yield"] = shareJson(r.finalGood, r.units);
        o["held"] = r.held;
        QJsonObject attempts;
        for (auto it = r.attempts.begin(); it != r.attempts.end(); ++it)
            attempts[QString::number(it.key())] = it.value();
        o["attempts"] = attempts;
        o["median_seconds"] = r.medianSeconds < 0 ? QJsonValue() : QJsonValue(r.medianSeconds);
        if (request.by == QLatin1String(record::key::slot)) o["check"] = flaggedJson(report, r.key);
        if (request.by == QLatin1String(record::key::slot))
            addSocketsJson(&o, report.sockets, r.key);
        o["approval_mismatch"] =
            r.approvalMismatches < 0 ? QJsonValue() : QJsonValue(r.approvalMismatches);
        rows.append(o);
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

}  // namespace quarn::recordlog
