#pragma once
// Statements run on the bench's own server, one after the other, on a
// connection of the bench's own without a time limit (psql's runs, which
// PgServer::sql makes, are cut at a minute; a fill of millions of rows or a
// count of them takes longer). Empty statements are skipped. False, with
// the server's message on standard error, at the first that fails.

#include <QStringList>

#include "tests/support/pg_server.h"

namespace bench {

bool runOnServer(const testsupport::PgServer& pg, const QStringList& statements);

}  // namespace bench
