#include "recordwriter/record_writer.h"

#include <QCoreApplication>

#include "database/pusher.h"

namespace quarn::records {

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
    pusher_ = std::make_unique<Pusher>(logPath_, databaseUrl);
    connect(pusher_.get(), &Pusher::pendingChanged, this, &RecordWriter::pendingChanged);
    connect(pusher_.get(), &Pusher::pushFailed, this, &RecordWriter::pushFailed);
    connect(pusher_.get(), &Pusher::warning, this, &RecordWriter::pushWarning);
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

QByteArray RecordWriter::write(const UnitRecord& record) {
    const QByteArray line = toJsonLine(record);
    if (logPath_.isEmpty()) return line;
    kept_ << line;
    flush();
    if (!kept_.isEmpty()) failedOnce_ = true;
    return line;
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

}  // namespace quarn::records
