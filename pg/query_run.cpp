#include "pg/query_run.h"

#include <QSqlError>

namespace quarn::pg {

bool runQuery(QSqlDatabase& db, const QString& sql, const QVariantList& binds,
              const std::function<void(const QSqlQuery&)>& row, QueryFailure* f) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return *f = {describe(q.lastError()), problemOf(q.lastError())}, false;
    for (const QVariant& b : binds) q.addBindValue(b);
    if (!q.exec()) return *f = {describe(q.lastError()), problemOf(q.lastError())}, false;
    while (q.next()) row(q);
    return true;
}

QDateTime utcTime(const QVariant& v) {
    const QDateTime t = v.toDateTime();
    return t.isValid() ? t.toUTC() : t;
}

QString epochMsSql(const QString& expression) {
    return QStringLiteral("(extract(epoch FROM %1) * 1000)::bigint").arg(expression);
}

QDateTime utcFromEpochMs(const QVariant& v) {
    return v.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
}

}  // namespace quarn::pg
