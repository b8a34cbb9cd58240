#pragma once
// Pushing in the background, for the front ends.
//
// Pusher (a long-running program: the station, quarn-flash --watch): call
// pushSoon() after each record is in the local log. The push runs on a thread
// of its own, so a slow or absent server never holds up the caller; every
// statement has the push's time limit (push/push.h), and while the server
// cannot be reached or is busy, or another process is pushing the same log,
// it tries again every minute (retryMs), or at once when a push run by hand
// finds the log held meanwhile and wakes it (push/push.h). pendingChanged() tells how many
// records wait, after each push and each failed attempt; pushFailed() why an
// attempt failed; warning() each damaged line of the log, with its number.
//
//     auto* pusher = new push::Pusher(logPath, databaseUrl, this);
//     connect(pusher, &push::Pusher::pendingChanged, this, &Window::showWaiting);
//     ... after each record is appended to the log:  pusher->pushSoon();
//     ... when closing: pusher->stop() (the destructor does it too).
//
// stop() never waits on the database: it cancels the statement in flight and
// closes the connection, and returns within kStopMs whatever the server
// does. What was not committed stays in the log for the next push.
//
// pushAfterRun (a program that ends, such as quarn-flash): when a database is
// configured and records wait, starts `quarn-records push --log LOG --retry 60`
// as a process of its own that outlives the caller (trying again every minute
// while the server cannot be reached, holding the log's lock meanwhile), and
// writes on err how many records wait. When a push of the log is running
// already it starts none: that one sends these records too, so there is one
// waiting pusher per log however many runs end. It returns at once; the
// push's outcome never reaches the caller's exit status.

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace quarn::push {

class Pusher : public QObject {
    Q_OBJECT
public:
    static constexpr int kStopMs = 4000;

    // An empty databaseUrl makes a pusher that never pushes.
    Pusher(QString logPath, QString databaseUrl, QObject* parent = nullptr);
    // stop().
    ~Pusher() override;

    // Ends the push under way (within kStopMs) and starts no more. False when
    // its thread had not ended by then (it ends by itself soon after, with
    // nothing of this object in use).
    bool stop();

    // Records waiting, as last counted.
    int pending() const { return pending_; }
    int retryMs = 60 * 1000;

public slots:
    // A push soon: now when none is running, else right after the one that is.
    void pushSoon();

signals:
    void pendingChanged(int count);
    // A push ended short: why (the server unreachable, busy, refusing, ...).
    void pushFailed(const QString& why);
    // A damaged line of the log: "LOG line N: damaged record skipped (why)".
    void warning(const QString& text);

private:
    struct Shared;
    void startPush();
    void pushEnded(int pending, int status, const QString& why);

    QString logPath_;
    QString databaseUrl_;
    std::shared_ptr<Shared> shared_;
    QTimer retry_;
    QFileSystemWatcher wake_;  // the log's lock file, whose times a waking push sets
    int pending_ = -1;
    bool running_ = false;
    bool again_ = false;
    bool stopped_ = false;
};

void pushAfterRun(const QString& logPath, const QString& databaseUrl, FILE* err);

}  // namespace quarn::push
