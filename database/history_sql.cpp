#include "database/history_sql.h"

#include <QCoreApplication>
#include <QSqlQuery>

#include "database/connection.h"
#include "database/push.h"
#include "database/query_run.h"
#include "database/schema.h"
#include "recordlog/record_filter.h"

namespace quarn::records {

namespace {

std::optional<bool> flagValue(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<bool>(v.toBool());
}

TraceRow readTraceRow(const QSqlQuery& q) {
    TraceRow t;
    int c = 0;
    t.id = q.value(c++).toString();
    t.started = utcTime(q.value(c++));
    t.station = q.value(c++).toString(), t.slot = q.value(c++).toString();
    t.operatorName = q.value(c++).toString(), t.file = q.value(c++).toString();
    t.imageSha256 = q.value(c++).toString(), t.title = q.value(c++).toString();
    t.approved = flagValue(q.value(c++)), t.verdict = flagValue(q.value(c++));
    t.outcome = q.value(c++).toString(), t.message = q.value(c++).toString();
    t.pushedBy = q.value(c++).toString();
    if (!q.isNull(c)) t.seconds = q.value(c).toDouble();
    return t;
}

QString traceSql(bool verdict) {
    return QStringLiteral(
               "SELECT s.id::text, s.started, s.station, s.slot, s.operator, s.file,"
               " s.image_sha256, i.title, s.approved, %1"
               " FROM quarn_sessions s LEFT JOIN LATERAL (SELECT title FROM quarn_images"
               "  WHERE sha256 = s.image_sha256 ORDER BY approved_at DESC LIMIT 1) i ON true"
               " WHERE s.serial = ? ORDER BY s.started, s.id")
        .arg(verdict
                 ? QStringLiteral("s.server_approved, s.outcome, s.message, s.pushed_by, s.seconds")
                 : QStringLiteral("NULL::boolean, s.outcome, s.message, NULL::text, s.seconds"));
}

// Opens the database and runs sql; each row to `row`. work names what was
// refused ("tracing") when the login lacks quarn_viewer's rights.
History answer(const QString& url, const QString& work,
               const std::function<QString(QSqlDatabase&, History&)>& sqlOf,
               const QVariantList& binds,
               const std::function<void(const QSqlQuery&, History&)>& row) {
    History h;
    const DatabaseTarget target = parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return h.usage = true, h.error = target.error, h;
    Connection connection;
    if (!connection.open(target, &h.error) || !connection.limit(statementLimitMs(), &h.error))
        return h;
    const QString sql = sqlOf(connection.db(), h);
    if (!h.error.isEmpty()) return h;
    QueryFailure f;
    if (runQuery(
            connection.db(), sql, binds, [&](const QSqlQuery& q) { row(q, h); }, &f))
        return h;
    h.denied = f.problem == Problem::Denied;
    h.error = h.denied ? notPermittedText(work, QLatin1String(kViewerRole)) : f.error;
    h.trace.clear(), h.units.clear();
    return h;
}

}  // namespace

History traceFromDatabase(const QString& databaseUrl, const QString& serial) {
    const auto sqlOf = [](QSqlDatabase& db, History& h) {
        bool verdict = false;
        QueryFailure look;
        if (!readsVerdict(db, &verdict, &look)) h.error = look.error;
        return traceSql(verdict);
    };
    return answer(databaseUrl, QCoreApplication::translate("Connection", "tracing"), sqlOf,
                  {serial}, [](const QSqlQuery& q, History& h) { h.trace << readTraceRow(q); });
}

QString imageUnitsSql(const QString& prefixParam, const QString& sinceParam) {
    // A later good row of the same serial number, in the order of attempts
    // (started, then id; no time after every time), makes a row not its
    // unit's latest. The index on (serial, started, id) finds it.
    return QStringLiteral(
               "SELECT c.serial, c.station, c.slot, c.started, c.image_sha256, c.id::text"
               " FROM quarn_sessions c"
               " WHERE c.outcome = 'good' AND c.image_sha256 LIKE %1 || '%'%2"
               " AND (coalesce(c.serial, '') = '' OR NOT EXISTS (SELECT FROM quarn_sessions x"
               "  WHERE x.serial = c.serial AND x.outcome = 'good' AND x.id <> c.id"
               "  AND (x.started > c.started OR (x.started IS NULL AND c.started IS NOT NULL)"
               "   OR (x.started IS NOT DISTINCT FROM c.started AND x.id > c.id))))")
        .arg(prefixParam,
             sinceParam.isEmpty()
                 ? QString()
                 : QStringLiteral(" AND c.started >= %1::timestamptz").arg(sinceParam));
}

History unitsFromDatabase(const QString& databaseUrl, const QString& imagePrefix,
                          const QDateTime& since) {
    QVariantList binds{imagePrefix.toLower()};
    if (since.isValid()) binds << sqlTime(since);
    const QString sql =
        imageUnitsSql(QStringLiteral("?"), since.isValid() ? QStringLiteral("?") : QString()) +
        QStringLiteral(" ORDER BY c.started, c.id");
    return answer(
        databaseUrl, QCoreApplication::translate("Connection", "listing units"),
        [&](QSqlDatabase&, History&) { return sql; }, binds,
        [](const QSqlQuery& q, History& h) {
            h.units << UnitRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                               q.value(4).toString(), q.value(5).toString(), utcTime(q.value(3))};
        });
}

qint64 imageUnitCount(const QString& databaseUrl, const QString& sha256) {
    const DatabaseTarget target = parseDatabaseUrl(databaseUrl);
    Connection connection;
    QString why;
    if (!target.error.isEmpty() || !connection.open(target, &why) ||
        !connection.limit(statementLimitMs(), &why))
        return -1;
    qint64 count = -1;
    QueryFailure f;
    runQuery(
        connection.db(), QStringLiteral("SELECT quarn_image_units(?)"), {sha256.toLower()},
        [&](const QSqlQuery& q) { count = q.value(0).toLongLong(); }, &f);
    return count;
}

}  // namespace quarn::records
