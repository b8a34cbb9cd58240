#include "database/push.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <deque>
#include <optional>

#include "database/batch_lanes.h"
#include "database/connection.h"
#include "database/push_cancel.h"
#include "database/push_rejected.h"
#include "database/schema.h"
#include "recordlog/file_lock.h"
#include "recordlog/log_files.h"

namespace quarn::records {

namespace {

using Status = PushResult::Status;

QString lockPath(const QString& logPath) { return logPath + QStringLiteral(".lock"); }

// A failed statement: its status and text, from its SQLSTATE.
struct Failure {
    Status status = Status::Unreachable;
    QString why;
    // The server refused the rows themselves (SQLSTATE class 22, data
    // exception, or 23, integrity constraint): sending them again never helps.
    bool data = false;
    QString reason = {};  // then: "SQLSTATE message", the server's own words
};

// The server's message without its severity or detail (the detail repeats
// the whole row, which LOG.rejected keeps anyway).
QString serverMessage(const QSqlError& e) {
    const QString first = e.databaseText().section(QLatin1Char('\n'), 0, 0);
    const qsizetype colon = first.indexOf(QLatin1String(":  "));  // "ERROR:  ..."
    return (colon >= 0 && colon < 12 ? first.mid(colon + 3) : first).trimmed();
}

Failure failureOf(const QSqlError& e) {
    const QString code = e.nativeErrorCode();
    if (code.startsWith(QLatin1String("22")) || code.startsWith(QLatin1String("23")))
        return {Status::Unreachable, describe(e), true, code + QLatin1Char(' ') + serverMessage(e)};
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
// the rows of the last statement. Pushes take turns inside the table's
// trigger, on a lock only the schema's owner may take: no lock taken here
// could be held by another login to stall the push.
bool transact(QSqlDatabase& db, int limitMs, const QStringList& statements, Failure* f,
              qint64* affected = nullptr) {
    if (!db.transaction()) return *f = failureOf(db.lastError()), false;
    bool ok = exec(db, limitStatements(limitMs, true), f);
    for (qsizetype i = 0; i < statements.size(); ++i)
        ok = ok && exec(db, statements[i], f, i == statements.size() - 1 ? affected : nullptr);
    if (ok && db.commit()) return true;
    if (ok) *f = failureOf(db.lastError());
    if (db.isOpen()) db.rollback();  // a connection that is gone rolled back already
    return false;
}

// Every part of the schema, made when one is missing. Only looked at when it
// is whole: a station's role may not create anything, and need not. The
// plant's index and NOTIFY trigger, the server's stamps, the function that
// makes a month's partition and quarn_push came later than the rest: on a
// schema made before them, a role that may not add them still pushes
// (listening windows poll; the rows go unstamped and by INSERT;
// *makesMonths false: no partition is made).
bool ensureSchema(QSqlDatabase& db, int limitMs, Failure* f, bool* makesMonths) {
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
            " AND to_regclass('quarn_push_lock') IS NOT NULL"
            " AND to_regprocedure('quarn_push(json,timestamptz[],bigint)') IS NOT NULL,"
            " to_regprocedure('quarn_sessions_months(timestamptz[])') IS NOT NULL")))
        return *f = failureOf(q.lastError()), false;
    const bool whole = q.next() && q.value(0).toBool(), notifies = q.value(1).toBool();
    *makesMonths = q.value(2).toBool();
    if (whole && notifies) return true;
    // The parts already there would each be a NOTICE on standard error.
    // Two pushes that may make it take turns; a role that may not never
    // waits for the turn (another login could hold it).
    const QStringList statements =
        QStringList{QStringLiteral("SET LOCAL client_min_messages = warning"),
                    QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('quarn_sessions'))"
                                   " WHERE has_schema_privilege(current_schema(), 'CREATE')")} +
        schemaStatements();
    if (transact(db, limitMs, statements, f)) return *makesMonths = true;
    if (whole && f->status == Status::Denied) return *f = Failure(), true;
    if (f->status == Status::Denied)
        f->why = notPermittedText(
            QCoreApplication::translate("Connection", "making the missing part of the schema"),
            QCoreApplication::translate("Connection",
                                        "that owns it (quarn-records schema | psql)"));
    return false;
}

// Whether this login adds rows through quarn_push (the schema has it, and
// the login may call it).
bool callsPush(QSqlDatabase& db, bool* pushes, Failure* f) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT coalesce(has_function_privilege(to_regprocedure("
                               "'quarn_push(json,timestamptz[],bigint)'), 'EXECUTE'), false)")) ||
        !q.next())
        return *f = failureOf(q.lastError()), false;
    *pushes = q.value(0).toBool();
    return true;
}

// The connections of one attempt, and the months whose partitions it has
// seen to. pushes: the rows go through CALL quarn_push (the schema's way);
// else, on a schema made before it whose owner has not applied it again,
// by INSERT, and no partition is made (makesMonths false) when it lacks the
// month maker too.
struct Link {
    QSqlDatabase& db;  // the first lane's: the schema
    BatchLanes& lanes;
    bool makesMonths = false;
    bool pushes = false;
    QStringList months;
    SentLedger ledger = {};          // how far each file of the log is sent
    QList<QByteArray> present = {};  // the fingerprints of the log's files
};

// How far the file of that fingerprint (the log, or one logrotate made of
// it) is sent, kept in LOG.sent. The fingerprint is of the open file's
// content: a rotation between two batches renames the file being read, and
// the mark goes on naming it.
bool saveMark(Link& link, const QString& logPath, const QByteArray& file, LogPosition p,
              QString* why) {
    link.ledger.set(file, p);
    if (!link.present.contains(file)) link.present << file;
    return link.ledger.save(logPath, link.present, why);
}

// The months of the records this push has not met yet.
QStringList freshMonths(Link& link, const QList<QJsonObject>& records) {
    QStringList fresh;
    if (link.makesMonths)
        for (const QString& m : recordMonths(records))
            if (!link.months.contains(m)) fresh << m;
    link.months += fresh;
    return fresh;
}

// The records sent on a lane: CALL quarn_push, which makes the months they
// need first (then commits); or, on a schema made before it, the months'
// partitions made in a transaction of their own (false with *error when
// that failed), then an INSERT.
bool sendOn(Link& link, const QList<QJsonObject>& records, bool now, LaneAnswer* answer) {
    const QStringList fresh = freshMonths(link, records);
    if (link.pushes) {
        const LaneCall call{pushCallSql().toUtf8(), {rowsJson(records), monthsArray(fresh)}};
        if (now)
            *answer = link.lanes.runNow(call);
        else
            link.lanes.send(call);
        return true;
    }
    if (!fresh.isEmpty()) {
        const LaneAnswer made = link.lanes.runNow({monthsStatement(fresh)});
        if (!made.ok) return *answer = made, false;
    }
    if (now)
        *answer = link.lanes.runNow({insertStatement(records)});
    else
        link.lanes.send({insertStatement(records)});
    return true;
}

// The rows sent, waiting for their transaction's end; the table's triggers
// stamp them and set first_pass.
bool sendBatch(Link& link, const QList<QJsonObject>& records, qint64* inserted, Failure* f) {
    if (records.isEmpty()) return true;
    LaneAnswer answer;
    sendOn(link, records, true, &answer);
    if (!answer.ok) return *f = failureOf(answer.error), false;
    *inserted += answer.inserted;  // counted only once committed
    return true;
}

// A batch the server refused for its data, one row at a time: each row it
// refuses is kept in LOG.rejected and named in a warning, and the mark passes
// it (so no later push sends it, or keeps it, again); the others go in.
bool sendRows(Link& link, const PushRequest& request, const LogReader& reader,
              const LogBatch& batch, PushResult* r, Failure* f) {
    for (qsizetype i = 0; i < batch.records.size(); ++i) {
        if (sendBatch(link, {batch.records[i]}, &r->inserted, f)) {
            ++r->sent;
            continue;
        }
        if (!f->data) return false;
        const QString name = QFileInfo(reader.fileName()).fileName();
        if (!keepRejected(request.logPath, name, batch.lines[i], batch.ends[i].line, f->reason,
                          &f->why) ||
            !saveMark(link, request.logPath, reader.fingerprint(), batch.ends[i], &f->why))
            return *f = {Status::Unreachable, f->why}, false;
        ++r->rejected;
        if (request.warn)
            request.warn(QCoreApplication::translate(
                             "Push", "%1 line %2: refused by the database (%3); kept in %4")
                             .arg(reader.fileName())
                             .arg(batch.ends[i].line)
                             .arg(f->reason, rejectedPath(request.logPath)));
    }
    *f = Failure();
    return true;
}

// A batch sent and not yet settled; its answer once taken.
struct InFlight {
    LogBatch batch;
    std::optional<LaneAnswer> answer;
};

// The next batch of the file, sent on an idle lane (a batch of damaged lines
// only has nothing to send: its answer is there at once).
void sendNext(Link& link, const PushRequest& request, LogReader& reader, PushResult* r,
              std::deque<InFlight>* flying) {
    InFlight next{reader.next(request.batchSize), {}};
    for (const QString& w : next.batch.warnings)
        if (request.warn) request.warn(w);
    r->damaged += next.batch.warnings.size();
    LaneAnswer answer{true, 0, QSqlError()};
    if (next.batch.records.isEmpty() || !sendOn(link, next.batch.records, false, &answer))
        next.answer = answer;
    flying->push_back(std::move(next));
}

// The answer of every batch in flight taken, oldest first: the lanes idle.
void takeAnswers(Link& link, std::deque<InFlight>& flying) {
    for (InFlight& b : flying)
        if (!b.answer) b.answer = link.lanes.takeOldest();
}

// The oldest batch's answer: counted and the mark moved past it, or its rows
// sent one by one (when the server refused its data), or false with *f.
bool settle(Link& link, const PushRequest& request, const LogReader& reader,
            std::deque<InFlight>& flying, PushResult* r, Failure* f) {
    InFlight& b = flying.front();
    if (!b.answer) b.answer = link.lanes.takeOldest();
    const qint64 sent = r->sent;
    if (b.answer->ok) {
        r->sent += b.batch.records.size();
        r->inserted += b.answer->inserted;
    } else {
        *f = failureOf(b.answer->error);
        takeAnswers(link, flying);
        if (!f->data || !sendRows(link, request, reader, b.batch, r, f)) return false;
    }
    if (!saveMark(link, request.logPath, reader.fingerprint(), b.batch.end, &f->why)) {
        r->sent = sent;
        return false;
    }
    return true;
}

// Every batch of one file (the log or the rotated log) after `from`, as many
// in flight as there are lanes; the position saved after each batch in the
// order of the file. False with *f when a batch failed; a later batch that
// went in meanwhile is sent again next time, inserting nothing.
bool sendFile(Link& link, const PushRequest& request, const QString& file, LogPosition from,
              PushResult* r, Failure* f) {
    LogReader reader;
    if (!reader.open(file, from, &f->why)) return false;
    std::deque<InFlight> flying;
    bool ok = true;
    while (ok && (!reader.atEnd() || !flying.empty())) {
        if (request.cancel && request.cancel->cancelled()) {
            f->status = Status::Cancelled;
            ok = false;
            break;
        }
        while (!reader.atEnd() && link.lanes.hasIdleLane())
            sendNext(link, request, reader, r, &flying);
        ok = settle(link, request, reader, flying, r, f);
        flying.pop_front();
    }
    takeAnswers(link, flying);  // not counted: sent again next time (inserting nothing)
    return ok;
}

// A second connection, when more than one batch waits: the server then
// works on two batches at once. None (one lane) when it cannot be opened.
void addSecondLane(const PushRequest& request, const DatabaseTarget& target, Connection& second,
                   std::optional<CancelScope>& scope, BatchLanes& lanes) {
    QString why;
    if (pendingCount(request.logPath) <= request.batchSize || !second.open(target, &why)) return;
    scope.emplace(request.cancel.get(), second.db());
    lanes.add(second.db());
}

// One attempt with the lock held: what is left of the rotated log, then the log.
PushResult attempt(const PushRequest& request, const DatabaseTarget& target) {
    PushResult r;
    Failure f;
    Connection connection, second;
    if (!connection.open(target, &f.why)) {
        r.status = Status::Unreachable;
        r.error = f.why;
        return r;
    }
    const CancelScope scope(request.cancel.get(), connection.db());
    std::optional<CancelScope> secondScope;
    BatchLanes lanes(request.limitMs);
    Link link{connection.db(), lanes, false, false, {}, SentLedger::load(request.logPath), {}};
    bool ok = ensureSchema(connection.db(), request.limitMs, &f, &link.makesMonths) &&
              callsPush(connection.db(), &link.pushes, &f);
    if (ok && !lanes.add(connection.db()))
        ok = false, f.why = QCoreApplication::translate(
                        "Push", "the database driver gives no PostgreSQL connection to send on");
    if (ok) addSecondLane(request, target, second, secondScope, lanes);
    // Every file logrotate made of the log whose records have not all
    // arrived, oldest first, then the log itself.
    const QList<LogFile> files = logFiles(request.logPath);
    for (const LogFile& file : files) link.present << file.fingerprint;
    for (const LogFile& file : files)
        if (ok && !sentWhole(file)) ok = sendFile(link, request, file.path, file.sent, &r, &f);
    if (request.cancel && request.cancel->cancelled()) f.status = Status::Cancelled;
    if (!ok || f.status == Status::Cancelled) r.status = f.status, r.error = f.why;
    return r;
}

void addUp(PushResult* total, const PushResult& r) {
    const qint64 sent = total->sent + r.sent, inserted = total->inserted + r.inserted,
                 damaged = total->damaged + r.damaged, rejected = total->rejected + r.rejected;
    *total = r;
    total->sent = sent, total->inserted = inserted, total->damaged = damaged;
    total->rejected = rejected;
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

// A holder waiting out its retry sends now rather than in a minute; a
// station's pusher waiting its minute after this push sent its records
// counts them again at once. A hint only: without it they wait their minute.
void wakeWaiting(const PushRequest& request) {
    QString why;
    if (!FileLock::touch(lockPath(request.logPath), &why) && request.warn) request.warn(why);
}

}  // namespace

int statementLimitMs() {
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("QUARN_PUSH_TIME_LIMIT", &ok);
    return (ok && s > 0 && s <= 24 * 3600 ? s : kStatementLimitS) * 1000;
}

QString pushLockPath(const QString& logPath) { return lockPath(logPath); }

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

qint64 pendingCount(const QString& logPath) { return pendingLines(logPath); }

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
            if (request.wakeHolder && r.sent > 0) wakeWaiting(request);
            break;
        case FileLock::Result::Busy:
            r.status = Status::Handed;
            if (request.wakeHolder) wakeWaiting(request);
            break;
        case FileLock::Result::Failed:
            r.status = Status::Unreachable;
            break;
    }
    r.pending = pendingCount(request.logPath);
    return r;
}

}  // namespace quarn::records
