#include "recordwriter/record_writer.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstring>

#include "approval/image_approval.h"
#include "push/pusher.h"
#include "record/record_json.h"

namespace quarn::recordwriter {

RecordWriter::RecordWriter(const QString& logPath, const QString& databaseUrl, QObject* parent)
    : QObject(parent), logPath_(logPath) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &RecordWriter::flush);
    if (logPath_.isEmpty()) return;
    if (!openLog()) {
        failedOnce_ = true;
        retry_.start(retryMs);
    }
    // Only what is in the log is pushed: without a log there is nothing to send.
    if (!databaseUrl.isEmpty()) startPusher(databaseUrl);
}

RecordWriter::~RecordWriter() = default;

void RecordWriter::startPusher(const QString& databaseUrl) {
    pusher_ = std::make_unique<push::Pusher>(logPath_, databaseUrl);
    connect(pusher_.get(), &push::Pusher::pendingChanged, this, &RecordWriter::pendingChanged);
    connect(pusher_.get(), &push::Pusher::pushFailed, this, &RecordWriter::pushFailed);
    connect(pusher_.get(), &push::Pusher::warning, this, &RecordWriter::pushWarning);
    pusher_->pushSoon();  // what an earlier run left waiting
}

int RecordWriter::pending() const { return pusher_ ? pusher_->pending() : -1; }

void RecordWriter::stopPushing() {
    if (pusher_) pusher_->stop();
}

bool RecordWriter::openLog() {
    if (log_.isOpen()) return true;
    QString why;
    if (log_.open(logPath_, &why)) return true;
    setProblem(why);
    return false;
}

void RecordWriter::stampApproval(std::optional<bool> word) {
    word_ = word;
    live_ = nullptr;
}

void RecordWriter::stampApproval(const approval::ImageApproval* live) { live_ = live; }

void RecordWriter::sayWith(Say say) {
    say_ = std::move(say);
    // A damaged line the push skipped is named by its number.
    connect(this, &RecordWriter::pushWarning, this, [this](const QString& text) { say_(text); });
    sayLogState();
}

QByteArray RecordWriter::write(const record::UnitRecord& record,
                               const std::function<void()>& before) {
    record::UnitRecord stamped = record;
    stamped.approved = live_ ? live_->recordWord() : word_;
    const QByteArray line = record::toJsonLine(stamped);
    if (!logPath_.isEmpty()) {
        kept_ << line;
        flush();
        if (!kept_.isEmpty()) failedOnce_ = true;
    }
    sayLogState();  // an append may also have opened a new file at the log's path
    toEcho(line, before);
    return line;
}

// The log's failure once (not again while it lasts), and each new repair.
void RecordWriter::sayLogState() {
    if (!say_) return;
    if (!problem_.isEmpty() && saidProblem_.isEmpty()) say_(problem_);
    saidProblem_ = problem_;
    if (warning().isEmpty() || warning() == warned_) return;
    warned_ = warning();
    say_(warned_);
}

void RecordWriter::toEcho(const QByteArray& line, const std::function<void()>& before) {
    if (!echo_) return;
    if (before) before();
    errno = 0;
    const size_t n = std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), echo_);
    if (n == static_cast<size_t>(line.size()) && std::fflush(echo_) == 0) return;
    const int error = errno ? errno : EIO;
    echo_ = nullptr;  // nothing more goes there
    if (say_)
        say_(QCoreApplication::translate(
                 "quarn-flash", "standard output failed (%1); records go on to the log only")
                 .arg(QString::fromLocal8Bit(std::strerror(error))));
}

// Every kept line in order, until one is refused; tried again later then.
void RecordWriter::flush() {
    bool wrote = false;
    QString why;
    while (!kept_.isEmpty() && openLog()) {
        if (!log_.append(kept_.first(), &why)) break;
        kept_.removeFirst();
        wrote = true;
    }
    if (!why.isEmpty()) setProblem(why);
    if (kept_.isEmpty() && log_.isOpen()) setProblem(QString());
    if (!kept_.isEmpty() || !log_.isOpen()) retry_.start(retryMs);
    if (wrote && pusher_) pusher_->pushSoon();
    if (wrote) emit logChanged();  // a new file at the path may carry a warning
}

int RecordWriter::spillKept(std::FILE* to) {
    if (!kept_.isEmpty()) flush();
    const int n = unwritten();
    if (n == 0) return 0;
    QList<QByteArray> lines{
        QCoreApplication::translate("RecordWriter", "%1; the records it did not take follow (%2)")
            .arg(problem_)
            .arg(n)
            .toLocal8Bit() +
        '\n'};
    lines += kept_;
    kept_.clear();
    retry_.stop();
    // Should standard error fail too, nothing is left to try: the program is ending.
    for (const QByteArray& line : std::as_const(lines))
        if (std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), to) !=
            static_cast<size_t>(line.size()))
            break;
    std::fflush(to);
    return n;
}

void RecordWriter::setProblem(const QString& why) {
    if (why == problem_) return;
    problem_ = why;
    emit logChanged();
}

}  // namespace quarn::recordwriter
