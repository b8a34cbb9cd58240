#include "recordwriter/retest_limit.h"

#include <QMutexLocker>

#include "figures/attempts_read.h"
#include "record/columns.h"
#include "recordlog/log_files.h"
#include "recordlog/log_reader.h"

namespace quarn::recordwriter {

RetestLimit::RetestLimit(int maxAttempts, QString logPath, QString databaseUrl)
    : max_(maxAttempts), logPath_(std::move(logPath)), databaseUrl_(std::move(databaseUrl)) {}

namespace {

// The ids of the serial number's failed attempts in the log's files after
// how far each is sent: this station's records the database may not have
// yet. Only the lines that name the serial number are read as records.
QStringList waitingFailures(const QString& logPath, const QString& serial) {
    QStringList ids;
    const QByteArray named = serial.toUtf8();
    for (const recordlog::LogFile& f : recordlog::logFiles(logPath)) {
        recordlog::LogReader reader;
        QString why;
        if (recordlog::sentWhole(f) || !reader.open(f.path, f.sent, &why)) continue;
        while (!reader.atEnd()) {
            const recordlog::LogBatch batch = reader.next(1000);
            for (qsizetype i = 0; i < batch.records.size(); ++i) {
                const QJsonObject& r = batch.records[i];
                if (batch.lines[i].contains(named) &&
                    r.value(QLatin1String(record::key::serial)).toString() == serial &&
                    record::isFailedAttempt(
                        r.value(QLatin1String(record::key::outcome)).toString()))
                    ids << r.value(QLatin1String(record::key::id)).toString();
            }
        }
    }
    return ids;
}

}  // namespace

record::RetestWord RetestLimit::check(const QString& serial) {
    record::RetestWord word;
    if (serial.isEmpty() || max_ <= 0) return word;
    if (!databaseUrl_.isEmpty())
        word = figures::readAttempts(
            databaseUrl_, serial,
            logPath_.isEmpty() ? QStringList() : waitingFailures(logPath_, serial));
    if (word.source != record::AttemptSource::Database) word.attempts = logAttempts(serial);
    word.held = record::limitReached(word.attempts, max_);
    return word;
}

int RetestLimit::logAttempts(const QString& serial) {
    const QMutexLocker lock(&mutex_);
    readLogOnce();
    return failed_.value(serial);
}

void RetestLimit::note(const record::UnitRecord& record) {
    const QMutexLocker lock(&mutex_);
    // Before the first read, the read finds the record in the log itself.
    if (logRead_) count(record.id, record.serial, record::outcomeName(record.outcome));
}

void RetestLimit::count(const QString& id, const QString& serial, const QString& outcome) {
    if (serial.isEmpty() || !record::isFailedAttempt(outcome) || counted_.contains(id)) return;
    counted_.insert(id);
    ++failed_[serial];
}

void RetestLimit::readLogOnce() {
    if (logRead_) return;
    logRead_ = true;
    if (logPath_.isEmpty()) return;
    // The log and every file logrotate made of it (LOG.1, LOG.2.gz, ...). A
    // file that cannot be read counts nothing: the unit is loaded, as it
    // would be by a station that never wrote one.
    for (const recordlog::LogFile& f : recordlog::logFiles(logPath_)) {
        recordlog::LogReader reader;
        QString why;
        if (!reader.open(f.path, {}, &why)) continue;
        while (!reader.atEnd()) {
            const recordlog::LogBatch batch = reader.next(1000);
            for (const QJsonObject& r : batch.records)
                count(r.value(QLatin1String(record::key::id)).toString(),
                      r.value(QLatin1String(record::key::serial)).toString(),
                      r.value(QLatin1String(record::key::outcome)).toString());
        }
    }
}

}  // namespace quarn::recordwriter
