#pragma once
// The retest limit of a station or a run (record/retest.h): whether a unit
// may be loaded, asked before its port opens.
//
// Contract
// - check() may be called from any thread (each unit's own): a serial number
//   that is empty, or a limit of 0, is never held and nothing is asked.
//   Otherwise the database is asked (figures/attempts_read.h) when one is
//   configured, with this station's failed attempts of the serial number
//   still waiting in its log (not yet known to be in the database: after
//   LOG.sent), which count too when the database has them not; without
//   one, or when it gives no count, the count is this station's log's, and
//   the word says which.
// - The log, and every file logrotate made of it (LOG.1, LOG.2.gz, ...), is
//   read once, at the first count it is needed for; after that,
//   note() keeps its counts as records are written, so no unit waits on a
//   read of a long log. note() is for the owner's thread, after the record
//   went to the log (the writer's write()); a record seen twice (a line
//   appended again) counts once.
// - Thread-safe: the counts are behind a mutex; the database is asked
//   outside it, on a connection of the calling thread.

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>

#include "record/retest.h"
#include "record/unit_record.h"

namespace quarn::recordwriter {

class RetestLimit {
public:
    // maxAttempts 0: no limit. logPath empty: no log to count.
    RetestLimit(int maxAttempts, QString logPath, QString databaseUrl);

    int maxAttempts() const { return max_; }
    record::RetestWord check(const QString& serial);
    void note(const record::UnitRecord& record);
    // The count of the log alone (reads the log the first time).
    int logAttempts(const QString& serial);

private:
    void readLogOnce();  // with mutex_ held
    void count(const QString& id, const QString& serial, const QString& outcome);

    const int max_;
    const QString logPath_;
    const QString databaseUrl_;
    QMutex mutex_;
    bool logRead_ = false;
    QHash<QString, int> failed_;  // by serial number
    QSet<QString> counted_;       // the ids of the failed attempts counted
};

}  // namespace quarn::recordwriter
