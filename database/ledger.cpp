#include "database/ledger.h"

#include <QCoreApplication>
#include <QHash>
#include <QSqlQuery>

namespace quarn::database {

namespace {

using State = SchemaLook::State;

// The ledger's rows, and whether this login reads the summaries.
const char kLedger[] =
    "SELECT v.version, v.name, v.sha256,"
    " (SELECT coalesce(bool_and(has_table_privilege(c.oid, 'SELECT')), false) FROM pg_class c"
    "  WHERE c.relname LIKE 'quarn\\_summary\\_%' AND c.relkind IN ('r', 'v')"
    "  AND c.relnamespace = current_schema()::regnamespace)"
    " FROM quarn_schema_version v ORDER BY v.version";

void compare(const QSqlQuery& q, SchemaLook* look, QHash<int, bool>* applied) {
    const int version = q.value(0).toInt();
    look->version = qMax(look->version, version);
    look->readsSummaries = q.value(3).toBool();
    (*applied)[version] = true;
    if (!look->changed.isEmpty()) return;
    for (const Migration& m : migrations())
        if (m.version == version && m.sha256 == q.value(2).toByteArray()) return;
    look->changed = q.value(1).toString();
}

}  // namespace

bool lookAtSchema(QSqlDatabase& db, SchemaLook* look, QSqlError* error) {
    *look = SchemaLook();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QLatin1String(kLedger))) {
        if (q.lastError().nativeErrorCode() != QLatin1String("42P01"))  // no ledger
            return *error = q.lastError(), false;
        if (!q.exec(QStringLiteral("SELECT to_regclass('quarn_sessions') IS NOT NULL")) ||
            !q.next())
            return *error = q.lastError(), false;
        look->state = q.value(0).toBool() ? State::Earlier : State::Empty;
        return true;
    }
    QHash<int, bool> applied;
    while (q.next()) compare(q, look, &applied);
    look->state = State::Current;
    for (const Migration& m : migrations())
        if (!applied.contains(m.version)) look->state = State::Behind;
    return true;
}

QString schemaBehindText(const SchemaLook& look) {
    if (look.state == State::Earlier)
        return QCoreApplication::translate(
            "Migrate",
            "the database was made by an earlier version of Quarn Download: its owner brings it "
            "up to date with `quarn-records migrate`");
    return QCoreApplication::translate("Migrate",
                                       "the database's schema is at version %1, this program's "
                                       "at %2: its owner brings it up to date with "
                                       "`quarn-records migrate`")
        .arg(look.version)
        .arg(latestVersion());
}

bool runInTransaction(QSqlDatabase& db, const QStringList& statements, QSqlError* error) {
    if (!db.transaction()) return *error = db.lastError(), false;
    QSqlQuery q(db);
    for (const QString& s : statements)
        if (!q.exec(s)) {
            *error = q.lastError();
            if (db.isOpen()) db.rollback();
            return false;
        }
    if (db.commit()) return true;
    *error = db.lastError();
    return false;
}

bool applySchema(QSqlDatabase& db, QSqlError* error) {
    return runInTransaction(
        db,
        {QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('quarn_schema_version'))"),
         schemaBody()},
        error);
}

}  // namespace quarn::database
