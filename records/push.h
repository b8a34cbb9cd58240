#pragma once
// Sending the local log's records to PostgreSQL, at least once and never
// twice. How far the log has been sent is kept beside it in LOG.sent
// ("offset line device:inode"; a log replaced by another file is sent from
// its top again), replaced atomically (a new file renamed over the old)
// after each commit; the rows go in batches, each one transaction, each
// insert idempotent by id, so a push killed at any point sends again at most
// the batch it was in and the server keeps one row per record. Pushers of the
// same log take turns on LOG.lock (flock): two at once send nothing twice.

#include <QString>
#include <QStringList>
#include <functional>

#include "records/log_reader.h"

namespace quarn::records {

struct PushRequest {
    QString logPath;
    QString databaseUrl;
    int batchSize = 1000;
    // Each warning (a damaged line) as it is met; may be empty.
    std::function<void(const QString&)> warn;
};

struct PushResult {
    enum class Status {
        Done,         // every record of the log is in the database
        Usage,        // the URL is unusable (no database, a password in it, ...)
        Unreachable,  // the server cannot be reached or refused: run again later
    };
    Status status = Status::Done;
    QString error;        // for people, when not Done
    qint64 sent = 0;      // records sent by this push
    qint64 inserted = 0;  // of those, rows the database did not have yet
    qint64 damaged = 0;   // lines skipped
    qint64 pending = 0;   // records of the log still to send
};

// Blocking: connects (waiting at most the URL's connect_timeout), creates the
// table when missing and sends every record after the sent position. Safe on
// any thread; each call uses its own connection.
PushResult pushLog(const PushRequest& request);

// Records of the log not yet sent (whole lines after LOG.sent). Quick: no
// parsing and no database.
qint64 pendingCount(const QString& logPath);

// The sent position stored beside the log ({} when none).
LogPosition sentPosition(const QString& logPath);

}  // namespace quarn::records
