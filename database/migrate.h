#pragma once
// Moving a quarn_sessions made by an earlier version (a plain table, id its
// primary key) over to the table partitioned by month (database/schema.h),
// as its owner: every row with its id, first_pass and the server's stamps as
// they are, the indexes, view and triggers made again, each grant of the old
// table and view given to the new ones.
//
// One transaction, not resumable steps: a failure anywhere leaves the old
// table as it was, and nobody ever sees half the rows. The table is locked
// for the copy (ACCESS EXCLUSIVE): pushes wait their time limit, end as
// busy and send later (their records stay in the stations' logs), reports
// wait. The copy needs the table's size again on disk until the old one is
// dropped at commit; on this machine about a million rows take tens of
// seconds (the copy, then the indexes built once).

#include <QString>
#include <QStringList>
#include <functional>

namespace quarn::database {

struct MigrateResult {
    enum class Status {
        Done,         // moved, or partitioned already (nothing changed)
        Usage,        // the URL is unusable
        Unreachable,  // the server cannot be reached or was lost
        Busy,         // the table stayed locked longer than the wait allowed
        Denied,       // not the table's owner
        Refused,      // anything else the server would not do (no table, ...)
    };
    Status status = Status::Done;
    QString error;       // for people, unless Done
    bool moved = false;  // false: partitioned already
    qint64 rows = 0;     // rows moved
    double seconds = 0;  // the transaction's time
};

// The statements of the move, in order, for one transaction.
QStringList migrateStatements();

// Connects, tells `say` what it finds and will do, moves the table (waiting
// at most lockWaitMs for its lock) and says how long it took.
MigrateResult migrateSessions(const QString& databaseUrl, int lockWaitMs,
                              const std::function<void(const QString&)>& say);

}  // namespace quarn::database
