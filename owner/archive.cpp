#include "owner/archive.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlQuery>

#include "database/ledger.h"
#include "pg/connection.h"

namespace quarn::owner {

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
    r.error = pg::describe(e);
    switch (pg::problemOf(e)) {
        case pg::Problem::Busy:
            r.status = ArchiveStatus::Busy;
            break;
        case pg::Problem::Denied:
            r.status = ArchiveStatus::Denied;
            r.error = pg::notPermittedText(
                QCoreApplication::translate("Connection", "archiving a month"),
                QCoreApplication::translate("Connection", "that owns quarn_sessions"));
            break;
        case pg::Problem::Lost:
            r.status = ArchiveStatus::Unreachable;
            break;
        case pg::Problem::Refused:
            r.status = ArchiveStatus::Refused;
            break;
    }
    return r;
}

// The month detached and its figures moved (quarn_sessions_archive), in one
// transaction; false with *e when it failed (and nothing changed).
bool detach(QSqlDatabase& db, int lockWaitMs, const QDate& month, qint64* rows, QSqlError* e) {
    if (!db.transaction()) return *e = db.lastError(), false;
    QSqlQuery q(db);
    const QStringList limits{QStringLiteral("SET LOCAL client_min_messages = warning"),
                             QStringLiteral("SET LOCAL statement_timeout = 0"),
                             QStringLiteral("SET LOCAL lock_timeout = %1").arg(lockWaitMs)};
    bool ok = true;
    for (const QString& s : limits) ok = ok && q.exec(s);
    ok = ok && q.prepare(QStringLiteral("SELECT quarn_sessions_archive(?::date)"));
    if (ok) q.addBindValue(month.toString(Qt::ISODate));
    if (ok && q.exec() && q.next()) {
        *rows = q.value(0).toLongLong();
        if (db.commit()) return true;
        return *e = db.lastError(), false;
    }
    *e = q.lastError();
    if (db.isOpen()) db.rollback();
    return false;
}

}  // namespace

ArchiveResult archiveMonth(const QString& databaseUrl, const QString& month, int lockWaitMs,
                           const std::function<void(const QString&)>& say) {
    const QDate first = QDate::fromString(month + QStringLiteral("-01"), Qt::ISODate);
    if (month.size() != 7 || !first.isValid())
        return refusal(
            ArchiveStatus::Usage,
            QCoreApplication::translate("Archive", "archive wants a month (2026-01), not \"%1\"")
                .arg(month));
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return refusal(ArchiveStatus::Usage, target.error);
    pg::Connection c;
    ArchiveResult r;
    r.table = QStringLiteral("quarn_sessions_") + first.toString(QStringLiteral("yyyy_MM"));
    if (!c.open(target, &r.error))
        return r.status = c.openProblem() == pg::Problem::Denied ? ArchiveStatus::Denied
                                                                 : ArchiveStatus::Unreachable,
               r;
    database::SchemaLook schema;
    QSqlError e;
    if (!database::lookAtSchema(c.db(), &schema, &e)) return archiveFailure(e);
    if (schema.state != database::SchemaLook::State::Current)
        return refusal(ArchiveStatus::Refused, database::schemaBehindText(schema));
    QElapsedTimer clock;
    clock.start();
    if (!detach(c.db(), lockWaitMs, first, &r.rows, &e))
        return e.nativeErrorCode() == QLatin1String("42P01")  // quarn_sessions_archive's word
                   ? refusal(ArchiveStatus::Refused,
                             QCoreApplication::translate("Archive",
                                                         "quarn_sessions has no partition %1 "
                                                         "(archived already, or no record of %2 "
                                                         "came)")
                                 .arg(r.table, month))
                   : archiveFailure(e);
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

}  // namespace quarn::owner
