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

}  // namespace

RetestWord readAttempts(const QString& databaseUrl, const QString& serial) {
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
    QSqlQuery q(connection.db());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT quarn_attempts(?)")))
        return word.why = describe(q.lastError()), word;
    q.addBindValue(serial);
    if (!q.exec() || !q.next()) {
        if (problemOf(q.lastError()) == Problem::Lost) word.source = AttemptSource::Unreachable;
        return word.why = describe(q.lastError()), word;
    }
    word.attempts = q.value(0).toInt();
    word.why.clear();
    word.source = AttemptSource::Database;
    return word;
}

}  // namespace quarn::records
