#pragma once
// libpq's connection behind a QSqlDatabase that Qt's PostgreSQL driver
// opened: for what QtSql does not offer (cancelling a statement in flight,
// queries that do not wait for their answer).

#include <QSqlDatabase>

struct pg_conn;  // libpq's PGconn

namespace quarn::pg {

// Null when the database is not open with Qt's PostgreSQL driver.
pg_conn* pgConnectionOf(const QSqlDatabase& db);

}  // namespace quarn::pg
