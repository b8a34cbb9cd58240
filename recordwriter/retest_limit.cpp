#include "recordwriter/retest_limit.h"

#include <QMutexLocker>

#include "figures/attempts_read.h"
#include "record/columns.h"
#include "recordlog/log_reader.h"

namespace quarn::records {

RetestLimit::RetestLimit(int maxAttempts, QString logPath, QString databaseUrl)
    : max_(maxAttempts), logPath_(std::move(logPath)), databaseUrl_(std::move(databaseUrl)) {}

RetestWord RetestLimit::check(const QString& serial) {
    RetestWord word;
    if (serial.isEmpty() || max_ <= 0) return word;
    if (!databaseUrl_.isEmpty()) word = figures::readAttempts(databaseUrl_, serial);
    if (word.source != AttemptSource::Database) word.attempts = logAttempts(serial);
    word.held = limitReached(word.attempts, max_);
    return word;
}

int RetestLimit::logAttempts(const QString& serial) {
    const QMutexLocker lock(&mutex_);
    readLogOnce();
    return failed_.value(serial);
}

void RetestLimit::note(const UnitRecord& record) {
    const QMutexLocker lock(&mutex_);
    // Before the first read, the read finds the record in the log itself.
    if (logRead_) count(record.id, record.serial, outcomeName(record.outcome));
}

void RetestLimit::count(const QString& id, const QString& serial, const QString& outcome) {
    if (serial.isEmpty() || !isFailedAttempt(outcome) || counted_.contains(id)) return;
    counted_.insert(id);
    ++failed_[serial];
}

void RetestLimit::readLogOnce() {
    if (logRead_) return;
    logRead_ = true;
    LogReader reader;
    QString why;
    // A log that cannot be read counts nothing: the unit is loaded, as it
    // would be by a station that never wrote one.
    if (logPath_.isEmpty() || !reader.open(logPath_, {}, &why)) return;
    while (!reader.atEnd()) {
        const LogBatch batch = reader.next(1000);
        for (const QJsonObject& r : batch.records)
            count(r.value(QLatin1String(key::id)).toString(),
                  r.value(QLatin1String(key::serial)).toString(),
                  r.value(QLatin1String(key::outcome)).toString());
    }
}

}  // namespace quarn::records
