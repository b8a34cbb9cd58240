#pragma once
// Bringing a database up to date, as its owner (`quarn-records migrate`):
// the migrations its ledger lacks (database/migrations.h), each in a
// transaction of its own, whole or not at all; or, for a database an
// earlier release made (no ledger), the one move to this version's schema
// in one transaction: its tables set aside, the schema made, every row
// copied as it is (ids, first_pass, the server's stamps, the plant's own
// columns of quarn_sessions), the approved list and the sockets' service
// log with it, each grant of the old tables and view given to the new
// ones, the summaries counted from the rows, the old tables dropped. Then,
// each time, the upkeep (months of records waiting in the default
// partition made).
//
// A database whose ledger names a migration whose file changed since it was
// applied (or one this program does not have) is refused before anything
// changes: it is not what this program's files say.
//
// The move of an earlier release's database locks quarn_sessions
// (ACCESS EXCLUSIVE): pushes wait their time limit, end as busy and send
// later (their records stay in the stations' logs), reports wait. The copy
// needs the table's size again on disk until the old one is dropped at
// commit; a failure anywhere leaves the old tables as they were.

#include <QString>
#include <QStringList>
#include <functional>

namespace quarn::owner {

struct MigrateResult {
    enum class Status {
        Done,         // up to date (perhaps nothing changed)
        Usage,        // the URL is unusable
        Unreachable,  // the server cannot be reached or was lost
        Busy,         // a table stayed locked longer than the wait allowed
        Denied,       // not the owner
        Changed,      // the ledger names a migration whose file changed
        Refused,      // anything else the server would not do
    };
    Status status = Status::Done;
    QString error;        // for people, unless Done
    QStringList applied;  // the migrations applied, by name
    bool moved = false;   // an earlier release's database moved over
    qint64 rows = 0;      // rows moved
    double seconds = 0;
};

// Connects, tells `say` what it finds and will do, does it (waiting at most
// lockWaitMs for each lock) and says what it did and how long it took.
MigrateResult migrateDatabase(const QString& databaseUrl, int lockWaitMs,
                              const std::function<void(const QString&)>& say);

}  // namespace quarn::owner
