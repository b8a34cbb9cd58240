#include "database/migrate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QStringBuilder>

#include "database/connection.h"
#include "database/schema.h"

namespace quarn::records {

namespace {

using MigrateStatus = MigrateResult::Status;

const char kOld[] = "quarn_sessions_unpartitioned";

// Gives `to` every grant of `from` (the table's, and each column's that `to`
// has too), as the owner gives them.
QString copyGrants(const QString& from, const QString& to) {
    return QStringLiteral(
               "DO $m$ DECLARE g record; BEGIN\n"
               "  FOR g IN SELECT a.privilege_type AS p, NULL::text AS col, a.grantee,\n"
               "      a.is_grantable FROM pg_class c, aclexplode(c.relacl) a\n"
               "      WHERE c.oid = to_regclass('%1') AND a.grantee <> c.relowner\n"
               "    UNION ALL SELECT a.privilege_type, quote_ident(t.attname), a.grantee,\n"
               "      a.is_grantable FROM pg_attribute t, aclexplode(t.attacl) a\n"
               "      WHERE t.attrelid = to_regclass('%1') AND NOT t.attisdropped\n"
               "        AND EXISTS (SELECT FROM pg_attribute x WHERE x.attrelid = "
               "to_regclass('%2')\n"
               "          AND x.attname = t.attname AND NOT x.attisdropped) LOOP\n"
               "    EXECUTE format('GRANT %s%s ON %I TO %s%s', g.p,\n"
               "      coalesce(' (' || g.col || ')', ''), '%2',\n"
               "      CASE WHEN g.grantee = 0 THEN 'PUBLIC' ELSE "
               "quote_ident(pg_get_userbyid(g.grantee)) END,\n"
               "      CASE WHEN g.is_grantable THEN ' WITH GRANT OPTION' ELSE '' END);\n"
               "  END LOOP;\n"
               "END $m$;\n")
        .arg(from, to);
}

// The columns the plant added to its old table itself, made on the new one
// as they were (type, default, NOT NULL) before its partitions, so that the
// copy carries their values over.
QString carryOwnColumns() {
    return QStringLiteral(
               "DO $m$ DECLARE c record; BEGIN\n"
               "  FOR c IN SELECT o.attname, format_type(o.atttypid, o.atttypmod) AS type,\n"
               "      o.attnotnull, pg_get_expr(d.adbin, d.adrelid) AS def\n"
               "      FROM pg_attribute o LEFT JOIN pg_attrdef d ON d.adrelid = o.attrelid\n"
               "        AND d.adnum = o.attnum\n"
               "      WHERE o.attrelid = to_regclass('%1') AND o.attnum > 0 AND NOT "
               "o.attisdropped\n"
               "        AND NOT EXISTS (SELECT FROM pg_attribute n WHERE n.attrelid =\n"
               "          to_regclass('quarn_sessions') AND n.attname = o.attname)\n"
               "      ORDER BY o.attnum LOOP\n"
               "    EXECUTE format('ALTER TABLE quarn_sessions ADD COLUMN %I %s%s%s', c.attname,"
               " c.type,\n"
               "      coalesce(' DEFAULT ' || c.def, ''), CASE WHEN c.attnotnull THEN ' NOT NULL'"
               " ELSE '' END);\n"
               "  END LOOP;\n"
               "END $m$;\n")
        .arg(QLatin1String(kOld));
}

// Every row, each column the old table has (a very old one lacks some: they
// stay NULL), then a count of both, which must agree.
QString copyRows() {
    return QStringLiteral(
               "DO $m$ DECLARE cols text; BEGIN\n"
               "  SELECT string_agg(quote_ident(n.attname), ', ' ORDER BY n.attnum) INTO cols\n"
               "    FROM pg_attribute n JOIN pg_attribute o ON o.attname = n.attname\n"
               "      AND o.attrelid = to_regclass('%1') AND NOT o.attisdropped\n"
               "    WHERE n.attrelid = to_regclass('quarn_sessions') AND n.attnum > 0\n"
               "      AND NOT n.attisdropped;\n"
               "  EXECUTE format('INSERT INTO quarn_sessions (%s) SELECT %s FROM %I', cols, cols,"
               " '%1');\n"
               "  IF (SELECT count(*) FROM quarn_sessions) <> (SELECT count(*) FROM %1) THEN\n"
               "    RAISE EXCEPTION 'the rows copied are not the rows of %1';\n"
               "  END IF;\n"
               "END $m$;\n")
        .arg(QLatin1String(kOld));
}

}  // namespace

QStringList migrateStatements() {
    const QString old = QLatin1String(kOld);
    QStringList s{
        QStringLiteral("LOCK TABLE quarn_sessions IN ACCESS EXCLUSIVE MODE;\n"),
        QStringLiteral("ALTER TABLE quarn_sessions RENAME TO %1;\n").arg(old),
        QStringLiteral("ALTER VIEW IF EXISTS quarn_yield_daily RENAME TO "
                       "quarn_yield_daily_unpartitioned;\n"),
        // Its indexes bear the names the new table's take.
        QStringLiteral("DO $m$ DECLARE i name; BEGIN\n"
                       "  FOR i IN SELECT c.relname FROM pg_index x JOIN pg_class c\n"
                       "      ON c.oid = x.indexrelid WHERE x.indrelid = to_regclass('%1') LOOP\n"
                       "    EXECUTE format('ALTER INDEX %I RENAME TO %I', i, left(i, 40) ||"
                       " '_unpartitioned');\n"
                       "  END LOOP;\n"
                       "END $m$;\n")
            .arg(old),
        schemaStatements().first(), carryOwnColumns()};
    // The rows as they are: no trigger stamps or judges them again; the
    // indexes are built once, after the copy.
    s += partitionStatements();
    s << QStringLiteral("ALTER TABLE quarn_sessions DISABLE TRIGGER USER;\n")
      << QStringLiteral(
             "SELECT quarn_sessions_months(ARRAY(SELECT DISTINCT date_trunc('month', "
             "started, 'UTC') FROM %1 WHERE started IS NOT NULL));\n")
             .arg(old)
      << copyRows() << QStringLiteral("ALTER TABLE quarn_sessions ENABLE TRIGGER USER;\n");
    s += schemaStatements();
    s << copyGrants(old, QStringLiteral("quarn_sessions"))
      << copyGrants(QStringLiteral("quarn_yield_daily_unpartitioned"),
                    QStringLiteral("quarn_yield_daily"))
      << QStringLiteral("DROP VIEW IF EXISTS quarn_yield_daily_unpartitioned;\n")
      << QStringLiteral("DROP TABLE %1;\n").arg(old);
    return s;
}

namespace {

// What the table is now: its kind ('r' plain, 'p' partitioned, empty: none),
// rows and months of rows.
struct Found {
    QString kind;
    qint64 rows = 0, months = 0;
    QString first, last;  // "2026-01"
    QStringList own;      // columns the plant added itself: "note text"
};

// The old table's columns that the schema does not make: the plant's own.
bool ownColumns(QSqlDatabase& db, QStringList* own, QSqlError* e) {
    QStringList ours{QStringLiteral("first_pass"), QStringLiteral("pushed_by"),
                     QStringLiteral("received_at"), QStringLiteral("server_approved")};
    for (const Column& c : columns()) ours << QLatin1String(c.key);
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

bool look(QSqlDatabase& db, Found* found, QSqlError* e) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT relkind FROM pg_class WHERE oid = "
                               "to_regclass('quarn_sessions')")))
        return *e = q.lastError(), false;
    found->kind = q.next() ? q.value(0).toString() : QString();
    if (found->kind != QLatin1String("r")) return true;
    if (!q.exec(QStringLiteral(
            "SELECT count(*), count(DISTINCT date_trunc('month', started, 'UTC')),"
            " to_char(min(started) AT TIME ZONE 'UTC', 'YYYY-MM'),"
            " to_char(max(started) AT TIME ZONE 'UTC', 'YYYY-MM') FROM quarn_sessions")) ||
        !q.next())
        return *e = q.lastError(), false;
    *found = {found->kind,           q.value(0).toLongLong(), q.value(1).toLongLong(),
              q.value(2).toString(), q.value(3).toString(),   {}};
    return ownColumns(db, &found->own, e);
}

MigrateResult failed(const QSqlError& e) {
    MigrateResult r;
    r.error = describe(e);
    switch (problemOf(e)) {
        case Problem::Busy:
            r.status = MigrateStatus::Busy;
            break;
        case Problem::Denied:
            r.status = MigrateStatus::Denied;
            r.error = notPermittedText(
                QCoreApplication::translate("Connection", "migrating quarn_sessions"),
                QCoreApplication::translate("Connection", "that owns it"));
            break;
        case Problem::Lost:
            r.status = MigrateStatus::Unreachable;
            break;
        case Problem::Refused:
            r.status = MigrateStatus::Refused;
            break;
    }
    return r;
}

void sayPlan(const Found& f, const std::function<void(const QString&)>& say) {
    say(QCoreApplication::translate("Migrate",
                                    "quarn_sessions: %1 row(s) in %2 month(s) (%3 to %4), a plain "
                                    "table made by an earlier version")
            .arg(f.rows)
            .arg(f.months)
            .arg(f.first.isEmpty() ? QStringLiteral("-") : f.first,
                 f.last.isEmpty() ? QStringLiteral("-") : f.last));
    say(QCoreApplication::translate(
        "Migrate",
        "in one transaction, the table locked meanwhile (pushes end as busy and send later):\n"
        "  rename it to quarn_sessions_unpartitioned; make quarn_sessions partitioned by month\n"
        "  (a partition per month, a default one); copy every row as it is (ids, first_pass,\n"
        "  the server's stamps); make the indexes, view and triggers; give the new table and\n"
        "  view the old ones' grants; drop the old table"));
    if (!f.own.isEmpty())
        say(QCoreApplication::translate("Migrate",
                                        "the plant's own columns go over with their values: %1")
                .arg(f.own.join(QStringLiteral(", "))));
}

// The move itself, in one transaction; false with *e when it failed (and
// nothing changed).
bool move(QSqlDatabase& db, int lockWaitMs, qint64* rows, QSqlError* e) {
    if (!db.transaction()) return *e = db.lastError(), false;
    QSqlQuery q(db);
    const QStringList statements =
        QStringList{QStringLiteral("SET LOCAL client_min_messages = warning"),
                    QStringLiteral("SET LOCAL statement_timeout = 0"),
                    QStringLiteral("SET LOCAL lock_timeout = %1").arg(lockWaitMs)} +
        migrateStatements() + QStringList{QStringLiteral("SELECT count(*) FROM quarn_sessions")};
    for (const QString& s : statements)
        if (!q.exec(s)) {
            *e = q.lastError();
            if (db.isOpen()) db.rollback();
            return false;
        }
    *rows = q.next() ? q.value(0).toLongLong() : 0;
    if (db.commit()) return true;
    *e = db.lastError();
    return false;
}

}  // namespace

MigrateResult migrateSessions(const QString& databaseUrl, int lockWaitMs,
                              const std::function<void(const QString&)>& say) {
    const DatabaseTarget target = parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return {MigrateStatus::Usage, target.error};
    Connection c;
    MigrateResult r;
    if (!c.open(target, &r.error))
        return r.status = c.openProblem() == Problem::Denied ? MigrateStatus::Denied
                                                             : MigrateStatus::Unreachable,
               r;
    Found found;
    QSqlError e;
    if (!look(c.db(), &found, &e)) return failed(e);
    if (found.kind.isEmpty())
        return {MigrateStatus::Refused,
                QCoreApplication::translate("Migrate",
                                            "the database has no quarn_sessions table: apply "
                                            "`quarn-records schema` as its owner")};
    if (found.kind == QLatin1String("p")) {
        say(QCoreApplication::translate(
            "Migrate", "quarn_sessions is partitioned by month already: nothing to do"));
        return r;
    }
    sayPlan(found, say);
    QElapsedTimer clock;
    clock.start();
    if (!move(c.db(), lockWaitMs, &r.rows, &e)) return failed(e);
    r.moved = true;
    r.seconds = clock.nsecsElapsed() / 1e9;
    say(QCoreApplication::translate("Migrate", "done: %1 row(s) moved in %2 s")
            .arg(r.rows)
            .arg(r.seconds, 0, 'f', 1));
    return r;
}

}  // namespace quarn::records
