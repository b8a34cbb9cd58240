#pragma once
// How far the local log has been sent to the database, and the files a push
// keeps beside the log: LOG.sent ("offset line device:inode", replaced
// atomically after each commit), LOG.lock (held while a push runs; its
// times set to wake pushers waiting between attempts) and the rotated log
// LOG.1 (logrotate's name) while LOG.sent still names it. What the push
// (push/push.h) does with them is said there; here is only their reading and
// writing, which needs no database.
//
// Contract
// - The identity in LOG.sent is the device and inode of the file the push
//   has open, not of the path: a rename while it reads leaves the mark
//   naming the renamed file.
// - Quick: nothing here parses a record or opens a connection.

#include <QByteArray>
#include <QString>

#include "recordlog/log_reader.h"

namespace quarn::records {

// LOG.sent as stored: a position in the file of that identity.
struct SentMark {
    LogPosition position;
    QByteArray identity;
};

// A file's device and inode ("dev:ino"); empty when it cannot be stat'ed.
QByteArray fileIdentity(const QString& path);

// LOG.sent as stored ({} when missing or damaged).
SentMark readSentMark(const QString& logPath);

// How far the file of that identity (the log, or the rotated log) is sent,
// stored atomically; false with *why when it cannot be written.
bool saveSentMark(const QString& logPath, const QByteArray& file, LogPosition p, QString* why);

// The rotated log, when LOG.sent names it and the log itself is another file.
QString rotatedRemainder(const QString& logPath, const SentMark& mark);

// LOG.lock: held while a push runs; its times set to wake the holder.
QString pushLockPath(const QString& logPath);

// "another push of LOG is running; it sends these records"
QString handedText(const QString& logPath);

// True while a push of the log holds its lock (a try that never waits).
bool pushRunning(const QString& logPath);

// Records of the log not yet sent (whole lines after LOG.sent, in LOG.1 too
// when that is the log LOG.sent names). Quick: no parsing and no database.
qint64 pendingCount(const QString& logPath);

// The sent position stored beside the log ({} when none, or when it is the
// position in another file).
LogPosition sentPosition(const QString& logPath);

}  // namespace quarn::records
