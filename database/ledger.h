#pragma once
// What a database has, asked of its ledger (quarn_schema_version) once per
// connection, and the migrations applied to it.
//
// Contract
// - lookAtSchema() runs one statement (two when the ledger is missing) and
//   never changes anything; any login may run it (the ledger is readable
//   by every role).
// - A program that needs the schema and finds it Earlier or Behind says so
//   (schemaBehindText) and names `quarn-records migrate`; only migrate and
//   the owner's first push of an empty database change the schema.

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <functional>

#include "database/migrations.h"

namespace quarn::database {

struct SchemaLook {
    enum class State {
        Current,  // every migration of this program is applied (later ones may be too)
        Behind,   // the ledger lacks some of this program's migrations
        Earlier,  // no ledger, but quarn_sessions: made by an earlier release
        Empty,    // no ledger and no quarn_sessions: no schema at all
    };
    State state = State::Empty;
    int version = 0;  // the ledger's latest
    // The first migration of the ledger whose file this program has not as
    // it was applied (changed since, or of a later version); empty when none.
    QString changed;
    // This login may read every summary (the views quarn_summary_*).
    bool readsSummaries = false;
};

// False with *error when the server would not answer.
bool lookAtSchema(QSqlDatabase& db, SchemaLook* look, QSqlError* error);

// "the database ... : its owner brings it up to date with `quarn-records
// migrate`", for a look that is Earlier or Behind.
QString schemaBehindText(const SchemaLook& look);

// The schema's whole script in the connection's one transaction, as the
// owner: the ledger made, every migration the ledger lacks applied and
// recorded, the upkeep. Two sessions doing it at once take turns. False
// with *error (nothing changed).
bool applySchema(QSqlDatabase& db, QSqlError* error);

// Statements run in one transaction after `SET LOCAL`s of the session's
// own (limits), rolled back when one fails; false with *error.
bool runInTransaction(QSqlDatabase& db, const QStringList& statements, QSqlError* error);

}  // namespace quarn::database
