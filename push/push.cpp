#include "push/push.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <deque>
#include <optional>

#include "core/logging.h"
#include "database/ledger.h"
#include "database/schema.h"
#include "pg/connection.h"
#include "push/batch_lanes.h"
#include "push/push_cancel.h"
#include "push/push_rows.h"
#include "recordlog/file_lock.h"
#include "recordlog/log_files.h"
#include "recordlog/rejected_lines.h"
#include "recordlog/sent_mark.h"

namespace quarn::push {

namespace {

using Status = PushResult::Status;

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
        return {Status::Unreachable, pg::describe(e), true,
                code + QLatin1Char(' ') + serverMessage(e)};
    switch (pg::problemOf(e)) {
        case pg::Problem::Busy:
            return {Status::Busy, pg::describe(e)};
        case pg::Problem::Denied:
            return {Status::Denied,
                    pg::notPermittedText(QCoreApplication::translate("Connection", "pushing"),
                                         QLatin1String(database::kStationRole))};
        case pg::Problem::Lost:
        case pg::Problem::Refused:
            break;
    }
    return {Status::Unreachable, pg::describe(e)};
}

// The schema as the ledger has it: this program's, or made now when the
// database has none and this login may make it (the owner's first push;
// two such pushes take turns). An earlier version's, or one whose ledger is
// behind, is its owner's to migrate: nothing is sent meanwhile, and the
// records wait in the log.
bool schemaReady(QSqlDatabase& db, Failure* f) {
    database::SchemaLook look;
    QSqlError e;
    if (!database::lookAtSchema(db, &look, &e)) return *f = failureOf(e), false;
    if (look.state == database::SchemaLook::State::Current) return true;
    if (look.state != database::SchemaLook::State::Empty)
        return *f = {Status::Unreachable, database::schemaBehindText(look)}, false;
    if (database::applySchema(db, &e)) return true;
    *f = failureOf(e);
    if (f->status == Status::Denied)
        f->why = pg::notPermittedText(
            QCoreApplication::translate("Connection", "making the missing part of the schema"),
            QCoreApplication::translate("Connection",
                                        "that owns it (quarn-records schema | psql)"));
    return false;
}

// The connections of one attempt, and the months whose partitions it has
// seen to.
struct Link {
    BatchLanes& lanes;
    QStringList months;
    recordlog::SentLedger ledger = {};  // how far each file of the log is sent
    QList<QByteArray> present = {};     // the fingerprints of the log's files
};

// How far the file of that fingerprint (the log, or one logrotate made of
// it) is sent, kept in LOG.sent. The fingerprint is of the open file's
// content: a rotation between two batches renames the file being read, and
// the mark goes on naming it.
bool saveMark(Link& link, const QString& logPath, const QByteArray& file, recordlog::LogPosition p,
              QString* why) {
    link.ledger.set(file, p);
    if (!link.present.contains(file)) link.present << file;
    return link.ledger.save(logPath, link.present, why);
}

// The months of the records this push has not met yet.
QStringList freshMonths(Link& link, const QList<QJsonObject>& records) {
    QStringList fresh;
    for (const QString& m : recordMonths(records))
        if (!link.months.contains(m)) fresh << m;
    link.months += fresh;
    return fresh;
}

// The records sent on a lane: CALL quarn_push, which makes the months they
// need first (then commits). now: the answer waited for.
void sendOn(Link& link, const QList<QJsonObject>& records, bool now, LaneAnswer* answer) {
    const LaneCall call{pushCallSql().toUtf8(),
                        {rowsJson(records), monthsArray(freshMonths(link, records))}};
    if (now)
        *answer = link.lanes.runNow(call);
    else
        link.lanes.send(call);
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
bool sendRows(Link& link, const PushRequest& request, const recordlog::LogReader& reader,
              const recordlog::LogBatch& batch, PushResult* r, Failure* f) {
    for (qsizetype i = 0; i < batch.records.size(); ++i) {
        if (sendBatch(link, {batch.records[i]}, &r->inserted, f)) {
            ++r->sent;
            continue;
        }
        if (!f->data) return false;
        const QString name = QFileInfo(reader.fileName()).fileName();
        if (!recordlog::keepRejected(request.logPath, name, batch.lines[i], batch.ends[i].line,
                                     f->reason, &f->why) ||
            !saveMark(link, request.logPath, reader.fingerprint(), batch.ends[i], &f->why))
            return *f = {Status::Unreachable, f->why}, false;
        ++r->rejected;
        if (request.warn)
            request.warn(QCoreApplication::translate(
                             "Push", "%1 line %2: refused by the database (%3); kept in %4")
                             .arg(reader.fileName())
                             .arg(batch.ends[i].line)
                             .arg(f->reason, recordlog::rejectedPath(request.logPath)));
    }
    *f = Failure();
    return true;
}

// A batch sent and not yet settled; its answer once taken.
struct InFlight {
    recordlog::LogBatch batch;
    std::optional<LaneAnswer> answer;
};

// The next batch of the file, sent on an idle lane (a batch of damaged lines
// only has nothing to send: its answer is there at once).
void sendNext(Link& link, const PushRequest& request, recordlog::LogReader& reader, PushResult* r,
              std::deque<InFlight>* flying) {
    InFlight next{reader.next(request.batchSize), {}};
    for (const QString& w : next.batch.warnings)
        if (request.warn) request.warn(w);
    r->damaged += next.batch.warnings.size();
    if (next.batch.records.isEmpty())
        next.answer = LaneAnswer{true, 0, QSqlError()};
    else
        sendOn(link, next.batch.records, false, nullptr);
    qCDebug(lcPush) << "batch of" << next.batch.records.size() << "record(s) sent, up to line"
                    << next.batch.end.line;
    flying->push_back(std::move(next));
}

// The answer of every batch in flight taken, oldest first: the lanes idle.
void takeAnswers(Link& link, std::deque<InFlight>& flying) {
    for (InFlight& b : flying)
        if (!b.answer) b.answer = link.lanes.takeOldest();
}

// The oldest batch's answer: counted and the mark moved past it, or its rows
// sent one by one (when the server refused its data), or false with *f.
bool settle(Link& link, const PushRequest& request, const recordlog::LogReader& reader,
            std::deque<InFlight>& flying, PushResult* r, Failure* f) {
    InFlight& b = flying.front();
    if (!b.answer) b.answer = link.lanes.takeOldest();
    const qint64 sent = r->sent;
    qCDebug(lcPush) << "batch up to line" << b.batch.end.line
                    << (b.answer->ok ? "committed," : "refused:") << b.answer->inserted
                    << "row(s) new" << b.answer->error.nativeErrorCode();
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
bool sendFile(Link& link, const PushRequest& request, const QString& file,
              recordlog::LogPosition from, PushResult* r, Failure* f) {
    recordlog::LogReader reader;
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
void addSecondLane(const PushRequest& request, const pg::DatabaseTarget& target,
                   pg::Connection& second, std::optional<CancelScope>& scope, BatchLanes& lanes) {
    QString why;
    if (recordlog::pendingCount(request.logPath) <= request.batchSize || !second.open(target, &why))
        return;
    scope.emplace(request.cancel.get(), second.db());
    lanes.add(second.db());
}

// One attempt with the lock held: what is left of the rotated log, then the log.
PushResult attempt(const PushRequest& request, const pg::DatabaseTarget& target) {
    PushResult r;
    Failure f;
    pg::Connection connection, second;
    if (!connection.open(target, &f.why)) {
        r.status = Status::Unreachable;
        r.error = f.why;
        return r;
    }
    const CancelScope scope(request.cancel.get(), connection.db());
    std::optional<CancelScope> secondScope;
    BatchLanes lanes(request.limitMs);
    Link link{lanes, {}, recordlog::SentLedger::load(request.logPath), {}};
    bool ok = schemaReady(connection.db(), &f);
    if (ok && !lanes.add(connection.db()))
        ok = false, f.why = QCoreApplication::translate(
                        "Push", "the database driver gives no PostgreSQL connection to send on");
    if (ok) addSecondLane(request, target, second, secondScope, lanes);
    // Every file logrotate made of the log whose records have not all
    // arrived, oldest first, then the log itself.
    const QList<recordlog::LogFile> files = recordlog::logFiles(request.logPath);
    for (const recordlog::LogFile& file : files) link.present << file.fingerprint;
    for (const recordlog::LogFile& file : files)
        if (ok && !recordlog::sentWhole(file))
            ok = sendFile(link, request, file.path, file.sent, &r, &f);
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
    if (failed) qCDebug(lcPush).noquote() << "attempt failed:" << r.error;
    return failed && request.again && request.again(r);
}

// Attempts while the lock is held; then, let go, a look for records that came
// meanwhile, whose writer found the lock held and left them to this push.
void pushHeld(const PushRequest& request, const pg::DatabaseTarget& target,
              recordlog::FileLock& lock, PushResult* total) {
    for (;;) {
        addUp(total, attempt(request, target));
        if (tryAgain(request, *total)) continue;
        if (total->status != Status::Done) return;
        lock.release();
        if (recordlog::pendingCount(request.logPath) == 0) return;
        QString why;
        if (lock.acquire(recordlog::pushLockPath(request.logPath), false, &why) !=
            recordlog::FileLock::Result::Held)
            return;  // the push that holds it now sends them
    }
}

// A holder waiting out its retry sends now rather than in a minute; a
// station's pusher waiting its minute after this push sent its records
// counts them again at once. A hint only: without it they wait their minute.
void wakeWaiting(const PushRequest& request) {
    QString why;
    if (!recordlog::FileLock::touch(recordlog::pushLockPath(request.logPath), &why) && request.warn)
        request.warn(why);
}

}  // namespace

PushResult pushLog(const PushRequest& request) {
    PushResult r;
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(request.databaseUrl);
    if (!target.error.isEmpty()) {
        r.status = Status::Usage;
        r.error = target.error;
        return r;
    }
    if (recordlog::pendingCount(request.logPath) == 0 && !QFile::exists(request.logPath))
        return r;  // nothing is recorded yet
    recordlog::FileLock lock;
    switch (lock.acquire(recordlog::pushLockPath(request.logPath), false, &r.error)) {
        case recordlog::FileLock::Result::Held:
            pushHeld(request, target, lock, &r);
            if (request.wakeHolder && r.sent > 0) wakeWaiting(request);
            break;
        case recordlog::FileLock::Result::Busy:
            r.status = Status::Handed;
            if (request.wakeHolder) wakeWaiting(request);
            break;
        case recordlog::FileLock::Result::Failed:
            r.status = Status::Unreachable;
            break;
    }
    r.pending = recordlog::pendingCount(request.logPath);
    return r;
}

}  // namespace quarn::push
