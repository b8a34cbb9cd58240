#include "records/push.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "records/connection.h"
#include "records/file_lock.h"
#include "records/push_cancel.h"
#include "records/schema.h"

namespace quarn::records {

namespace {

using Status = PushResult::Status;

QString sentPath(const QString& logPath) { return logPath + QStringLiteral(".sent"); }
QString lockPath(const QString& logPath) { return logPath + QStringLiteral(".lock"); }
// The name logrotate gives the log it moves aside.
QString rotatedPath(const QString& logPath) { return logPath + QStringLiteral(".1"); }

// A file's device and inode: which file a sent position belongs to.
QByteArray identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' +
           QByteArray::number(qulonglong(st.st_ino));
}

// LOG.sent as stored: a position in the file of that identity.
struct SentMark {
    LogPosition position;
    QByteArray identity;
};

SentMark readMark(const QString& logPath) {
    QFile f(sentPath(logPath));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> parts = f.readLine().trimmed().split(' ');
    if (parts.size() != 3) return {};
    const LogPosition p{parts[0].toLongLong(), parts[1].toLongLong()};
    if (p.offset < 0 || p.line < 0) return {};
    return {p, parts[2]};
}

// The rotated log, when LOG.sent names it and the log itself is another file.
QString rotatedRemainder(const QString& logPath, const SentMark& mark) {
    if (mark.identity.isEmpty() || mark.identity == identity(logPath)) return QString();
    const QString rotated = rotatedPath(logPath);
    return identity(rotated) == mark.identity ? rotated : QString();
}

// How far `file` (the log, or the rotated log) is sent.
bool saveMark(const QString& logPath, const QString& file, LogPosition p, QString* why) {
    QSaveFile f(sentPath(logPath));
    const QByteArray text = QByteArray::number(p.offset) + ' ' + QByteArray::number(p.line) + ' ' +
                            identity(file) + '\n';
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.commit()) return true;
    *why = QCoreApplication::translate("Push", "cannot record how far %1 is sent: %2")
               .arg(logPath, f.errorString());
    return false;
}

// A failed statement: its status and text, from its SQLSTATE.
struct Failure {
    Status status = Status::Unreachable;
    QString why;
};

Failure failureOf(const QSqlError& e) {
    switch (problemOf(e)) {
        case Problem::Busy:
            return {Status::Busy, describe(e)};
        case Problem::Denied:
            return {Status::Denied,
                    notPermittedText(QCoreApplication::translate("Connection", "pushing"),
                                     QLatin1String(kStationRole))};
        case Problem::Lost:
        case Problem::Refused:
            break;
    }
    return {Status::Unreachable, describe(e)};
}

bool exec(QSqlDatabase& db, const QString& sql, Failure* f, qint64* affected = nullptr) {
    QSqlQuery q(db);
    if (q.exec(sql)) {
        if (affected) *affected += q.numRowsAffected();
        return true;
    }
    *f = failureOf(q.lastError());
    return false;
}

// One transaction, time-limited: the statements, then commit. *affected:
// the rows of the first statement. Pushes take turns inside the table's
// trigger, on a lock only the schema's owner may take: no lock taken here
// could be held by another login to stall the push.
bool transact(QSqlDatabase& db, int limitMs, const QStringList& statements, Failure* f,
              qint64* affected = nullptr) {
    if (!db.transaction()) return *f = failureOf(db.lastError()), false;
    bool ok = exec(db, limitStatements(limitMs, true), f);
    for (qsizetype i = 0; i < statements.size(); ++i)
        ok = ok && exec(db, statements[i], f, i == 0 ? affected : nullptr);
    if (ok && db.commit()) return true;
    if (ok) *f = failureOf(db.lastError());
    if (db.isOpen()) db.rollback();  // a connection that is gone rolled back already
    return false;
}

// Every part of the schema, made when one is missing. Only looked at when it
// is whole: a station's role may not create anything, and need not. The
// plant's index and NOTIFY trigger, and the server's stamps, came later than
// the rest: on a schema made before them, a role that may not add them
// still pushes (listening windows poll; the rows go unstamped).
bool ensureSchema(QSqlDatabase& db, int limitMs, Failure* f) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral(
            "SELECT to_regclass('quarn_yield_daily') IS NOT NULL"
            " AND to_regclass('quarn_images') IS NOT NULL"
            " AND EXISTS (SELECT FROM pg_attribute WHERE attname = 'approved'"
            "             AND attrelid = to_regclass('quarn_sessions') AND NOT attisdropped)"
            " AND EXISTS (SELECT FROM pg_trigger WHERE tgname = 'quarn_sessions_first_pass'"
            "             AND tgrelid = to_regclass('quarn_sessions')),"
            " to_regclass('quarn_sessions_failures') IS NOT NULL"
            " AND EXISTS (SELECT FROM pg_trigger WHERE tgname = 'quarn_sessions_notify'"
            "             AND tgrelid = to_regclass('quarn_sessions'))"
            " AND EXISTS (SELECT FROM pg_trigger WHERE tgname = 'quarn_sessions_stamp'"
            "             AND tgrelid = to_regclass('quarn_sessions'))"
            " AND to_regclass('quarn_push_lock') IS NOT NULL")))
        return *f = failureOf(q.lastError()), false;
    const bool whole = q.next() && q.value(0).toBool(), notifies = q.value(1).toBool();
    if (whole && notifies) return true;
    // The parts already there would each be a NOTICE on standard error.
    // Two pushes that may make it take turns; a role that may not never
    // waits for the turn (another login could hold it).
    const QStringList statements =
        QStringList{QStringLiteral("SET LOCAL client_min_messages = warning"),
                    QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('quarn_sessions'))"
                                   " WHERE has_schema_privilege(current_schema(), 'CREATE')")} +
        schemaStatements();
    if (transact(db, limitMs, statements, f)) return true;
    if (whole && f->status == Status::Denied) return *f = Failure(), true;
    if (f->status == Status::Denied)
        f->why = notPermittedText(
            QCoreApplication::translate("Connection", "making the missing part of the schema"),
            QCoreApplication::translate("Connection",
                                        "that owns it (quarn-records schema | psql)"));
    return false;
}

// The rows in one transaction; the table's trigger sets first_pass.
bool sendBatch(QSqlDatabase& db, int limitMs, const QList<QJsonObject>& records, qint64* inserted,
               Failure* f) {
    if (records.isEmpty()) return true;
    return transact(db, limitMs, {insertStatement(records, *db.driver())}, f, inserted);
}

// Every batch of one file (the log or the rotated log) after `from`; the
// position saved after each commit. False with *f when a batch failed.
bool sendFile(QSqlDatabase& db, const PushRequest& request, const QString& file, LogPosition from,
              PushResult* r, Failure* f) {
    LogReader reader;
    if (!reader.open(file, from, &f->why)) return false;
    while (!reader.atEnd()) {
        if (request.cancel && request.cancel->cancelled()) {
            f->status = Status::Cancelled;
            return false;
        }
        const LogBatch batch = reader.next(request.batchSize);
        for (const QString& w : batch.warnings)
            if (request.warn) request.warn(w);
        r->damaged += batch.warnings.size();
        if (!sendBatch(db, request.limitMs, batch.records, &r->inserted, f)) return false;
        if (!saveMark(request.logPath, file, batch.end, &f->why)) return false;
        r->sent += batch.records.size();
    }
    return true;
}

// One attempt with the lock held: what is left of the rotated log, then the log.
PushResult attempt(const PushRequest& request, const DatabaseTarget& target) {
    PushResult r;
    Failure f;
    Connection connection;
    if (!connection.open(target, &f.why)) {
        r.status = Status::Unreachable;
        r.error = f.why;
        return r;
    }
    const CancelScope scope(request.cancel.get(), connection.db());
    bool ok = ensureSchema(connection.db(), request.limitMs, &f);
    const SentMark mark = readMark(request.logPath);
    const QString rotated = rotatedRemainder(request.logPath, mark);
    if (ok && !rotated.isEmpty()) {
        ok = sendFile(connection.db(), request, rotated, mark.position, &r, &f) &&
             saveMark(request.logPath, request.logPath, {}, &f.why);
    }
    if (ok && QFile::exists(request.logPath))
        ok = sendFile(connection.db(), request, request.logPath, sentPosition(request.logPath), &r,
                      &f);
    if (request.cancel && request.cancel->cancelled()) f.status = Status::Cancelled;
    if (!ok || f.status == Status::Cancelled) r.status = f.status, r.error = f.why;
    return r;
}

void addUp(PushResult* total, const PushResult& r) {
    const qint64 sent = total->sent + r.sent, inserted = total->inserted + r.inserted,
                 damaged = total->damaged + r.damaged;
    *total = r;
    total->sent = sent, total->inserted = inserted, total->damaged = damaged;
}

bool tryAgain(const PushRequest& request, const PushResult& r) {
    const bool failed = r.status == Status::Unreachable || r.status == Status::Busy;
    return failed && request.again && request.again(r);
}

// Attempts while the lock is held; then, let go, a look for records that came
// meanwhile, whose writer found the lock held and left them to this push.
void pushHeld(const PushRequest& request, const DatabaseTarget& target, FileLock& lock,
              PushResult* total) {
    for (;;) {
        addUp(total, attempt(request, target));
        if (tryAgain(request, *total)) continue;
        if (total->status != Status::Done) return;
        lock.release();
        if (pendingCount(request.logPath) == 0) return;
        QString why;
        if (lock.acquire(lockPath(request.logPath), false, &why) != FileLock::Result::Held)
            return;  // the push that holds it now sends them
    }
}

}  // namespace

int statementLimitMs() {
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("QUARN_PUSH_TIME_LIMIT", &ok);
    return (ok && s > 0 && s <= 24 * 3600 ? s : kStatementLimitS) * 1000;
}

QString handedText(const QString& logPath) {
    return QCoreApplication::translate("Push",
                                       "another push of %1 is running; it sends these records")
        .arg(logPath);
}

bool pushRunning(const QString& logPath) {
    FileLock lock;
    QString why;
    return lock.acquire(lockPath(logPath), false, &why) == FileLock::Result::Busy;
}

LogPosition sentPosition(const QString& logPath) {
    const SentMark mark = readMark(logPath);
    return mark.identity == identity(logPath) ? mark.position : LogPosition{};
}

qint64 pendingCount(const QString& logPath) {
    const SentMark mark = readMark(logPath);
    const QString rotated = rotatedRemainder(logPath, mark);
    const qint64 before = rotated.isEmpty() ? 0 : countLinesAfter(rotated, mark.position);
    return before + countLinesAfter(logPath, sentPosition(logPath));
}

PushResult pushLog(const PushRequest& request) {
    PushResult r;
    const DatabaseTarget target = parseDatabaseUrl(request.databaseUrl);
    if (!target.error.isEmpty()) {
        r.status = Status::Usage;
        r.error = target.error;
        return r;
    }
    if (pendingCount(request.logPath) == 0 && !QFile::exists(request.logPath))
        return r;  // nothing is recorded yet
    FileLock lock;
    switch (lock.acquire(lockPath(request.logPath), false, &r.error)) {
        case FileLock::Result::Held:
            pushHeld(request, target, lock, &r);
            break;
        case FileLock::Result::Busy:
            r.status = Status::Handed;
            break;
        case FileLock::Result::Failed:
            r.status = Status::Unreachable;
            break;
    }
    r.pending = pendingCount(request.logPath);
    return r;
}

}  // namespace quarn::records
