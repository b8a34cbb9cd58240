#pragma once
// Reads the local log of records (one JSON object per line) from a position
// on, in batches. A line that is no JSON object, or whose id is not a whole
// UUID, is damaged: it is skipped with
// a warning that names its line number. A last line without its newline is
// still being written and is left for a later read. A record without an id
// (written before records had one) gets one made from its line's bytes, so
// that sending it again names the same record.

#include <QIODevice>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace quarn::recordlog {

// How far into the log: bytes and whole lines.
struct LogPosition {
    qint64 offset = 0;
    qint64 line = 0;
};

struct LogBatch {
    QList<QJsonObject> records;
    // Parallel to records: each one's line as read (newline included) and
    // the position after it (its line number is ends[i].line).
    QList<QByteArray> lines;
    QList<LogPosition> ends;
    QStringList warnings;  // "FILE line N: damaged record skipped (why)"
    LogPosition end;       // after the last line read
};

class LogReader {
public:
    // False with *why when the log cannot be opened. A position past the end
    // (the log was replaced by a shorter one) starts again from the top. A
    // path ending in .gz (a log logrotate compressed) is read decompressed.
    bool open(const QString& path, LogPosition from, QString* why);
    // Up to max whole lines (damaged ones included in the count).
    LogBatch next(int max);
    bool atEnd() const { return atEnd_; }
    LogPosition position() const { return pos_; }
    QString fileName() const { return path_; }
    // The fingerprint of the file open (recordlog/log_files.h: of its
    // content, so a rotation that renames it meanwhile leaves it the same);
    // empty when it has no whole line yet.
    QByteArray fingerprint() const { return fingerprint_; }

private:
    std::unique_ptr<QIODevice> file_;
    QString path_;
    QByteArray fingerprint_;
    LogPosition pos_;
    bool atEnd_ = false;
};

// True when text is a UUID written out whole (36 characters, or 38 in
// braces): what PostgreSQL's uuid type reads. QUuid alone reads a prefix.
bool isWholeUuid(const QString& text);

// Whole, non-empty lines of the log file after position (no parsing: quick).
qint64 countLinesAfter(const QString& path, LogPosition from);

}  // namespace quarn::recordlog
