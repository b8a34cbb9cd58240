#pragma once
// The schema as SQL files (database/sql/, compiled in as Qt resources): the
// numbered migrations NNNN_name.sql, applied in order, each once, and the
// files around them: ledger.sql (the ledger quarn_schema_version, made
// before the first migration), upkeep.sql (run by the owner after them each
// time), roles.sql (the group roles, for the server's superuser) and
// earlier_aside.sql / earlier_back.sql (the one move of a database an
// earlier release made, around the migrations).
//
// Contract
// - migrations() are every numbered file, by version; the versions run 1,
//   2, 3, ... with none missing (a test holds the files to it). A file is
//   never changed once released: the ledger keeps each file's sha256 as it
//   was applied, and migrate refuses a database whose ledger names a file
//   that changed. A change is a new file with the next number.
// - Nothing here is assembled from the files' pieces: what the server runs
//   is each file as it stands. schemaScript() only wraps each migration so
//   that it runs when the ledger lacks it (its version, name and sha256 are
//   the values filled in).

#include <QByteArray>
#include <QList>
#include <QString>

namespace quarn::database {

struct Migration {
    int version = 0;    // 7 for 0007_roles.sql
    QString name;       // "0007_roles.sql"
    QByteArray sql;     // the file as it stands
    QByteArray sha256;  // of sql, hex
};

const QList<Migration>& migrations();
// The version the numbered files bring a database to (the last one's).
int latestVersion();

// One of the other files of database/sql/ ("ledger.sql", ...), as it stands.
QByteArray sqlFile(const char* name);

// The statement that records a migration in the ledger.
QString ledgerInsert(const Migration& m);

// What `quarn-records schema` prints: one transaction (BEGIN; ... COMMIT;)
// of schemaBody(), which makes the ledger when missing, then applies each
// migration the ledger lacks, recording it, then the upkeep. Applied to a
// database made by an earlier release, it is refused before changing
// anything.
QString schemaScript();
QString schemaBody();
// What `quarn-records schema --roles` prints: roles.sql, in one transaction.
QString rolesScript();
// What `quarn-records schema --refill` prints: the summaries counted again
// from every row, in the pushes' turn (quarn_summaries_refill, 0004).
QString refillScript();
// Its one statement, for a connection of the caller's own.
QString refillStatement();

}  // namespace quarn::database
