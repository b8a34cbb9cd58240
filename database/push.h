#pragma once
// Sending the local log's records to PostgreSQL, at least once and never
// twice. How far the log has been sent is kept beside it in LOG.sent
// ("offset line device:inode"), replaced atomically (a new file renamed over
// the old) after each commit; the rows go in batches, each one transaction,
// each insert idempotent by id, so a push killed at any point sends again at
// most the batches it had in flight and the server keeps one row per record.
// With more than one batch waiting, two are in flight at once on two
// connections (database/batch_lanes.h); LOG.sent passes a batch only once
// every batch before it is in. A month's partition is made in a transaction
// of its own before the rows that need it.
//
// Contract
// - Time limits: every transaction sets lock_timeout and statement_timeout
//   (statementLimitMs), so a table or lock another session holds ends the
//   push as Busy instead of holding it for ever. What a failure means is
//   taken from its SQLSTATE, never from its text.
// - One push per log: a push holds LOG.lock (flock) while it runs. One that
//   finds it held ends at once as Handed: the holder sends those records too,
//   because a holder lets go only when nothing is pending, and after letting
//   go looks again (taking the lock again when records came meanwhile). A
//   push with `again` keeps the lock between its attempts. One with
//   `wakeHolder` that finds the lock held, or that sent records, sets the
//   lock file's times, which pushers waiting between attempts watch
//   (pushLockPath): they try again at once instead of at their next minute.
// - Rotation: LOG.sent names each file by a fingerprint of its content
//   (recordlog/log_files.h), so a rename or a compression while or after it
//   is read leaves the mark naming it. Every file logrotate made of the log
//   (LOG.1, LOG.2.gz, ...) whose records have not all arrived is sent from
//   its stored position (its top when LOG.sent knows it not), oldest first,
//   then LOG. A log replaced in any other way is sent from its top.
// - Refused data: a batch the server refuses for its data (SQLSTATE class 22
//   or 23) is sent again row by row; each row refused is kept whole in
//   LOG.rejected (database/push_rejected.h) with its line number and the
//   server's reason, warned about, and passed by the mark; the push goes on.
// - Cancel: PushCancel ends a push from another thread at once; what it had
//   not committed stays in the log for the next push.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "recordlog/log_reader.h"

namespace quarn::records {

class PushCancel;

// How long one statement, or the wait for one lock, may take: 30 s, or
// QUARN_PUSH_TIME_LIMIT seconds when that is set to a whole number above 0.
constexpr int kStatementLimitS = 30;
int statementLimitMs();

struct PushResult {
    enum class Status {
        Done,         // every record of the log is in the database
        Usage,        // the URL is unusable (no database, a password in it, ...)
        Unreachable,  // the server cannot be reached, was lost or refused: run again later
        Busy,         // a lock or a statement took longer than the time limit: run again later
        Denied,       // the database refused for lack of rights (the role needed is in error)
        Handed,       // another push of the log is running: it sends these records
        Cancelled,    // stopped through PushCancel
    };
    Status status = Status::Done;
    QString error;        // for people, when neither Done nor Handed
    qint64 sent = 0;      // records sent by this push
    qint64 inserted = 0;  // of those, rows the database did not have yet
    qint64 damaged = 0;   // lines skipped
    qint64 rejected = 0;  // lines the server refused, kept in LOG.rejected
    qint64 pending = 0;   // records of the log still to send
};

struct PushRequest {
    QString logPath;
    QString databaseUrl;
    int batchSize = 1000;
    // Each warning (a damaged or refused line, with its line number) as it
    // is met; may be empty.
    std::function<void(const QString&)> warn;
    // After a failed attempt (Unreachable or Busy), with the log's lock still
    // held: true to try again (it waits first as it likes). Empty: one attempt.
    std::function<bool(const PushResult&)> again;
    std::shared_ptr<PushCancel> cancel;  // may be empty
    int limitMs = statementLimitMs();
    // Wake the pushers of the log waiting between attempts (when another
    // holds the log, or when this one sent records): a push run by hand.
    bool wakeHolder = false;
};

// Blocking: connects (waiting at most the URL's connect_timeout), creates the
// schema when a part of it is missing (only then: a station's role, which
// may only insert, works on a schema its owner made) and sends every record
// after the sent position. Safe on
// any thread; each call uses its own connection.
PushResult pushLog(const PushRequest& request);

// LOG.lock: held while a push runs; its times set to wake the holder.
QString pushLockPath(const QString& logPath);

// "another push of LOG is running; it sends these records"
QString handedText(const QString& logPath);

// True while a push of the log holds its lock (a try that never waits).
bool pushRunning(const QString& logPath);

// Records of the log not yet sent (whole lines after LOG.sent's position,
// in every file logrotate made of it too). Quick: no parsing and no database.
qint64 pendingCount(const QString& logPath);

}  // namespace quarn::records
