#pragma once
// A push's batches on one or two connections at once: the server works on
// each connection's batch with a process of its own, so two keep two of its
// processes busy while the push reads the next batch. Each batch is one
// transaction sent whole (libpq's asynchronous query on the connection Qt's
// driver opened); answers are taken in the order the batches were sent, so
// a push marks its log only as far as every earlier batch is in.
//
// Contract
// - Every lane is idle (no transaction open, no query in flight) when added
//   and again after each answer is taken: a failed batch is rolled back
//   before takeOldest() returns, and the lane's QSqlDatabase may then be
//   used as usual (a batch sent again row by row).
// - send() only on an idle lane (hasIdleLane()); takeOldest() only while a
//   batch is in flight (inFlight() > 0). It blocks until that batch's
//   transaction has ended.
// - Batches in flight at once may commit in either order; each is as a push
//   of its own station would be (the table's trigger orders their turns).
// - One thread: the lanes' connections belong to the thread that opened them.

#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <deque>
#include <vector>

namespace quarn::records {

// One statement with its parameters (text), sent alone: a CALL of a
// procedure that commits, which the server refuses among several
// statements. Its answer's inserted: the first value it returns.
struct LaneCall {
    QByteArray sql;
    QList<QByteArray> params;
};

struct LaneAnswer {
    bool ok = false;
    qint64 inserted = 0;  // rows the batch's INSERT added (once committed)
    QSqlError error;      // when not ok: the server's SQLSTATE and words
};

class BatchLanes {
public:
    explicit BatchLanes(int limitMs) : limitMs_(limitMs) {}
    BatchLanes(const BatchLanes&) = delete;
    BatchLanes& operator=(const BatchLanes&) = delete;

    // A connection opened by Qt's PostgreSQL driver, its session given the
    // time limits (what a CALL runs under); false when it is not one, or
    // the server refused the limits.
    bool add(QSqlDatabase& db);
    bool hasIdleLane() const { return order_.size() < lanes_.size(); }
    qsizetype inFlight() const { return qsizetype(order_.size()); }

    // BEGIN, the time limits, the statements (none ending in ';'), COMMIT,
    // sent on an idle lane without waiting for the server.
    void send(const QStringList& statements);
    void send(const LaneCall& call);
    LaneAnswer takeOldest();
    // send() and its answer at once, on an idle lane, whatever is in flight
    // on the others.
    LaneAnswer runNow(const QStringList& statements);
    LaneAnswer runNow(const LaneCall& call);

private:
    struct Lane {
        void* connection = nullptr;  // libpq's PGconn
        bool busy = false;
        QSqlError sendError;  // a batch that could not be sent: its answer
    };
    // The query sent on the first idle lane (not queued): its index.
    std::size_t sendOnIdleLane(const LaneCall& call);
    // The lane's batch's answer, waited for; the lane idle again.
    LaneAnswer answerOf(Lane& lane);

    int limitMs_;
    std::vector<Lane> lanes_;
    std::deque<std::size_t> order_;  // the lane of each batch in flight, oldest first
};

}  // namespace quarn::records
