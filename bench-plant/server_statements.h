#pragma once
// What the benches that need the records' database do on their own server:
// statements run one after the other on a connection of the bench's own
// without a time limit (psql's runs, which PgServer::sql makes, are cut at
// a minute; a fill of millions of rows or a count of them takes longer), and
// the one fill of a plant's history that the plant's and the records'
// benches share.

#include <QString>
#include <QStringList>

#include "tests/support/pg_server.h"

namespace bench {

// False, with the server's message on standard error, at the first
// statement that fails. Empty statements are skipped.
bool runOnServer(const testsupport::PgServer& pg, const QStringList& statements);

// A plant: its stations, the sockets of each, and the days of its history.
struct PlantShape {
    int stations = 20;
    int sockets = 16;
    int days = 30;
};

// The size every other is compared with: the first layer of a fill.
constexpr qint64 kBaseRows = 1000000;

// The statements that fill quarn_sessions with a layer of a plant's
// history of `total` rows, spread evenly over the shape's days up to the
// statement's now(): the first layer is kBaseRows of them spread over the
// whole period (every total / kBaseRows-th; all of them when total is less),
// the other layer the rest, so a
// bench measures at a million rows and then at total in the same table.
// Each row a unit of its own serial number (prefix + its place), station
// and socket taken round, every seventh a transfer failure at some block,
// stamped as a push leaves a row (the server's stamps, first_pass). The
// triggers are off (no push: the summaries are counted afterwards, by
// refillStatements); the months' partitions made first, so the rows land in
// their months, as pushes leave them.
QStringList fillStatements(const PlantShape& shape, qint64 total, bool firstLayer,
                           const QString& serialPrefix = QStringLiteral("SN-"));

// After a fill: the summaries counted again from every row as the schema
// counts them for a table made before them, the table vacuumed and analysed
// (as autovacuum would soon do), and the pages written out (a plant's
// measurement never follows millions of rows made a moment before).
QStringList refillStatements();

// Runs quarn-records with args; its wall time in seconds (its start and
// connection included), or -1 when it failed (said on standard error).
double timedRecords(const QString& program, const QStringList& args, QByteArray* out = nullptr);

// The median of `runs` runs of quarn-records with args; -1 when one failed.
double medianRecords(const QString& program, const QStringList& args, int runs);

// Whether `report --by station` from the database counts `rows` sessions:
// the summaries hold every row. Said on standard error when not.
bool reportCountsAll(const QString& program, const QString& url, qint64 rows);

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
