#pragma once
// Pushing in the background, for the front ends.
//
// Pusher (a long-running program, such as the station): call pushSoon() after
// each record is in the local log. The push runs on the pusher's own thread,
// so a slow or absent server never holds up the caller; while the server
// cannot be reached it tries again every minute (retryMs). pendingChanged()
// tells how many records wait, after each push and each failed attempt.
//
//     auto* pusher = new records::Pusher(logPath, records::configuredDatabaseUrl(), this);
//     connect(pusher, &records::Pusher::pendingChanged, this, &Window::showWaiting);
//     ... after each record is appended to the log:  pusher->pushSoon();
//
// pushAfterRun (a program that ends, such as quarn-flash): when a database is
// configured, starts `quarn-records push --log LOG --retry 60` as a process of
// its own that outlives the caller (trying again every minute while the
// server cannot be reached; one such process per log), and writes on err how
// many records wait. It returns at once; the push's outcome never reaches the
// caller's exit status.

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace quarn::records {

class Pusher : public QObject {
    Q_OBJECT
public:
    // An empty databaseUrl makes a pusher that never pushes.
    Pusher(QString logPath, QString databaseUrl, QObject* parent = nullptr);
    // Waits for a push under way (at most the connection's time-out).
    ~Pusher() override;

    // Records waiting, as last counted.
    int pending() const { return pending_; }
    int retryMs = 60 * 1000;

public slots:
    // A push soon: now when none is running, else right after the one that is.
    void pushSoon();

signals:
    void pendingChanged(int count);
    // A push ended short: why (the server unreachable, refusing, ...).
    void pushFailed(const QString& why);

private:
    void startPush();
    void pushEnded(int pending, bool ok, const QString& why);

    QString logPath_;
    QString databaseUrl_;
    QThread thread_;
    QObject* worker_ = nullptr;
    QTimer retry_;
    int pending_ = -1;
    bool running_ = false;
    bool again_ = false;
};

void pushAfterRun(const QString& logPath, FILE* err);

}  // namespace quarn::records
