#include "database/attempts_read.h"

#include <QSqlQuery>

#include "database/connection.h"

namespace quarn::records {

namespace {

// A unit waits on this read before its port opens: a server that does not
// answer soon is taken as unreachable, and the log counts instead.
constexpr int kAttemptsWaitS = 2;

DatabaseTarget attemptsTarget(const QString& databaseUrl) {
    DatabaseTarget t = parseDatabaseUrl(databaseUrl);
    const int given = connectTimeoutS(t);
    t.options.removeIf(
        [](const QString& o) { return o.startsWith(QLatin1String("connect_timeout=")); });
    t.options << QStringLiteral("connect_timeout=%1")
                     .arg(given > 0 ? qMin(given, kAttemptsWaitS) : kAttemptsWaitS);
    return t;
}

// The count of the table (and of the waiting ids it has not); *failed
// with the error when the server gave none.
bool askAttempts(QSqlDatabase& db, const QString& serial, const QStringList& waiting,
                 bool withWaiting, int* count, QSqlError* failed) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(withWaiting ? QStringLiteral("SELECT quarn_attempts(?, ?::uuid[])")
                               : QStringLiteral("SELECT quarn_attempts(?)")))
        return *failed = q.lastError(), false;
    q.addBindValue(serial);
    if (withWaiting)
        q.addBindValue(QLatin1Char('{') + waiting.join(QLatin1Char(',')) + QLatin1Char('}'));
    if (!q.exec() || !q.next()) return *failed = q.lastError(), false;
    *count = q.value(0).toInt();
    return true;
}

}  // namespace

RetestWord readAttempts(const QString& databaseUrl, const QString& serial,
                        const QStringList& waiting) {
    RetestWord word;
    word.source = AttemptSource::Refused;
    const DatabaseTarget target = attemptsTarget(databaseUrl);
    if (!target.error.isEmpty()) return word.why = target.error, word;
    Connection connection;
    if (!connection.open(target, &word.why)) {
        if (connection.openProblem() == Problem::Lost) word.source = AttemptSource::Unreachable;
        return word;
    }
    if (!connection.limit(kAttemptsWaitS * 1000, &word.why)) return word;
    QSqlError failed;
    bool asked = askAttempts(connection.db(), serial, waiting, true, &word.attempts, &failed);
    // 42883: a schema made before the count with the waiting ids.
    if (!asked && failed.nativeErrorCode() == QLatin1String("42883") &&
        askAttempts(connection.db(), serial, waiting, false, &word.attempts, &failed)) {
        asked = true;
        word.attempts += int(waiting.size());
    }
    if (!asked) {
        if (problemOf(failed) == Problem::Lost) word.source = AttemptSource::Unreachable;
        return word.why = describe(failed), word;
    }
    word.why.clear();
    word.source = AttemptSource::Database;
    return word;
}

}  // namespace quarn::records
