#include "database/attempts_read.h"

#include <QSqlQuery>

#include "database/connection.h"
#include "database/push.h"

namespace quarn::records {

RetestWord readAttempts(const QString& databaseUrl, const QString& serial) {
    RetestWord word;
    word.source = AttemptSource::Refused;
    const DatabaseTarget target = parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return word.why = target.error, word;
    Connection connection;
    if (!connection.open(target, &word.why)) {
        if (connection.openProblem() == Problem::Lost) word.source = AttemptSource::Unreachable;
        return word;
    }
    if (!connection.limit(statementLimitMs(), &word.why)) return word;
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
