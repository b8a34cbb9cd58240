#include "figures/reader.h"

#include <QCoreApplication>

namespace quarn::figures {

bool openReader(const pg::DatabaseTarget& target, int limitMs, pg::Connection* c,
                database::SchemaLook* schema, pg::QueryFailure* f) {
    if (!c->open(target, &f->error)) return f->problem = c->openProblem(), false;
    if (!c->limit(limitMs, &f->error)) return f->problem = pg::Problem::Lost, false;
    QSqlError e;
    if (!database::lookAtSchema(c->db(), schema, &e))
        return *f = {pg::describe(e), pg::problemOf(e)}, false;
    using State = database::SchemaLook::State;
    if (schema->state == State::Current) return true;
    f->problem = pg::Problem::Refused;
    f->error = schema->state == State::Empty
                   ? QCoreApplication::translate(
                         "Connection",
                         "the database has no schema: apply `quarn-records schema` as its owner")
                   : database::schemaBehindText(*schema);
    return false;
}

}  // namespace quarn::figures
