#include "figures/report_sql.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

#include "database/schema.h"
#include "figures/filter_sql.h"
#include "figures/reader.h"
#include "figures/rules_sql.h"
#include "figures/socket_sql.h"
#include "figures/summary_split.h"
#include "pg/connection.h"
#include "pg/query_run.h"
#include "record/first_pass.h"
#include "recordlog/record_filter.h"
#include "recordlog/report.h"

namespace quarn::figures {

namespace {

// A piece of SQL and the values of its placeholders, in order.
struct Part {
    QString sql;
    QVariantList binds;
};

Part unionAll(const QList<Part>& parts) {
    Part all;
    for (const Part& p : parts) {
        all.sql += (all.sql.isEmpty() ? QString() : QStringLiteral(" UNION ALL ")) + p.sql;
        all.binds += p.binds;
    }
    return {QLatin1Char('(') + all.sql + QLatin1Char(')'), all.binds};
}

// The rows the request counts.
recordlog::RecordFilter filterOf(const recordlog::ReportRequest& request) {
    return recordlog::RecordFilter{request.since, {}, request.station, request.image};
}

// The group's key of a session row, or of a summary row (hour for day).
QString keyExpression(const QString& by, bool summary) {
    if (by.isEmpty()) return QStringLiteral("''");
    if (by == QLatin1String("day"))
        return QStringLiteral("coalesce(to_char(%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD'), '')")
            .arg(QLatin1String(summary ? "hour" : "started"));
    return summary ? QStringLiteral("\"%1\"").arg(by)
                   : QStringLiteral("coalesce(\"%1\", '')").arg(by);
}

// The conditions of a filter without " WHERE " ("true" for none), binds appended.
QString conditions(const recordlog::RecordFilter& filter, QVariantList* binds,
                   const QString& alias = {}) {
    const QString where = filterSql(filter, binds, alias);
    return where.isEmpty() ? QStringLiteral("true") : where.mid(QStringLiteral(" WHERE ").size());
}

// The units whose first attempt is in the filter, as unitRowsSql's rows u.
Part unitsIn(const recordlog::RecordFilter& filter) {
    Part p;
    QString attempts =
        QStringLiteral("SELECT %1 FROM quarn_sessions x WHERE %2")
            .arg(unitColumnsSql(QStringLiteral("x")), attemptSql(QStringLiteral("x")));
    if (!(filter == recordlog::RecordFilter())) {
        // Every attempt of the serial numbers met in the filter (one of them
        // may be earlier, outside it, and so take the unit out), and the
        // sessions without one in it; two branches, so each has its index.
        const QString all = conditions(filter, &p.binds);
        const QString x = conditions(filter, &p.binds, QStringLiteral("x"));
        attempts = QStringLiteral(
                       "%1 AND x.serial IN (SELECT serial FROM quarn_sessions WHERE serial <> ''"
                       " AND %2) UNION ALL %1 AND coalesce(x.serial, '') = '' AND %3")
                       .arg(attempts, all, x);
    }
    const QString first = conditions(filter, &p.binds);
    p.sql = unitRowsSql(QLatin1Char('(') + attempts + QLatin1Char(')')) +
            QStringLiteral(" u WHERE ") + first;
    return p;
}

// The two sources of a report, (k, outcome, attempts, sessions, mismatches,
// units, fpg, spg, fg, attempt_units) and (k, v, n): from the sessions of a
// filter, or from the summaries' rows of whole hours. The units by their
// attempts ride with the figures, so that the units are worked out once.
struct Sources {
    QList<Part> figures, seconds;
};

void addSessions(Sources* s, const recordlog::RecordFilter& filter, const QString& by) {
    const QString k = keyExpression(by, false);
    const QString mismatch = QStringLiteral("%1::int").arg(mismatchSql());
    Part rows;
    const QString where = conditions(filter, &rows.binds);
    rows.sql = QStringLiteral(
                   "SELECT %1 AS k, coalesce(outcome, '') AS outcome, NULL::bigint AS attempts,"
                   " 1 AS sessions, %2 AS mismatches, 0 AS units, 0 AS fpg, 0 AS spg, 0 AS fg,"
                   " 0 AS attempt_units FROM quarn_sessions WHERE %3")
                   .arg(k, mismatch, where);
    const Part units = unitsIn(filter);
    s->figures << rows
               << Part{QStringLiteral("SELECT %1, coalesce(outcome, ''), attempts, 0, 0, 1,"
                                      " first_good, second_good, final_good, 1 FROM %2")
                           .arg(k, units.sql),
                       units.binds};
    Part seconds;
    seconds.sql = QStringLiteral(
                      "SELECT %1 AS k, seconds AS v, 1 AS n FROM quarn_sessions"
                      " WHERE %2 AND seconds IS NOT NULL AND %3")
                      .arg(k, conditions(filter, &seconds.binds), sessionSql());
    s->seconds << seconds;
}

// The summaries a report reads, by hour and by day: by slot the slots'
// own (keyed by slot alone, across stations), else the stations'.
struct Family {
    const char *figures, *attempts, *seconds;
};
constexpr Family kStations{"hours", "attempts", "seconds"};
constexpr Family kSlots{"slots", "slot_attempts", "slot_seconds"};

QString dayView(const char* family) {
    return QLatin1String(family) == QLatin1String("hours")
               ? QStringLiteral("quarn_summary_days")
               : QStringLiteral("quarn_summary_%1_days").arg(QLatin1String(family));
}

// One part of a period from the summaries: whole hours, or whole days.
void addSummaries(Sources* s, const recordlog::RecordFilter& whole, bool days, const QString& by,
                  const Family& family) {
    const QString k = keyExpression(by, true);
    auto part = [&](const char* select, const char* table) {
        Part p;
        const QString where = summaryWhere(whole, &p.binds);
        const QString from = days ? dayRowsAsHours(dayView(table))
                                  : QStringLiteral("quarn_summary_") + QLatin1String(table);
        p.sql = QStringLiteral("SELECT %1 AS k, %2 FROM %3%4")
                    .arg(k, QLatin1String(select), from, where);
        return p;
    };
    s->figures << part(
        "outcome, NULL::bigint AS attempts, sessions, mismatches, units,"
        " first_pass_good AS fpg, second_pass_good AS spg, final_good AS fg,"
        " 0 AS attempt_units",
        family.figures);
    s->figures << part("'', attempts, 0, 0, 0, 0, 0, 0, units", family.attempts);
    s->seconds << part("tenths / 10.0 AS v, sessions AS n", family.seconds);
}

// --exact, or a login not granted the summaries, reads every row from the
// sessions; so does a report by slot of one station or image (the slots'
// summaries keep neither).
Sources reportSources(const recordlog::ReportRequest& request,
                      const recordlog::RecordFilter& filter, bool summaries) {
    Sources s;
    const bool bySlot = request.by == QLatin1String("slot");
    if (request.exact || !summaries ||
        (bySlot && (!filter.station.isEmpty() || !filter.image.isEmpty()))) {
        addSessions(&s, filter, request.by);
        return s;
    }
    const PeriodSplit split = splitPeriod(filter);
    const Family& family = bySlot ? kSlots : kStations;
    for (const recordlog::RecordFilter& days : split.days)
        addSummaries(&s, days, true, request.by, family);
    for (const recordlog::RecordFilter& hours : split.hours)
        addSummaries(&s, hours, false, request.by, family);
    for (const recordlog::RecordFilter& edge : split.edges) addSessions(&s, edge, request.by);
    return s;
}

// One (k, outcome) row of the figures query into its report row: held
// records are no sessions and count in no other figure.
void addFigures(recordlog::ReportRow* r, const QSqlQuery& q) {
    const QString outcome = q.value(1).toString();
    if (const qint64 units = q.value(9).toLongLong()) r->attempts[q.value(2).toInt()] += units;
    const qint64 n = q.value(3).toLongLong();
    for (const QString& o : record::failingOutcomes()) r->failed[o] += 0;  // every one shown
    if (outcome == QLatin1String(record::kHeldOutcome)) {
        r->held += n;
        return;
    }
    r->sessions += n;
    if (outcome == QLatin1String(record::kGoodOutcome)) r->good += n;
    if (record::failingOutcomes().contains(outcome)) r->failed[outcome] += n;
    if (!q.isNull(4))
        r->approvalMismatches = qMax<qint64>(r->approvalMismatches, 0) + q.value(4).toLongLong();
    r->units += q.value(5).toLongLong();
    r->firstPassGood += q.value(6).toLongLong();
    r->secondPassGood += q.value(7).toLongLong();
    r->finalGood += q.value(8).toLongLong();
}

// A failed query as the report's error: a refusal for lack of rights names the role.
void failed(const pg::QueryFailure& f, recordlog::Report* report) {
    report->denied = f.problem == pg::Problem::Denied;
    report->error = report->denied ? pg::notPermittedText(
                                         QCoreApplication::translate("Connection", "reporting"),
                                         QLatin1String(database::kViewerRole))
                                   : f.error;
}

// Every socket's passes and failures as the slot rule counts them
// (record/slot_flags.h), from the sockets' summaries or the sessions.
Part socketSource(const recordlog::ReportRequest& request, bool summaries) {
    const recordlog::RecordFilter filter = filterOf(request);
    const SummaryRead read{
        QStringLiteral("quarn_summary_sockets"),
        QStringLiteral("station, slot, passes, failures, repeats"),
        QString(),
        QStringLiteral("coalesce(station, '') AS station, coalesce(slot, '') AS slot,"
                       " (%1)::int AS passes,"
                       " (%1 AND outcome IS DISTINCT FROM 'good')::int AS failures,"
                       " CASE WHEN %1 THEN coalesce(repeats, 0) ELSE 0 END AS repeats")
            .arg(figures::attemptSql()),
        QStringLiteral("true"),
        QStringLiteral("quarn_summary_sockets_days")};
    Part p;
    const QString source = summarySource(filter, summaries && !request.exact, read, &p.binds);
    p.sql = QStringLiteral(
                "SELECT station, slot, sum(passes), sum(failures), sum(repeats) FROM %1"
                " GROUP BY 1, 2 ORDER BY 1, 2")
                .arg(source);
    return p;
}

// The rows' figures, their attempts and their medians, added to *rows by key.
bool readFigures(QSqlDatabase& db, const Sources& s, QMap<QString, recordlog::ReportRow>* rows,
                 pg::QueryFailure* f) {
    const Part figures = unionAll(s.figures), seconds = unionAll(s.seconds);
    const bool ok = pg::runQuery(
        db,
        QStringLiteral("SELECT k, outcome, attempts, sum(sessions), sum(mismatches), sum(units),"
                       " sum(fpg), sum(spg), sum(fg), sum(attempt_units) FROM %1 s"
                       " GROUP BY 1, 2, 3")
            .arg(figures.sql),
        figures.binds, [&](const QSqlQuery& q) { addFigures(&(*rows)[q.value(0).toString()], q); },
        f);
    return ok && pg::runQuery(
                     db, medianSql(QStringLiteral("k"), seconds.sql), seconds.binds,
                     [&](const QSqlQuery& q) {
                         (*rows)[q.value(0).toString()].medianSeconds = q.value(1).toDouble();
                     },
                     f);
}

}  // namespace

recordlog::Report reportFromDatabase(const QString& databaseUrl,
                                     const recordlog::ReportRequest& request) {
    recordlog::Report report;
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) {
        report.usage = true;
        return report.error = target.error, report;
    }
    pg::Connection connection;
    database::SchemaLook schema;
    pg::QueryFailure f;
    if (!openReader(target, pg::statementLimitMs(), &connection, &schema, &f))
        return report.error = f.error, report;
    QMap<QString, recordlog::ReportRow> rows;
    if (!readFigures(connection.db(),
                     reportSources(request, filterOf(request), schema.readsSummaries), &rows, &f))
        return failed(f, &report), report;
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        it->key = it.key();
        report.rows << *it;
    }
    if (request.by == QLatin1String("slot")) {
        QList<record::SocketCount> sockets;
        const Part p = socketSource(request, schema.readsSummaries);
        if (!pg::runQuery(
                connection.db(), p.sql, p.binds,
                [&](const QSqlQuery& q) {
                    sockets << record::SocketCount{q.value(0).toString(), q.value(1).toString(),
                                                   q.value(2).toLongLong(), q.value(3).toLongLong(),
                                                   q.value(4).toLongLong()};
                },
                &f) ||
            !readSinceService(connection.db(), schema.readsSummaries && !request.exact, &sockets,
                              &f))
            return failed(f, &report), report.rows.clear(), report;
        report.sockets = record::judgeSockets(sockets);
        record::judgeWear(&report.sockets, request.socketLife);
    }
    recordlog::completeReport(report, request);
    for (recordlog::ReportRow& r : report.rows)
        if (r.approvalMismatches < 0) r.approvalMismatches = 0;  // no rows
    return report;
}

bool readReportRows(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QString& by,
                    bool summaries, QList<recordlog::ReportRow>* rows, pg::QueryFailure* f) {
    QMap<QString, recordlog::ReportRow> byKey;
    recordlog::ReportRequest request;
    request.by = by;
    if (!readFigures(db, reportSources(request, filter, summaries), &byKey, f)) return false;
    for (auto it = byKey.begin(); it != byKey.end(); ++it) {
        it->key = it.key();
        *rows << *it;
    }
    return true;
}

}  // namespace quarn::figures
