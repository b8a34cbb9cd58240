#pragma once
// A connection for the plant's questions: opened, its statements given
// their time limit, and the schema asked of its ledger once
// (database/ledger.h): whether it is this program's, and whether this
// login reads the summaries. Every read of figures/ starts here, so none
// asks the catalogue what an earlier version lacked.

#include "database/ledger.h"
#include "pg/connection.h"
#include "pg/query_run.h"

namespace quarn::figures {

// Its session reads without the JIT compiler or parallel workers (what the
// figures read is small; compiling or sharing it costs more than it wins).
// False with *f when the server cannot be reached or refuses, or when the
// schema is not this program's (f->problem Refused; f->error says what to
// run: `quarn-records migrate`, or `quarn-records schema` on an empty one).
bool openReader(const pg::DatabaseTarget& target, int limitMs, pg::Connection* c,
                database::SchemaLook* schema, pg::QueryFailure* f);

}  // namespace quarn::figures
