#include "figures/history_sql.h"

#include <QCoreApplication>
#include <QSqlQuery>

#include "figures/filter_sql.h"
#include "pg/connection.h"
#include "pg/query_run.h"
#include "recordlog/record_filter.h"
#include "database/schema.h"

namespace quarn::figures {

namespace {

std::optional<bool> flagValue(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<bool>(v.toBool());
}

records::TraceRow readTraceRow(const QSqlQuery& q) {
    records::TraceRow t;
    int c = 0;
    t.id = q.value(c++).toString();
    t.started = pg::utcTime(q.value(c++));
    t.station = q.value(c++).toString(), t.slot = q.value(c++).toString();
    t.operatorName = q.value(c++).toString(), t.file = q.value(c++).toString();
    t.imageSha256 = q.value(c++).toString(), t.title = q.value(c++).toString();
    t.approved = flagValue(q.value(c++)), t.verdict = flagValue(q.value(c++));
    t.outcome = q.value(c++).toString(), t.message = q.value(c++).toString();
    t.pushedBy = q.value(c++).toString();
    return t;
}

QString traceSql(bool verdict) {
    return QStringLiteral(
               "SELECT s.id::text, s.started, s.station, s.slot, s.operator, s.file,"
               " s.image_sha256, i.title, s.approved, %1"
               " FROM quarn_sessions s LEFT JOIN LATERAL (SELECT title FROM quarn_images"
               "  WHERE sha256 = s.image_sha256 ORDER BY approved_at DESC LIMIT 1) i ON true"
               " WHERE s.serial = ? ORDER BY s.started, s.id")
        .arg(verdict ? QStringLiteral("s.server_approved, s.outcome, s.message, s.pushed_by")
                     : QStringLiteral("NULL::boolean, s.outcome, s.message, NULL::text"));
}

// Opens the database and runs sql; each row to `row`. work names what was
// refused ("tracing") when the login lacks quarn_viewer's rights.
records::History answer(const QString& url, const QString& work,
                        const std::function<QString(QSqlDatabase&, records::History&)>& sqlOf,
                        const QVariantList& binds,
                        const std::function<void(const QSqlQuery&, records::History&)>& row) {
    records::History h;
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return h.usage = true, h.error = target.error, h;
    pg::Connection connection;
    if (!connection.open(target, &h.error) || !connection.limit(pg::statementLimitMs(), &h.error))
        return h;
    const QString sql = sqlOf(connection.db(), h);
    if (!h.error.isEmpty()) return h;
    pg::QueryFailure f;
    if (pg::runQuery(
            connection.db(), sql, binds, [&](const QSqlQuery& q) { row(q, h); }, &f))
        return h;
    h.denied = f.problem == pg::Problem::Denied;
    h.error = h.denied ? pg::notPermittedText(work, QLatin1String(database::kViewerRole)) : f.error;
    h.trace.clear(), h.units.clear();
    return h;
}

}  // namespace

records::History traceFromDatabase(const QString& databaseUrl, const QString& serial) {
    const auto sqlOf = [](QSqlDatabase& db, records::History& h) {
        bool verdict = false;
        pg::QueryFailure look;
        if (!pg::readsVerdict(db, &verdict, &look)) h.error = look.error;
        return traceSql(verdict);
    };
    return answer(databaseUrl, QCoreApplication::translate("Connection", "tracing"), sqlOf,
                  {serial},
                  [](const QSqlQuery& q, records::History& h) { h.trace << readTraceRow(q); });
}

records::History unitsFromDatabase(const QString& databaseUrl, const QString& imagePrefix,
                                   const QDateTime& since) {
    QVariantList binds{imagePrefix.toLower()};
    if (since.isValid()) binds << sqlTime(since);
    const QString sql = database::imageUnitsSql(QStringLiteral("?"),
                                              since.isValid() ? QStringLiteral("?") : QString()) +
                        QStringLiteral(" ORDER BY c.started, c.id");
    return answer(
        databaseUrl, QCoreApplication::translate("Connection", "listing units"),
        [&](QSqlDatabase&, records::History&) { return sql; }, binds,
        [](const QSqlQuery& q, records::History& h) {
            h.units << records::UnitRow{q.value(0).toString(), q.value(1).toString(),
                                        q.value(2).toString(), q.value(4).toString(),
                                        q.value(5).toString(), pg::utcTime(q.value(3))};
        });
}

qint64 imageUnitCount(const QString& databaseUrl, const QString& sha256) {
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(databaseUrl);
    pg::Connection connection;
    QString why;
    if (!target.error.isEmpty() || !connection.open(target, &why) ||
        !connection.limit(pg::statementLimitMs(), &why))
        return -1;
    qint64 count = -1;
    pg::QueryFailure f;
    pg::runQuery(
        connection.db(), QStringLiteral("SELECT quarn_image_units(?)"), {sha256.toLower()},
        [&](const QSqlQuery& q) { count = q.value(0).toLongLong(); }, &f);
    return count;
}

}  // namespace quarn::figures
