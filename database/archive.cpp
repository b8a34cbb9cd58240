#include "database/archive.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlQuery>

#include "database/connection.h"
#include "database/schema.h"

namespace quarn::records {

namespace {

using ArchiveStatus = ArchiveResult::Status;

ArchiveResult refusal(ArchiveStatus status, const QString& why) {
    ArchiveResult r;
    r.status = status;
    r.error = why;
    return r;
}

ArchiveResult archiveFailure(const QSqlError& e) {
    ArchiveResult r;
    r.error = describe(e);
    switch (problemOf(e)) {
        case Problem::Busy:
            r.status = ArchiveStatus::Busy;
            break;
        case Problem::Denied:
            r.status = ArchiveStatus::Denied;
            r.error = notPermittedText(
                QCoreApplication::translate("Connection", "archiving a month"),
                QCoreApplication::translate("Connection", "that owns quarn_sessions"));
            break;
        case Problem::Lost:
            r.status = ArchiveStatus::Unreachable;
            break;
        case Problem::Refused:
            r.status = ArchiveStatus::Refused;
            break;
    }
    return r;
}

// True when the table is a partition of quarn_sessions now.
bool isPartition(QSqlDatabase& db, const QString& table, bool* yes, QSqlError* e) {
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("SELECT EXISTS (SELECT FROM pg_inherits WHERE inhparent ="
                                  " to_regclass('quarn_sessions') AND inhrelid = to_regclass(?))")))
        return *e = q.lastError(), false;
    q.addBindValue(table);
    if (!q.exec() || !q.next()) return *e = q.lastError(), false;
    *yes = q.value(0).toBool();
    return true;
}

// The statements in one transaction; false with *e when one failed (and
// nothing changed).
bool detach(QSqlDatabase& db, const QStringList& statements, qint64* rows, QSqlError* e) {
    if (!db.transaction()) return *e = db.lastError(), false;
    QSqlQuery q(db);
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

QStringList archiveStatements(const QString& table) {
    // The pushes' turn first, as they take it: no push's upkeep runs
    // between the detach and the figures' move.
    return {QStringLiteral("UPDATE quarn_push_lock SET turn = true"),
            QStringLiteral("ALTER TABLE quarn_sessions DETACH PARTITION %1").arg(table),
            summaryChangeSql(table, QString(), firstPassUpkeepSql()),
            QStringLiteral("SELECT count(*) FROM %1").arg(table)};
}

ArchiveResult archiveMonth(const QString& databaseUrl, const QString& month, int lockWaitMs,
                           const std::function<void(const QString&)>& say) {
    const QDate first = QDate::fromString(month + QStringLiteral("-01"), Qt::ISODate);
    if (month.size() != 7 || !first.isValid())
        return refusal(
            ArchiveStatus::Usage,
            QCoreApplication::translate("Archive", "archive wants a month (2026-01), not \"%1\"")
                .arg(month));
    const DatabaseTarget target = parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return refusal(ArchiveStatus::Usage, target.error);
    Connection c;
    ArchiveResult r;
    r.table = QStringLiteral("quarn_sessions_") + first.toString(QStringLiteral("yyyy_MM"));
    if (!c.open(target, &r.error))
        return r.status = c.openProblem() == Problem::Denied ? ArchiveStatus::Denied
                                                             : ArchiveStatus::Unreachable,
               r;
    bool partition = false;
    QSqlError e;
    if (!isPartition(c.db(), r.table, &partition, &e)) return archiveFailure(e);
    if (!partition)
        return refusal(ArchiveStatus::Refused,
                       QCoreApplication::translate("Archive",
                                                   "quarn_sessions has no partition %1 (archived "
                                                   "already, or no record of %2 came)")
                           .arg(r.table, month));
    QElapsedTimer clock;
    clock.start();
    const QStringList statements =
        QStringList{QStringLiteral("SET LOCAL client_min_messages = warning"),
                    QStringLiteral("SET LOCAL statement_timeout = 0"),
                    QStringLiteral("SET LOCAL lock_timeout = %1").arg(lockWaitMs)} +
        archiveStatements(r.table);
    if (!detach(c.db(), statements, &r.rows, &e)) return archiveFailure(e);
    r.seconds = clock.nsecsElapsed() / 1e9;
    say(QCoreApplication::translate("Archive",
                                    "%1 detached: %2 row(s) of %3 left quarn_sessions and its "
                                    "summaries in %4 s")
            .arg(r.table)
            .arg(r.rows)
            .arg(month)
            .arg(r.seconds, 0, 'f', 1));
    say(QCoreApplication::translate("Archive",
                                    "to keep it in a file, as the owner: pg_dump -t %1 DATABASE > "
                                    "%1.sql; then DROP TABLE %1")
            .arg(r.table));
    return r;
}

}  // namespace quarn::records
