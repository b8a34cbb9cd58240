#pragma once
// The local log of records: a file of JSON lines that several processes (the
// station, quarn-flash) append to at once, each line whole or not at all.
//
// Contract
// - open() makes the log's folder and the file (mode 0644) when missing. A
//   log whose last line has no newline (power lost before the line reached
//   the disk) gets one first, so the next record starts a line of its own;
//   the damaged line is kept (the push skips it by its line number) and
//   named in warning().
// - append() writes the line with one write() and flushes it to disk before
//   it returns true. Each append follows the path: when the file there is
//   not the one open (moved aside by log rotation, deleted, replaced), the
//   path is opened again (made when missing) and the line goes there, never
//   into the moved file.
// - A short write (a full disk) is cut back to the file's size before it, so
//   the log never holds half a line. Every writer holds an exclusive flock on
//   the file from taking that size until the cut-back, so the cut never
//   removes another writer's record.
// - Every failure's text names the log and the system's reason.

#include <QByteArray>
#include <QString>

namespace quarn::recordlog {

class RecordLog {
public:
    RecordLog() = default;
    virtual ~RecordLog();
    RecordLog(const RecordLog&) = delete;
    RecordLog& operator=(const RecordLog&) = delete;

    // False with *why when the log cannot be opened or repaired. *warning
    // (when given) is set as warning() is.
    bool open(const QString& path, QString* why, QString* warning = nullptr);
    // open() succeeded: appends go to the path from then on.
    bool isOpen() const { return opened_; }
    bool append(const QByteArray& line, QString* why);
    // The last opening's repair ("line N of LOG was cut short ..."); empty
    // when the log ended whole. An append that opens the path again (a new
    // file was put there) may set it anew.
    QString warning() const { return warning_; }
    QString path() const { return path_; }

protected:
    // Called with the log locked and its size taken, just before the line
    // is written: where another writer would have to wait.
    virtual void beforeWrite() {}

private:
    bool openLocked(QString* why);
    bool followPath(QString* why);
    bool repairTail(QString* why);
    bool countLines(qint64 size, qint64* lines, QString* why) const;
    bool writeLine(const QByteArray& line, QString* why);
    bool lock(QString* why);
    void closeFile();
    bool fail(QString* why, int error) const;

    QString path_;
    int fd_ = -1;
    bool opened_ = false;
    QString warning_;
};

}  // namespace quarn::recordlog
