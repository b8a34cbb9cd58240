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

QString fillStatement(const FillRows& r) {
    return QStringLiteral(
               "INSERT INTO quarn_sessions (id, started, seconds, station, operator, serial, slot,"
               " port, device, file, length, bytes, blocks, repeats, sha256, image_sha256,"
               " outcome, message, version, approved, first_pass, pushed_by, received_at,"
               " server_approved) SELECT gen_random_uuid(), t, 4 + n % 5, 'station-' || (n %"
               " %1), 'ann', %2, %3, 'COM1', '/dev/ttyUSB0', '/srv/fw/qx200.bin', 2000, 2048,"
               " 32, n % 3, repeat('a', 64), %4, CASE WHEN n % 7 = 0 THEN 'transfer' ELSE"
               " 'good' END, CASE WHEN n % 7 = 0 THEN 'No reply at block ' || n % 32 || ' of 32'"
               " ELSE '' END, '1.1.0', true, %5, 'st1', t, true FROM %6, LATERAL (SELECT %7 AS"
               " t) started")
        .arg(r.stations)
        .arg(r.serial, r.slot, r.image, r.firstPass, r.from, r.started);
}

}  // namespace bench
