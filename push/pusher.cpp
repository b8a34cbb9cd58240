#include "push/pusher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "pg/database_url.h"
#include "push/push.h"
#include "push/push_cancel.h"

namespace quarn::push {

using Status = PushResult::Status;

// What the pusher and its push threads share. A push thread outlives its
// pusher when stop() gives up on it: it then reaches nothing but this.
struct Pusher::Shared {
    std::mutex m;
    std::condition_variable ended;
    Pusher* owner = nullptr;  // null once stopped
    bool running = false;
    std::shared_ptr<PushCancel> cancel;

    // f on the owner's thread, while there is an owner (a queued call to an
    // object that is then destroyed is dropped with it).
    template <class F>
    void post(F f) {
        const std::lock_guard<std::mutex> hold(m);
        if (owner) QMetaObject::invokeMethod(owner, std::move(f), Qt::QueuedConnection);
    }
};

Pusher::Pusher(QString logPath, QString databaseUrl, QObject* parent)
    : QObject(parent),
      logPath_(std::move(logPath)),
      databaseUrl_(std::move(databaseUrl)),
      shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Pusher::pushSoon);
    connect(&wake_, &QFileSystemWatcher::fileChanged, this, &Pusher::pushSoon);
    if (!databaseUrl_.isEmpty() && QFile::exists(recordlog::pushLockPath(logPath_)))
        wake_.addPath(recordlog::pushLockPath(logPath_));
    if (!databaseUrl_.isEmpty()) pending_ = static_cast<int>(recordlog::pendingCount(logPath_));
}

Pusher::~Pusher() { stop(); }

bool Pusher::stop() {
    stopped_ = true;
    retry_.stop();
    std::unique_lock<std::mutex> hold(shared_->m);
    shared_->owner = nullptr;
    if (shared_->cancel) shared_->cancel->cancel();
    return shared_->ended.wait_for(hold, std::chrono::milliseconds(kStopMs),
                                   [this] { return !shared_->running; });
}

void Pusher::pushSoon() {
    if (databaseUrl_.isEmpty() || stopped_) return;
    if (running_) {
        again_ = true;
        return;
    }
    startPush();
}

void Pusher::startPush() {
    running_ = true;
    again_ = false;
    retry_.stop();
    const std::shared_ptr<Shared> shared = shared_;
    auto cancel = std::make_shared<PushCancel>();
    auto warn = [this, shared](const QString& w) { shared->post([this, w] { emit warning(w); }); };
    const PushRequest request{logPath_, databaseUrl_, 1000, warn, {}, cancel};
    const std::lock_guard<std::mutex> hold(shared->m);
    shared->cancel = cancel;
    shared->running = true;
    try {
        std::thread([this, shared, request] {
            const PushResult r = pushLog(request);
            const std::lock_guard<std::mutex> hold(shared->m);
            if (shared->owner)
                QMetaObject::invokeMethod(this, [this, r] {
                    pushEnded(static_cast<int>(r.pending), static_cast<int>(r.status), r.error);
                });
            shared->running = false;
            shared->ended.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        shared->running = false;
        QMetaObject::invokeMethod(
            this,
            [this, why = QString::fromLocal8Bit(e.what())] {
                pushEnded(
                    pending_, static_cast<int>(Status::Unreachable),
                    QCoreApplication::translate("Push", "cannot start the push: %1").arg(why));
            },
            Qt::QueuedConnection);
    }
}

void Pusher::pushEnded(int pending, int status, const QString& why) {
    running_ = false;
    if (pending != pending_) emit pendingChanged(pending_ = pending);
    const auto s = static_cast<Status>(status);
    if (stopped_ || s == Status::Cancelled) return;
    if (s == Status::Done) {
        if (again_ || pending > 0) startPush();
        return;
    }
    // Busy, unreachable, or another process pushing this log: later, or
    // when a push by hand wakes this one (its attempt may be in flight then).
    const QString lock = recordlog::pushLockPath(logPath_);
    if (!wake_.files().contains(lock) && QFile::exists(lock)) wake_.addPath(lock);
    if (s != Status::Handed) emit pushFailed(why);
    retry_.start(retryMs);
    if (again_ && s != Status::Handed) startPush();
}

namespace {

// quarn-records beside the running program (the build folder, /usr/bin),
// else on PATH.
QString recordsProgram() {
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/quarn-records");
    if (QFileInfo(beside).isExecutable()) return beside;
    return QStandardPaths::findExecutable(QStringLiteral("quarn-records"));
}

void say(FILE* err, const QString& text) {
    std::fprintf(err, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

void pushAfterRun(const QString& logPath, const QString& databaseUrl, FILE* err) {
    if (logPath.isEmpty() || databaseUrl.isEmpty()) return;
    const qint64 waiting = recordlog::pendingCount(logPath);
    if (waiting == 0) return;
    const QString name = QCoreApplication::applicationName();
    if (recordlog::pushRunning(logPath)) {
        say(err, QCoreApplication::translate("Push", "%1: %2 record(s) wait for the database; %3")
                     .arg(name)
                     .arg(waiting)
                     .arg(recordlog::handedText(logPath)));
        return;
    }
    const QString program = recordsProgram();
    QProcess push;
    push.setProgram(program);
    push.setArguments({QStringLiteral("push"), QStringLiteral("--log"), logPath,
                       QStringLiteral("--retry"), QStringLiteral("60")});
    push.setStandardInputFile(QProcess::nullDevice());
    push.setStandardOutputFile(QProcess::nullDevice());
    push.setStandardErrorFile(QProcess::nullDevice());
    const bool started = !program.isEmpty() && push.startDetached();
    say(err,
        QCoreApplication::translate("Push", "%1: %2 record(s) wait for the database; %3")
            .arg(name)
            .arg(waiting)
            .arg(started ? QCoreApplication::translate("Push", "sending them in the background")
                         : QCoreApplication::translate(
                               "Push", "quarn-records is not installed to send them")));
}

}  // namespace quarn::push
