#pragma once
// What a push keeps beside the local log besides LOG.sent (which
// recordlog/log_files.h reads and writes): LOG.lock, held while a push runs,
// its times set to wake pushers waiting between attempts, and the count of
// records still to send. What the push (push/push.h) does with them is said
// there; here is only what needs no database.
//
// Contract
// - Quick: nothing here parses a record or opens a connection.

#include <QString>

namespace quarn::recordlog {

// LOG.lock: held while a push runs; its times set to wake the holder.
QString pushLockPath(const QString& logPath);

// "another push of LOG is running; it sends these records"
QString handedText(const QString& logPath);

// True while a push of the log holds its lock (a try that never waits).
bool pushRunning(const QString& logPath);

// Records of the log not yet sent (whole lines after LOG.sent's position,
// in every file logrotate made of it too).
qint64 pendingCount(const QString& logPath);

}  // namespace quarn::recordlog
