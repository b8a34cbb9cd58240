#include "figures/reader.h"

#include <QCoreApplication>
#include <QSqlQuery>

namespace quarn::figures {

namespace {

// The server's JIT compiler spends seconds compiling a report's or a view's
// few aggregate queries and wins nothing back on what the summaries leave
// to read: off for the session. So are parallel workers: the planner, which
// cannot tell how few groups the buckets' expressions make, would have them
// sort every row to group them; one process hashing them is quicker, and
// leaves the other core free.
bool forFigures(pg::Connection* c, pg::QueryFailure* f) {
    QSqlQuery q(c->db());
    if (q.exec(QStringLiteral("SET jit = off")) &&
        q.exec(QStringLiteral("SET max_parallel_workers_per_gather = 0")))
        return true;
    *f = {pg::describe(q.lastError()), pg::problemOf(q.lastError())};
    return false;
}

}  // namespace

bool openReader(const pg::DatabaseTarget& target, int limitMs, pg::Connection* c,
                database::SchemaLook* schema, pg::QueryFailure* f) {
    if (!c->open(target, &f->error)) return f->problem = c->openProblem(), false;
    if (!c->limit(limitMs, &f->error)) return f->problem = pg::Problem::Lost, false;
    QSqlError e;
    if (!database::lookAtSchema(c->db(), schema, &e))
        return *f = {pg::describe(e), pg::problemOf(e)}, false;
    using State = database::SchemaLook::State;
    if (schema->state == State::Current) return forFigures(c, f);
    f->problem = pg::Problem::Refused;
    f->error = schema->state == State::Empty
                   ? QCoreApplication::translate(
                         "Connection",
                         "the database has no schema: apply `quarn-records schema` as its owner")
                   : database::schemaBehindText(*schema);
    return false;
}

}  // namespace quarn::figures
