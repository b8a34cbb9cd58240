#pragma once
// The one record writer of every front end that loads units (quarn-flash,
// its --watch, the station): each record is stamped with the approved
// list's word, goes whole to the local log first (recordlog/record_log.h),
// then, with --json, to standard output, and only then is the database's
// push woken (push/pusher.h), in the background.
//
// Contract
// - write() stamps the record's "approved" with the word given to
//   stampApproval(): a live check's (approval/image_approval.h, as it is at
//   the write: a unit whose image was revoked while it loaded is recorded
//   "approved": false), or a fixed word (a check made once before the
//   ports opened); none given, "approved" is null.
// - write() appends the record's line to the log, or, when the log cannot
//   take it (a full disk, its folder gone), keeps it in memory, in order, and
//   tries again every retryMs until the log takes every kept line; problem()
//   says which file and why meanwhile, and logChanged() is emitted when that
//   changes. A log that could not be opened at start is tried the same way.
// - echoTo(out): every record's line also goes to out, after write()'s
//   before() (to erase a progress line); after out fails once (the reader
//   went away, a full disk) nothing more goes there. The log and out may
//   each fail without losing what the other holds.
// - sayWith(say): for a front end without a window: the log's problem once
//   (not again while it lasts), each new repair of the log, each warning of
//   the push and a failing echo are said through say; the state at once.
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
#include <functional>
#include <memory>
#include <optional>

#include "approval/image_approval.h"
#include "push/pusher.h"
#include "record/unit_record.h"
#include "recordlog/record_log.h"

namespace quarn::recordwriter {

class RecordWriter : public QObject {
    Q_OBJECT
public:
    using Say = std::function<void(const QString&)>;
    RecordWriter(const QString& logPath, const QString& databaseUrl, QObject* parent = nullptr);
    ~RecordWriter() override;

    void stampApproval(std::optional<bool> word);
    void stampApproval(const approval::ImageApproval* live);  // outlives the writer's writes
    void echoTo(std::FILE* out) { echo_ = out; }
    void sayWith(Say say);

    // The record's line as written (newline included), whether or not the log took it.
    QByteArray write(const record::UnitRecord& record, const std::function<void()>& before = {});
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
    void sayLogState();
    void toEcho(const QByteArray& line, const std::function<void()>& before);

    QString logPath_;
    recordlog::RecordLog log_;
    QList<QByteArray> kept_;
    QString problem_;
    bool failedOnce_ = false;
    QTimer retry_;
    std::unique_ptr<push::Pusher> pusher_;
    std::optional<bool> word_;
    const approval::ImageApproval* live_ = nullptr;
    std::FILE* echo_ = nullptr;
    Say say_;
    QString saidProblem_;  // the log's failure, said once
    QString warned_;       // the log's repair, said once
};

}  // namespace quarn::recordwriter
