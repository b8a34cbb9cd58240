#include "flash/record_sink.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quarn::flash {

RecordSink::RecordSink(const QString& logPath, bool json, Say say, const QString& databaseUrl)
    : writer_(logPath, databaseUrl), json_(json), say_(std::move(say)) {
    // A damaged line the push skipped is named by its number, on standard error.
    QObject::connect(&writer_, &records::RecordWriter::pushWarning, &writer_,
                     [this](const QString& text) { say_(text); });
    sayLogState();
}

void RecordSink::write(const records::UnitRecord& record, const std::function<void()>& before) {
    const QByteArray line = writer_.write(record);
    sayLogState();  // an append may also have opened a new file at the log's path
    if (!json_) return;
    if (before) before();
    toOutput(line);
}

// The log's failure once (not again while it lasts), and each new repair.
void RecordSink::sayLogState() {
    const QString problem = writer_.problem();
    if (!problem.isEmpty() && saidProblem_.isEmpty()) say_(problem);
    saidProblem_ = problem;
    if (writer_.warning().isEmpty() || writer_.warning() == warned_) return;
    warned_ = writer_.warning();
    say_(warned_);
}

void RecordSink::toOutput(const QByteArray& line) {
    if (outputFailed_) return;
    errno = 0;
    const size_t n = std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    if (n == static_cast<size_t>(line.size()) && std::fflush(stdout) == 0) return;
    outputFailed_ = true;
    say_(QCoreApplication::translate("quarn-flash",
                                     "standard output failed (%1); records go on to the log only")
             .arg(QString::fromLocal8Bit(std::strerror(errno ? errno : EIO))));
}

}  // namespace quarn::flash
