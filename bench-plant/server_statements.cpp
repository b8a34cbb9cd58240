#include "bench-plant/server_statements.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>

#include "database/migrations.h"
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

namespace {

// The server keeps each statement's rows for the statement triggers it
// will not fire, in temporary files, so the rows go in statements of
// kChunk: a single one of 49 million held some 15 GB of them until its end.
constexpr qint64 kChunk = 5000000;

const char* const kMonths =
    "SELECT quarn_sessions_months(ARRAY(SELECT generate_series(date_trunc('month', now() -"
    " interval '%1 days', 'UTC'), now(), interval '1 month')))";

}  // namespace

QStringList fillStatements(const PlantShape& shape, qint64 total, bool firstLayer,
                           const QString& serialPrefix) {
    // n = i / k: the first layer alone has every station, socket and stage.
    const qint64 k = qMax<qint64>(1, total / kBaseRows), first = qMin(total, kBaseRows);
    const auto insert = [&](const QString& rows) {
        FillRows r;
        r.from = rows;
        r.started = QStringLiteral("now() - (%1 * 86400.0 * (%2 - i) / %2) * interval '1 second'")
                        .arg(shape.days)
                        .arg(total);
        r.serial = QStringLiteral("'%1' || i").arg(serialPrefix);
        r.slot = QStringLiteral("'/dev/serial/by-path/slot-' || (n / %1) % %2")
                     .arg(shape.stations)
                     .arg(shape.sockets);
        r.image = QStringLiteral("repeat('a', 64)");
        r.firstPass = QStringLiteral("true");
        r.stations = shape.stations;
        return fillStatement(r);
    };
    QStringList out{QString::fromLatin1(kMonths).arg(shape.days),
                    QStringLiteral("SET session_replication_role = replica")};
    if (firstLayer)
        out << insert(QStringLiteral("(SELECT g::bigint * %1 AS i, g AS n FROM generate_series(1,"
                                     " %2) g) s")
                          .arg(k)
                          .arg(first));
    for (qint64 lo = 1; !firstLayer && lo <= total; lo += kChunk)
        out << insert(QStringLiteral("(SELECT i, i / %3 AS n FROM generate_series(%1::bigint, %2)"
                                     " i WHERE i % %3 <> 0 OR i > %3::bigint * %4) s")
                          .arg(lo)
                          .arg(qMin(total, lo + kChunk - 1))
                          .arg(k)
                          .arg(kBaseRows));
    return out << QStringLiteral("RESET session_replication_role");
}

QStringList refillStatements() {
    return {quarn::database::refillStatement(), QStringLiteral("VACUUM ANALYZE"),
            QStringLiteral("CHECKPOINT")};
}

double timedRecords(const QString& program, const QStringList& args, QByteArray* out) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "quarn-bench: quarn-records %s failed: %s\n",
                     qPrintable(args.join(' ')), p.readAllStandardError().constData());
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    return clock.nsecsElapsed() / 1e9;
}

double medianRecords(const QString& program, const QStringList& args, int runs) {
    QList<double> times;
    for (int i = 0; i < runs; ++i) times << timedRecords(program, args);
    std::sort(times.begin(), times.end());
    return times.first() < 0 ? -1 : times[runs / 2];
}

bool reportCountsAll(const QString& program, const QString& url, qint64 rows) {
    QByteArray json;
    if (timedRecords(program, {"report", "--db", url, "--by", "station", "--json"}, &json) < 0)
        return false;
    qint64 sessions = 0;
    for (const QJsonValue& r : QJsonDocument::fromJson(json).array())
        sessions += r.toObject().value("sessions").toInteger();
    if (sessions == rows) return true;
    std::fprintf(stderr, "quarn-bench: the report counts %lld sessions of %lld rows\n",
                 static_cast<long long>(sessions), static_cast<long long>(rows));
    return false;
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
