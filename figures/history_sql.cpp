#include "figures/history_sql.h"

#include <QCoreApplication>
#include <QSqlQuery>

#include "database/schema.h"
#include "figures/filter_sql.h"
#include "figures/reader.h"
#include "pg/connection.h"
#include "pg/query_run.h"
#include "recordlog/record_filter.h"

namespace quarn::figures {

namespace {

std::optional<bool> flagValue(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<bool>(v.toBool());
}

recordlog::TraceRow readTraceRow(const QSqlQuery& q) {
    recordlog::TraceRow t;
    int c = 0;
    t.id = q.value(c++).toString();
    t.started = pg::utcTime(q.value(c++));
    t.station = q.value(c++).toString(), t.slot = q.value(c++).toString();
    t.operatorName = q.value(c++).toString(), t.file = q.value(c++).toString();
    t.imageSha256 = q.value(c++).toString(), t.title = q.value(c++).toString();
    t.approved = flagValue(q.value(c++)), t.verdict = flagValue(q.value(c++));
    t.outcome = q.value(c++).toString(), t.message = q.value(c++).toString();
    t.pushedBy = q.value(c++).toString();
    if (!q.isNull(c)) t.seconds = q.value(c).toDouble();
    return t;
}

const char kTrace[] =
    "SELECT s.id::text, s.started, s.station, s.slot, s.operator, s.file, s.image_sha256,"
    " i.title, s.approved, s.server_approved, s.outcome, s.message, s.pushed_by,"
    " s.seconds FROM quarn_sessions s LEFT JOIN LATERAL (SELECT title FROM quarn_images"
    "  WHERE sha256 = s.image_sha256 ORDER BY approved_at DESC LIMIT 1) i ON true"
    " WHERE s.serial = ? ORDER BY s.started, s.id";

// Opens the database and runs sql; each row to `row`. work names what was
// refused ("tracing") when the login lacks quarn_viewer's rights.
recordlog::History answer(const QString& url, const QString& work, const QString& sql,
                          const QVariantList& binds,
                          const std::function<void(const QSqlQuery&, recordlog::History&)>& row) {
    recordlog::History h;
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(url);
    if (!target.error.isEmpty()) return h.usage = true, h.error = target.error, h;
    pg::Connection connection;
    database::SchemaLook schema;
    pg::QueryFailure f;
    if (!openReader(target, pg::statementLimitMs(), &connection, &schema, &f))
        return h.error = f.error, h;
    if (pg::runQuery(
            connection.db(), sql, binds, [&](const QSqlQuery& q) { row(q, h); }, &f))
        return h;
    h.denied = f.problem == pg::Problem::Denied;
    h.error = h.denied ? pg::notPermittedText(work, QLatin1String(database::kViewerRole)) : f.error;
    h.trace.clear(), h.units.clear();
    return h;
}

}  // namespace

recordlog::History traceFromDatabase(const QString& databaseUrl, const QString& serial) {
    return answer(databaseUrl, QCoreApplication::translate("Connection", "tracing"),
                  QLatin1String(kTrace), {serial},
                  [](const QSqlQuery& q, recordlog::History& h) { h.trace << readTraceRow(q); });
}

recordlog::History unitsFromDatabase(const QString& databaseUrl, const QString& imagePrefix,
                                     const QDateTime& since) {
    // The recall list as the schema defines it (quarn_image_unit_rows); the
    // planner puts its query in place of the call, the prefix known.
    const QVariantList binds{imagePrefix.toLower(),
                             since.isValid() ? QVariant(sqlTime(since)) : QVariant()};
    const QString sql = QStringLiteral(
        "SELECT serial, station, slot, started, image_sha256, id FROM"
        " quarn_image_unit_rows(?, ?::timestamptz) ORDER BY started, id::uuid");
    return answer(databaseUrl, QCoreApplication::translate("Connection", "listing units"), sql,
                  binds, [](const QSqlQuery& q, recordlog::History& h) {
                      h.units << recordlog::UnitRow{q.value(0).toString(), q.value(1).toString(),
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
