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

// The one statement every fill of the benches runs: rows of quarn_sessions
// as pushes leave them (the server's stamps and first_pass written, for a
// fill runs with the triggers off), one per row of `from`, which gives i
// (the row's place) and n (its pattern: station n % stations, repeats n % 3,
// seconds 4 + n % 5, every seventh a failure at some block); the rest are
// expressions of i and n.
struct FillRows {
    QString from;     // a FROM item with columns i and n: "generate_series(1, 10) i, ..."
    QString started;  // expressions of i and n
    QString serial;
    QString slot;
    QString image;
    QString firstPass;
    int stations = 1;
};
QString fillStatement(const FillRows& rows);

}  // namespace bench
