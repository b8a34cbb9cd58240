#include "records/push.h"

#include <sys/stat.h>

#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "records/connection.h"
#include "records/file_lock.h"
#include "records/schema.h"

namespace quarn::records {

namespace {

using Status = PushResult::Status;

QString sentPath(const QString& logPath) { return logPath + QStringLiteral(".sent"); }

// The log's inode: a log replaced by another file (rotated) starts again.
QByteArray logIdentity(const QString& logPath) {
    struct stat st {};
    if (::stat(QFile::encodeName(logPath).constData(), &st) != 0) return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' +
           QByteArray::number(qulonglong(st.st_ino));
}

bool saveSentPosition(const QString& logPath, LogPosition p, QString* why) {
    QSaveFile f(sentPath(logPath));
    const QByteArray text = QByteArray::number(p.offset) + ' ' + QByteArray::number(p.line) + ' ' +
                            logIdentity(logPath) + '\n';
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
    *why = QStringLiteral("cannot record how far %1 is sent: %2").arg(logPath, f.errorString());
    return false;
}

// A server that takes a statement but never finishes it (a lock held by a
// dashboard, a full disk) ends the push instead of holding the log's lock.
const char* const kStatementTimeout = "SET LOCAL statement_timeout = '60s'";

bool exec(QSqlDatabase& db, const QString& sql, QString* why, qint64* affected = nullptr) {
    QSqlQuery q(db);
    if (q.exec(sql)) {
        if (affected) *affected += q.numRowsAffected();
        return true;
    }
    *why = QStringLiteral("the database refused: %1").arg(q.lastError().text());
    return false;
}

// The table, its indexes and the view, when the table is missing. Stations
// creating it at the same moment take turns on an advisory lock.
bool ensureSchema(QSqlDatabase& db, QString* why) {
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT to_regclass('quarn_yield_daily') IS NOT NULL")) && q.next() &&
        q.value(0).toBool())
        return true;
    if (!db.transaction()) return *why = db.lastError().text(), false;
    bool ok =
        exec(db, QString::fromLatin1(kStatementTimeout), why) &&
        exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('quarn_sessions'))"), why);
    for (const QString& statement : schemaStatements()) ok = ok && exec(db, statement, why);
    if (ok && db.commit()) return true;
    if (ok) *why = db.lastError().text();
    db.rollback();
    return false;
}

// One transaction: the rows, then first_pass for their serial numbers, while
// holding the lock every station's push takes for that.
bool sendBatch(QSqlDatabase& db, const QList<QJsonObject>& records, qint64* inserted,
               QString* why) {
    if (records.isEmpty()) return true;
    if (!db.transaction()) return *why = db.lastError().text(), false;
    const QString firstPass = firstPassStatement(records, *db.driver());
    bool ok =
        exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('quarn_sessions'))"), why) &&
        exec(db, insertStatement(records, *db.driver()), why, inserted) &&
        (firstPass.isEmpty() || exec(db, firstPass, why));
    if (ok && db.commit()) return true;
    if (why->isEmpty()) *why = db.lastError().text();
    db.rollback();
    return false;
}

// Every batch after the sent position; the position saved after each commit.
PushResult sendAll(QSqlDatabase& db, const PushRequest& request, LogReader& reader) {
    PushResult r;
    QString why;
    while (!reader.atEnd()) {
        const LogBatch batch = reader.next(request.batchSize);
        for (const QString& w : batch.warnings)
            if (request.warn) request.warn(w);
        r.damaged += batch.warnings.size();
        if (!sendBatch(db, batch.records, &r.inserted, &why) ||
            !saveSentPosition(request.logPath, batch.end, &why)) {
            r.status = Status::Unreachable;
            r.error = why;
            break;
        }
        r.sent += batch.records.size();
    }
    return r;
}

PushResult pushLocked(const PushRequest& request, const DatabaseTarget& target) {
    PushResult r;
    LogReader reader;
    if (!reader.open(request.logPath, sentPosition(request.logPath), &r.error))
        return r.status = Status::Unreachable, r;
    Connection connection;
    if (!connection.open(target, &r.error) || !ensureSchema(connection.db(), &r.error))
        r.status = Status::Unreachable;
    else
        r = sendAll(connection.db(), request, reader);
    return r;
}

}  // namespace

LogPosition sentPosition(const QString& logPath) {
    QFile f(sentPath(logPath));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> parts = f.readLine().trimmed().split(' ');
    if (parts.size() != 3 || parts[2] != logIdentity(logPath)) return {};
    LogPosition p{parts[0].toLongLong(), parts[1].toLongLong()};
    return p.offset >= 0 && p.line >= 0 ? p : LogPosition{};
}

qint64 pendingCount(const QString& logPath) {
    return countLinesAfter(logPath, sentPosition(logPath));
}

PushResult pushLog(const PushRequest& request) {
    PushResult r;
    const DatabaseTarget target = parseDatabaseUrl(request.databaseUrl);
    if (!target.error.isEmpty()) {
        r.status = Status::Usage;
        r.error = target.error;
    } else if (QFile::exists(request.logPath)) {  // else nothing is recorded yet
        FileLock lock;
        if (lock.acquire(request.logPath + QStringLiteral(".lock"), true, &r.error) !=
            FileLock::Result::Held)
            r.status = Status::Unreachable;
        else
            r = pushLocked(request, target);
    }
    r.pending = pendingCount(request.logPath);
    return r;
}

}  // namespace quarn::records
