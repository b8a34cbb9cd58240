#pragma once
// The one record writer of every front end that loads units (quarn-flash,
// its --watch, the station): each record goes whole to the local log first
// (records/record_log.h), and only then is the database's push woken
// (records/pusher.h), in the background.
//
// Contract
// - write() appends the record's line to the log, or, when the log cannot
//   take it (a full disk, its folder gone), keeps it in memory, in order, and
//   tries again every retryMs until the log takes every kept line; problem()
//   says which file and why meanwhile, and logChanged() is emitted when that
//   changes. A log that could not be opened at start is tried the same way.
// - failedOnce() turns true at the first record the log did not take, and
//   stays so (quarn-flash's exit status 7).
// - spillKept(to) is for a program that is stopping (a stop signal): the
//   log is tried once more, and every line it still does not take is
//   written whole to `to` (standard error: the journal keeps it), one record
//   per line, after one line that names the log and the reason, and is no
//   longer kept. Returns how many records went there.
// - warning() is the log's last repair ("line N of LOG was cut short ...").
// - Without a log (logPath empty) nothing is kept and nothing is pushed.
// - With a database (databaseUrl not empty), what an earlier run left
//   waiting in the log is pushed at once, and every record after it reaches
//   the log; pendingChanged(), pushWarning() and pushFailed() pass the
//   pusher's word on. stopPushing() ends a push under way without waiting on
//   the database.
// - Lives on one thread (the owner's); signals arrive there.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "record/unit_record.h"
#include "recordlog/record_log.h"

namespace quarn::records {
class Pusher;
}

namespace quarn::records {

class RecordWriter : public QObject {
    Q_OBJECT
public:
    RecordWriter(const QString& logPath, const QString& databaseUrl, QObject* parent = nullptr);
    ~RecordWriter() override;

    // The record's line (newline included), whether or not the log took it.
    QByteArray write(const UnitRecord& record);
    QString logPath() const { return logPath_; }
    QString problem() const { return problem_; }
    QString warning() const { return log_.warning(); }
    int unwritten() const { return static_cast<int>(kept_.size()); }
    bool failedOnce() const { return failedOnce_; }
    // Records in the log the database does not have yet; -1 without a database.
    int pending() const;
    void stopPushing();
    int spillKept(std::FILE* to);
    int retryMs = 5000;

signals:
    void logChanged();
    void pendingChanged(int count);
    void pushWarning(const QString& text);
    void pushFailed(const QString& why);

private:
    void flush();
    bool openLog();
    void setProblem(const QString& why);
    void startPusher(const QString& databaseUrl);

    QString logPath_;
    RecordLog log_;
    QList<QByteArray> kept_;
    QString problem_;
    bool failedOnce_ = false;
    QTimer retry_;
    std::unique_ptr<Pusher> pusher_;
};

}  // namespace quarn::records
