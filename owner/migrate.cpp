#include "owner/migrate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include "database/ledger.h"
#include "database/migrations.h"
#include "pg/connection.h"
#include "record/columns.h"

namespace quarn::owner {

namespace {

using database::latestVersion;
using database::lookAtSchema;
using database::Migration;
using database::migrations;
using database::runInTransaction;
using database::SchemaLook;
using database::sqlFile;
using MigrateStatus = MigrateResult::Status;
using Say = std::function<void(const QString&)>;

// What an earlier release's quarn_sessions holds: rows, months of rows, and
// the columns the plant added itself.
struct Found {
    qint64 rows = 0, months = 0;
    QString first, last;  // "2026-01"
    QStringList own;      // "note text"
};

bool ownColumns(QSqlDatabase& db, QStringList* own, QSqlError* e) {
    QStringList ours{QStringLiteral("first_pass"), QStringLiteral("pushed_by"),
                     QStringLiteral("received_at"), QStringLiteral("server_approved")};
    for (const record::Column& c : record::columns()) ours << QLatin1String(c.key);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute"
                               " WHERE attrelid = to_regclass('quarn_sessions') AND attnum > 0"
                               " AND NOT attisdropped ORDER BY attnum")))
        return *e = q.lastError(), false;
    while (q.next())
        if (!ours.contains(q.value(0).toString()))
            *own << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
    return true;
}

bool lookAtEarlier(QSqlDatabase& db, Found* found, QSqlError* e) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral(
            "SELECT count(*), count(DISTINCT date_trunc('month', started, 'UTC')),"
            " to_char(min(started) AT TIME ZONE 'UTC', 'YYYY-MM'),"
            " to_char(max(started) AT TIME ZONE 'UTC', 'YYYY-MM') FROM quarn_sessions")) ||
        !q.next())
        return *e = q.lastError(), false;
    *found = {q.value(0).toLongLong(),
              q.value(1).toLongLong(),
              q.value(2).toString(),
              q.value(3).toString(),
              {}};
    return ownColumns(db, &found->own, e);
}

MigrateResult refusal(MigrateStatus status, const QString& why) {
    MigrateResult r;
    r.status = status;
    r.error = why;
    return r;
}

MigrateResult failed(const QSqlError& e) {
    MigrateResult r;
    r.error = pg::describe(e);
    switch (pg::problemOf(e)) {
        case pg::Problem::Busy:
            r.status = MigrateStatus::Busy;
            break;
        case pg::Problem::Denied:
            r.status = MigrateStatus::Denied;
            r.error = pg::notPermittedText(
                QCoreApplication::translate("Connection", "migrating quarn_sessions"),
                QCoreApplication::translate("Connection", "that owns it"));
            break;
        case pg::Problem::Lost:
            r.status = MigrateStatus::Unreachable;
            break;
        case pg::Problem::Refused:
            r.status = MigrateStatus::Refused;
            break;
    }
    return r;
}

void sayPlan(const Found& f, const Say& say) {
    say(QCoreApplication::translate(
            "Migrate",
            "quarn_sessions: %1 row(s) in %2 month(s) (%3 to %4), made by an earlier version "
            "(the database has no ledger of its schema)")
            .arg(f.rows)
            .arg(f.months)
            .arg(f.first.isEmpty() ? QStringLiteral("-") : f.first,
                 f.last.isEmpty() ? QStringLiteral("-") : f.last));
    say(QCoreApplication::translate(
            "Migrate",
            "in one transaction, the table locked meanwhile (pushes end as busy and send later):\n"
            "  set its tables aside; make this version's schema (migrations %1 to %2) and its\n"
            "  ledger; copy every row as it is (ids, first_pass, the server's stamps), the\n"
            "  approved list and the sockets' service log; give the new tables and view the old\n"
            "  ones' grants; count the summaries from the rows; drop the old tables")
            .arg(migrations().first().name, migrations().last().name));
    if (!f.own.isEmpty())
        say(QCoreApplication::translate("Migrate",
                                        "the plant's own columns go over with their values: %1")
                .arg(f.own.join(QStringLiteral(", "))));
}

// The statements that open a migration's transaction: quiet, no time
// limit on its statements, a limit on each wait for a lock.
QStringList opening(int lockWaitMs) {
    return {QStringLiteral("SET LOCAL client_min_messages = warning"),
            QStringLiteral("SET LOCAL statement_timeout = 0"),
            QStringLiteral("SET LOCAL lock_timeout = %1").arg(lockWaitMs)};
}

// An earlier release's database moved over, in one transaction.
bool moveEarlier(QSqlDatabase& db, int lockWaitMs, MigrateResult* r, QSqlError* e) {
    QStringList statements = opening(lockWaitMs);
    statements << QString::fromUtf8(sqlFile("earlier_aside.sql"))
               << QString::fromUtf8(sqlFile("ledger.sql"));
    for (const Migration& m : migrations()) {
        statements << QString::fromUtf8(m.sql) << ledgerInsert(m);
        r->applied << m.name;
    }
    statements << QString::fromUtf8(sqlFile("earlier_back.sql"))
               << QStringLiteral("SELECT count(*) FROM quarn_sessions");
    QSqlQuery q(db);
    if (!db.transaction()) return *e = db.lastError(), false;
    for (const QString& s : statements)
        if (!q.exec(s)) {
            *e = q.lastError();
            if (db.isOpen()) db.rollback();
            return false;
        }
    r->rows = q.next() ? q.value(0).toLongLong() : 0;
    if (db.commit()) return r->moved = true;
    *e = db.lastError();
    return false;
}

// Each migration the ledger lacks, in a transaction of its own.
bool applyPending(QSqlDatabase& db, int lockWaitMs, const Say& say, MigrateResult* r,
                  QSqlError* e) {
    if (!runInTransaction(db, opening(lockWaitMs) << QString::fromUtf8(sqlFile("ledger.sql")), e))
        return false;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT version FROM quarn_schema_version")))
        return *e = q.lastError(), false;
    QList<int> done;
    while (q.next()) done << q.value(0).toInt();
    for (const Migration& m : migrations()) {
        if (done.contains(m.version)) continue;
        say(QCoreApplication::translate("Migrate", "applying %1").arg(m.name));
        if (!runInTransaction(
                db, opening(lockWaitMs) << QString::fromUtf8(m.sql) << ledgerInsert(m), e))
            return false;
        r->applied << m.name;
    }
    return true;
}

// The earlier release's move, the pending migrations, or nothing to do.
bool bringUpToDate(QSqlDatabase& db, const SchemaLook& look, int lockWaitMs, const Say& say,
                   MigrateResult* r, QSqlError* e) {
    if (look.state == SchemaLook::State::Earlier) {
        Found found;
        if (!lookAtEarlier(db, &found, e)) return false;
        sayPlan(found, say);
        return moveEarlier(db, lockWaitMs, r, e);
    }
    if (look.state == SchemaLook::State::Current) {
        say(QCoreApplication::translate(
                "Migrate", "the schema is up to date (version %1, %2): no migration to apply")
                .arg(latestVersion())
                .arg(migrations().last().name));
        return true;
    }
    return applyPending(db, lockWaitMs, say, r, e);
}

void sayDone(const MigrateResult& r, const Say& say) {
    if (r.moved)
        say(QCoreApplication::translate("Migrate", "done: %1 row(s) moved in %2 s")
                .arg(r.rows)
                .arg(r.seconds, 0, 'f', 1));
    else if (!r.applied.isEmpty())
        say(QCoreApplication::translate("Migrate",
                                        "done: %1 applied in %2 s; the schema is at version %3")
                .arg(r.applied.join(QStringLiteral(", ")))
                .arg(r.seconds, 0, 'f', 1)
                .arg(latestVersion()));
}

}  // namespace

MigrateResult migrateDatabase(const QString& databaseUrl, int lockWaitMs, const Say& say) {
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return refusal(MigrateStatus::Usage, target.error);
    pg::Connection c;
    MigrateResult r;
    if (!c.open(target, &r.error))
        return r.status = c.openProblem() == pg::Problem::Denied ? MigrateStatus::Denied
                                                                 : MigrateStatus::Unreachable,
               r;
    SchemaLook look;
    QSqlError e;
    if (!lookAtSchema(c.db(), &look, &e)) return failed(e);
    if (!look.changed.isEmpty())
        return refusal(
            MigrateStatus::Changed,
            QCoreApplication::translate(
                "Migrate",
                "the database's ledger names %1, which this program's files do not have as it "
                "was applied (changed since, or of a later version): nothing was changed")
                .arg(look.changed));
    QElapsedTimer clock;
    clock.start();
    if (!bringUpToDate(c.db(), look, lockWaitMs, say, &r, &e) ||
        !runInTransaction(c.db(), opening(lockWaitMs) << QString::fromUtf8(sqlFile("upkeep.sql")),
                          &e))
        return failed(e);
    r.seconds = clock.nsecsElapsed() / 1e9;
    sayDone(r, say);
    return r;
}

}  // namespace quarn::owner
