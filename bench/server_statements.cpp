#include "bench/server_statements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

#include "pg/connection.h"

namespace bench {

bool runOnServer(const testsupport::PgServer& pg, const QStringList& statements) {
    quarn::pg::Connection c;
    QString why;
    if (!c.open(quarn::pg::parseDatabaseUrl(pg.url()), &why))
        return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(why)), false;
    QSqlQuery q(c.db());
    for (const QString& s : statements)
        if (!s.trimmed().isEmpty() && !q.exec(s))
            return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(q.lastError().text())),
                   false;
    return true;
}

}  // namespace bench
