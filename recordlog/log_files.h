#pragma once
// A log and the files logrotate made of it, and how far each has been sent
// to the database: what a push sends and what still waits.
//
// logrotate renames the log to LOG.1, LOG.1 to LOG.2 and so on, and may
// compress them (LOG.2.gz; with delaycompress LOG.1 stays plain a round).
// Every one of them whose records have not all arrived is sent, oldest
// first, however many rotations came meanwhile. A file is known by its
// content, not its name or inode (both change as it is renamed and
// compressed): its fingerprint is a hash of its first non-blank line, which
// never changes once written (a log only grows at its end). LOG.sent keeps
// how far each file is sent, one line per file ("offset line FINGERPRINT",
// offsets in the file's uncompressed bytes), for the files still there.
//
// Contract
// - Reading a compressed file decompresses it as it reads (zlib); a file
//   whose first line is not whole yet has no fingerprint and nothing to send.
// - logFiles() and pendingLines() never write; only the push holding the
//   log's lock writes LOG.sent (SentLedger::save, a new file renamed over
//   the old one).

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QString>
#include <memory>

#include "recordlog/log_reader.h"

namespace quarn::recordlog {

struct LogFile {
    QString path;
    QByteArray fingerprint;
    LogPosition sent;  // how far it is sent ({} when never)
    bool compressed = false;
};

// The log's files, oldest first: LOG.N[.gz] ... LOG.1[.gz], then LOG; those
// without a whole line yet left out, a file there twice (LOG.2 while gzip
// writes LOG.2.gz) once. Each with its position in LOG.sent.
QList<LogFile> logFiles(const QString& logPath);

// Whole, non-empty lines of every file of the log not yet sent.
qint64 pendingLines(const QString& logPath);

// True when the file holds nothing after its sent position (for a
// compressed file, read from its trailer without decompressing).
bool sentWhole(const LogFile& file);

// LOG.sent: how far each file of the log is sent, by fingerprint.
class SentLedger {
public:
    // Empty when LOG.sent is missing or unreadable. A LOG.sent written by an
    // earlier version ("offset line device:inode") is read as the position
    // in the file (LOG or LOG.1) of that device and inode.
    static SentLedger load(const QString& logPath);
    LogPosition position(const QByteArray& fingerprint) const;
    void set(const QByteArray& fingerprint, LogPosition p) { sent_[fingerprint] = p; }
    // Writes the positions of the fingerprints in `keep` (the files still
    // there) atomically; false with *why.
    bool save(const QString& logPath, const QList<QByteArray>& keep, QString* why) const;

private:
    QHash<QByteArray, LogPosition> sent_;
};

// The file for reading: a QFile, or for NAME.gz a device that decompresses.
// Null with *why when it cannot be opened.
std::unique_ptr<QIODevice> openLogFile(const QString& path, QString* why);

// The fingerprint of an open log file read from its top (the device is left
// after the bytes read; a QFile is put back at its start). Empty when it has
// no whole non-blank line.
QByteArray readFingerprint(QIODevice& device);
// An open log file moved to offset (from its start); false when it ends before.
bool skipTo(QIODevice& device, qint64 offset);

}  // namespace quarn::recordlog
