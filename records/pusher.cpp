#include "records/pusher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "records/database_url.h"
#include "records/push.h"

namespace quarn::records {

Pusher::Pusher(QString logPath, QString databaseUrl, QObject* parent)
    : QObject(parent), logPath_(std::move(logPath)), databaseUrl_(std::move(databaseUrl)) {
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Pusher::pushSoon);
    thread_.start();
    if (!databaseUrl_.isEmpty()) pending_ = static_cast<int>(pendingCount(logPath_));
}

Pusher::~Pusher() {
    thread_.quit();
    thread_.wait();
}

void Pusher::pushSoon() {
    if (databaseUrl_.isEmpty()) return;
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
    QMetaObject::invokeMethod(worker_, [this, log = logPath_, url = databaseUrl_] {
        const PushResult r = pushLog({log, url, 1000, {}});
        const bool ok = r.status == PushResult::Status::Done;
        QMetaObject::invokeMethod(
            this, [this, r, ok] { pushEnded(static_cast<int>(r.pending), ok, r.error); });
    });
}

void Pusher::pushEnded(int pending, bool ok, const QString& why) {
    running_ = false;
    if (pending != pending_) emit pendingChanged(pending_ = pending);
    if (!ok) {
        emit pushFailed(why);
        retry_.start(retryMs);
    }
    if (again_ || (ok && pending > 0)) startPush();
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

void pushAfterRun(const QString& logPath, FILE* err) {
    if (logPath.isEmpty() || configuredDatabaseUrl().isEmpty()) return;
    const qint64 waiting = pendingCount(logPath);
    if (waiting == 0) return;
    const QString program = recordsProgram();
    QProcess push;
    push.setProgram(program);
    push.setArguments({QStringLiteral("push"), QStringLiteral("--log"), logPath,
                       QStringLiteral("--retry"), QStringLiteral("60")});
    push.setStandardInputFile(QProcess::nullDevice());
    push.setStandardOutputFile(QProcess::nullDevice());
    push.setStandardErrorFile(QProcess::nullDevice());
    const bool started = !program.isEmpty() && push.startDetached();
    say(err, QStringLiteral("%1: %2 record(s) wait for the database; %3")
                 .arg(QCoreApplication::applicationName())
                 .arg(waiting)
                 .arg(started ? QStringLiteral("sending them in the background")
                              : QStringLiteral("quarn-records is not installed to send them")));
}

}  // namespace quarn::records
