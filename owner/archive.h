#pragma once
// Letting a month of quarn_sessions go, as its owner: its partition
// (quarn_sessions_YYYY_MM) detached from the table and kept under its name,
// and the summaries left equal to a recount of the rows that remain (the
// month's sessions taken off, the units that spanned it worked out again
// from their other rows, first_pass set again), in one transaction: nobody
// ever sees the month gone from the rows and not from the figures, or the
// other way round. A late record of the month goes to the default
// partition afterwards (the month is not made again while its table keeps
// the name). The detached table is the owner's to dump and drop.

#include <QString>
#include <functional>

namespace quarn::owner {

struct ArchiveResult {
    enum class Status {
        Done,         // detached
        Usage,        // the URL or the month is unusable
        Unreachable,  // the server cannot be reached or was lost
        Busy,         // the table stayed locked longer than the wait allowed
        Denied,       // not the table's owner
        Refused,      // no partition of that month, or anything else refused
    };
    Status status = Status::Done;
    QString error;    // for people, unless Done
    QString table;    // quarn_sessions_2026_01
    qint64 rows = 0;  // the rows it took with it
    double seconds = 0;
};

// month: "2026-01". Connects, detaches the month's partition and moves the
// summaries (quarn_sessions_archive, database/sql/0004_summaries.sql),
// waiting at most lockWaitMs for each lock, telling
// `say` what it did and how to keep the table in a file.
ArchiveResult archiveMonth(const QString& databaseUrl, const QString& month, int lockWaitMs,
                           const std::function<void(const QString&)>& say);

}  // namespace quarn::owner
