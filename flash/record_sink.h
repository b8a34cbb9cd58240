#pragma once
// Where quarn-flash's records go, in this order: the log first through the
// gang's one record writer (gang/record_writer.h: each record a whole line or
// nothing, kept and tried again while the log refuses it), then standard
// output with --json. A record in the
// log is safe; standard output and the log may each fail without losing
// what the other holds.
//
// Contract
// - A log that cannot be opened or written is said once through say(); the
//   records still go to standard output, and logFailed() turns true.
// - A log whose last line was cut short (records/record_log.h) is said once
//   through say(), with the damaged line's number.
// - After standard output fails once (the reader went away, a full disk)
//   nothing more is written there; that too is said once.
// - Every record also wakes the database push when one is configured
//   (records/pusher.h), in the background: a record waits in the log until
//   the database has it.

#include <QByteArray>
#include <QString>
#include <functional>

#include "recordwriter/record_writer.h"

namespace quarn::flash {

class RecordSink {
public:
    using Say = std::function<void(const QString&)>;
    // logPath empty: no log. databaseUrl empty: no push after each record.
    RecordSink(const QString& logPath, bool json, Say say, const QString& databaseUrl = {});

    // before(): runs just before a line goes to standard output (to erase a
    // progress line on the terminal).
    void write(const records::UnitRecord& record, const std::function<void()>& before = {});
    bool logFailed() const { return writer_.failedOnce(); }
    records::RecordWriter& writer() { return writer_; }

private:
    void toOutput(const QByteArray& line);
    void sayLogState();

    records::RecordWriter writer_;
    QString saidProblem_;  // the log's failure, said once
    QString warned_;       // the log's warning, said once
    bool json_;
    Say say_;
    bool outputFailed_ = false;
};

}  // namespace quarn::flash
