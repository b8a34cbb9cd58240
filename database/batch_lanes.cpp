#include "database/batch_lanes.h"

#include <libpq-fe.h>

#include <memory>

#include "database/connection.h"
#include "database/pg_handle.h"

namespace quarn::records {

namespace {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// As Qt's driver reports a failed statement: the server's words, its SQLSTATE.
QSqlError errorOf(PGconn* connection, const PGresult* result) {
    const char* code = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* words = result ? PQresultErrorMessage(result) : PQerrorMessage(connection);
    return QSqlError(QStringLiteral("QPSQL: Unable to create query"), QString::fromUtf8(words),
                     QSqlError::StatementError, QString::fromLatin1(code ? code : ""));
}

// Every result of the batch's statements, up to the end of its query: the
// first failure, or the rows its INSERT added.
LaneAnswer collect(PGconn* connection) {
    LaneAnswer a;
    a.ok = true;
    while (PGresult* raw = PQgetResult(connection)) {
        const Result r(raw, &PQclear);
        const ExecStatusType status = PQresultStatus(raw);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            if (qstrncmp(PQcmdStatus(raw), "INSERT", 6) == 0)
                a.inserted = QByteArray(PQcmdTuples(raw)).toLongLong();
            else if (status == PGRES_TUPLES_OK && PQntuples(raw) > 0)  // a CALL's INOUT
                a.inserted = QByteArray(PQgetvalue(raw, 0, 0)).toLongLong();
        } else if (a.ok) {
            a.ok = false;
            a.error = errorOf(connection, raw);
        }
    }
    return a;
}

// A failed statement leaves its transaction open and aborted (the rest of
// the query was skipped): ended here, so the lane is idle again. A
// connection that is gone ended it already.
void rollBack(PGconn* connection) {
    if (PQstatus(connection) != CONNECTION_OK || PQtransactionStatus(connection) == PQTRANS_IDLE)
        return;
    PQclear(PQexec(connection, "ROLLBACK"));
}

}  // namespace

bool BatchLanes::add(QSqlDatabase& db) {
    auto* connection = static_cast<PGconn*>(pgConnectionOf(db));
    if (!connection) return false;
    const Result limited(PQexec(connection, limitStatements(limitMs_, false).toUtf8().constData()),
                         &PQclear);
    if (PQresultStatus(limited.get()) != PGRES_COMMAND_OK) return false;
    lanes_.push_back(Lane{connection, false, QSqlError()});
    return true;
}

namespace {

// The statements in one transaction of their own, time-limited.
LaneCall transaction(const QStringList& statements, int limitMs) {
    return {(QStringLiteral("BEGIN; ") + limitStatements(limitMs, true) + QStringLiteral("; ") +
             statements.join(QStringLiteral("; ")) + QStringLiteral("; COMMIT"))
                .toUtf8(),
            {}};
}

}  // namespace

std::size_t BatchLanes::sendOnIdleLane(const LaneCall& call) {
    std::size_t i = 0;
    while (lanes_[i].busy) ++i;
    Lane& lane = lanes_[i];
    auto* connection = static_cast<PGconn*>(lane.connection);
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const QByteArray& p : call.params)
        values.push_back(p.constData()), lengths.push_back(int(p.size()));
    const int sent = call.params.isEmpty()
                         ? PQsendQuery(connection, call.sql.constData())
                         : PQsendQueryParams(connection, call.sql.constData(), int(values.size()),
                                             nullptr, values.data(), lengths.data(), nullptr, 0);
    lane.sendError = sent == 1 ? QSqlError() : errorOf(connection, nullptr);
    lane.busy = true;
    return i;
}

LaneAnswer BatchLanes::answerOf(Lane& lane) {
    lane.busy = false;
    if (lane.sendError.isValid()) return LaneAnswer{false, 0, lane.sendError};
    auto* connection = static_cast<PGconn*>(lane.connection);
    LaneAnswer a = collect(connection);
    if (!a.ok) rollBack(connection);
    return a;
}

void BatchLanes::send(const QStringList& statements) { send(transaction(statements, limitMs_)); }

void BatchLanes::send(const LaneCall& call) { order_.push_back(sendOnIdleLane(call)); }

LaneAnswer BatchLanes::runNow(const QStringList& statements) {
    return runNow(transaction(statements, limitMs_));
}

LaneAnswer BatchLanes::runNow(const LaneCall& call) {
    return answerOf(lanes_[sendOnIdleLane(call)]);
}

LaneAnswer BatchLanes::takeOldest() {
    Lane& lane = lanes_[order_.front()];
    order_.pop_front();
    return answerOf(lane);
}

}  // namespace quarn::records
