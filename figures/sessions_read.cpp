#include "figures/sessions_read.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

#include "database/schema.h"
#include "figures/filter_sql.h"
#include "figures/history_json.h"
#include "figures/reader.h"
#include "figures/rules_sql.h"
#include "pg/connection.h"
#include "pg/query_run.h"

namespace quarn::figures {

namespace {

std::optional<bool> flagValue(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<bool>(v.toBool());
}

SessionRow readRow(const QSqlQuery& q) {
    SessionRow r;
    int c = 0;
    r.id = q.value(c++).toString(), r.started = pg::utcTime(q.value(c++));
    r.station = q.value(c++).toString(), r.slot = q.value(c++).toString();
    r.operatorName = q.value(c++).toString(), r.serial = q.value(c++).toString();
    r.file = q.value(c++).toString(), r.imageSha256 = q.value(c++).toString();
    r.outcome = q.value(c++).toString(), r.stage = q.value(c++).toString();
    r.message = q.value(c++).toString();
    if (!q.isNull(c)) r.seconds = q.value(c).toDouble();
    ++c;
    r.repeats = q.value(c++).toLongLong();
    r.approved = flagValue(q.value(c++)), r.verdict = flagValue(q.value(c++));
    r.pushedBy = q.value(c++).toString();
    return r;
}

// The page's statement; its values appended to *binds in order.
QString pageSql(const SessionsQuery& query, bool verdict, QVariantList* binds) {
    QStringList terms{QStringLiteral("s.started IS NOT NULL")};
    const QString where = figures::filterSql(query.filter, binds, QStringLiteral("s"));
    if (!where.isEmpty()) terms << where.mid(QStringLiteral(" WHERE ").size());
    const std::pair<QString, QString> exact[] = {
        {QStringLiteral("s.slot"), query.slot},
        {QStringLiteral("s.outcome"), query.outcome},
        {figures::stageSql(QStringLiteral("s")), query.stage}};
    for (const auto& [column, value] : exact)
        if (!value.isEmpty()) terms << column + QStringLiteral(" = ?"), *binds << value;
    if (!query.before.isEmpty()) {
        terms << QStringLiteral(
            "(s.started, s.id) < (SELECT b.started, b.id FROM quarn_sessions b"
            " WHERE b.id = ?::uuid AND b.started IS NOT NULL)");
        *binds << query.before;
    }
    *binds << query.limit;
    return QStringLiteral(
               "SELECT s.id::text, s.started, s.station, s.slot, s.operator, s.serial, s.file,"
               " s.image_sha256, s.outcome, %1, s.message, s.seconds, s.repeats, s.approved, %2"
               " FROM quarn_sessions s WHERE %3 ORDER BY s.started DESC, s.id DESC LIMIT ?")
        .arg(figures::stageSql(QStringLiteral("s")),
             verdict ? QStringLiteral("s.server_approved, s.pushed_by")
                     : QStringLiteral("NULL::boolean, NULL::text"),
             terms.join(QStringLiteral(" AND ")));
}

}  // namespace

SessionsPage sessionsFromDatabase(const QString& databaseUrl, const SessionsQuery& query) {
    SessionsPage page;
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return page.usage = true, page.error = target.error, page;
    pg::Connection connection;
    database::SchemaLook schema;
    pg::QueryFailure f;
    if (!figures::openReader(target, pg::statementLimitMs(), &connection, &schema, &f))
        return page.error = f.error, page;
    QVariantList binds;
    if (pg::runQuery(
            connection.db(), pageSql(query, true, &binds), binds,
            [&](const QSqlQuery& q) { page.rows << readRow(q); }, &f))
        return page;
    page.rows.clear();
    page.denied = f.problem == pg::Problem::Denied;
    page.error = page.denied
                     ? pg::notPermittedText(QCoreApplication::translate("Connection", "reading"),
                                            QLatin1String(database::kViewerRole))
                     : f.error;
    return page;
}

QByteArray sessionsJson(const QList<SessionRow>& rows) {
    QJsonArray out;
    for (const SessionRow& r : rows)
        out << QJsonObject{{"id", r.id},
                           {"started", historyTimeText(r.started)},
                           {"station", r.station},
                           {"slot", r.slot},
                           {"operator", r.operatorName},
                           {"serial", r.serial},
                           {"file", r.file},
                           {"image_sha256", textOrNull(r.imageSha256)},
                           {"outcome", r.outcome},
                           {"stage", r.stage},
                           {"message", r.message},
                           {"seconds", r.seconds ? QJsonValue(*r.seconds) : QJsonValue()},
                           {"repeats", r.repeats},
                           {"approved", flagOrNull(r.approved)},
                           {"server_approved", flagOrNull(r.verdict)},
                           {"pushed_by", textOrNull(r.pushedBy)}};
    return QJsonDocument(out).toJson(QJsonDocument::Indented);
}

}  // namespace quarn::figures
