#include "flash/record_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "records/pusher.h"

namespace quarn::flash {

RecordSink::RecordSink(const QString& logPath, bool json, Say say, const QString& databaseUrl)
    : json_(json), say_(std::move(say)) {
    QString why;
    if (!logPath.isEmpty() && !log_.open(logPath, &why)) {
        say_(why);
        logFailed_ = true;
    }
    warnOnce();
    // Only what is in the log can be pushed.
    if (log_.isOpen() && !databaseUrl.isEmpty())
        pusher_ = std::make_unique<records::Pusher>(logPath, databaseUrl);
}

RecordSink::~RecordSink() = default;

void RecordSink::write(const gang::UnitRecord& record, const std::function<void()>& before) {
    const QByteArray line = gang::toJsonLine(record);
    QString why;
    if (log_.isOpen() && !log_.append(line, &why)) {
        if (!logFailed_) say_(why);
        logFailed_ = true;
    } else if (pusher_) {
        pusher_->pushSoon();
    }
    warnOnce();  // an append may have opened a new file at the log's path
    if (!json_) return;
    if (before) before();
    toOutput(line);
}

void RecordSink::warnOnce() {
    if (log_.warning().isEmpty() || log_.warning() == warned_) return;
    warned_ = log_.warning();
    say_(warned_);
}

void RecordSink::toOutput(const QByteArray& line) {
    if (outputFailed_) return;
    errno = 0;
    const size_t n = std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    if (n == static_cast<size_t>(line.size()) && std::fflush(stdout) == 0) return;
    outputFailed_ = true;
    say_(QStringLiteral("standard output failed (%1); records go on to the log only")
             .arg(QString::fromLocal8Bit(std::strerror(errno ? errno : EIO))));
}

}  // namespace quarn::flash
