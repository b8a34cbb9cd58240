#include "figures/attempts_read.h"

#include <QSqlQuery>

#include "pg/connection.h"

namespace quarn::figures {

namespace {

// A unit waits on this read before its port opens: a server that does not
// answer soon is taken as unreachable, and the log counts instead.
constexpr int kAttemptsWaitS = 2;

pg::DatabaseTarget attemptsTarget(const QString& databaseUrl) {
    pg::DatabaseTarget t = pg::parseDatabaseUrl(databaseUrl);
    const int given = pg::connectTimeoutS(t);
    t.options.removeIf(
        [](const QString& o) { return o.startsWith(QLatin1String("connect_timeout=")); });
    t.options << QStringLiteral("connect_timeout=%1")
                     .arg(given > 0 ? qMin(given, kAttemptsWaitS) : kAttemptsWaitS);
    return t;
}

// The count of the table, and of the waiting ids it has not; *failed with
// the error when the server gave none.
bool askAttempts(QSqlDatabase& db, const QString& serial, const QStringList& waiting, int* count,
                 QSqlError* failed) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT quarn_attempts(?, ?::uuid[])")))
        return *failed = q.lastError(), false;
    q.addBindValue(serial);
    q.addBindValue(QLatin1Char('{') + waiting.join(QLatin1Char(',')) + QLatin1Char('}'));
    if (!q.exec() || !q.next()) return *failed = q.lastError(), false;
    *count = q.value(0).toInt();
    return true;
}

}  // namespace

record::RetestWord readAttempts(const QString& databaseUrl, const QString& serial,
                                const QStringList& waiting) {
    record::RetestWord word;
    word.source = record::AttemptSource::Refused;
    const pg::DatabaseTarget target = attemptsTarget(databaseUrl);
    if (!target.error.isEmpty()) return word.why = target.error, word;
    pg::Connection connection;
    if (!connection.open(target, &word.why)) {
        if (connection.openProblem() == pg::Problem::Lost)
            word.source = record::AttemptSource::Unreachable;
        return word;
    }
    if (!connection.limit(kAttemptsWaitS * 1000, &word.why)) return word;
    QSqlError failed;
    if (!askAttempts(connection.db(), serial, waiting, &word.attempts, &failed)) {
        if (pg::problemOf(failed) == pg::Problem::Lost)
            word.source = record::AttemptSource::Unreachable;
        return word.why = pg::describe(failed), word;
    }
    word.why.clear();
    word.source = record::AttemptSource::Database;
    return word;
}

}  // namespace quarn::figures
