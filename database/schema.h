#pragma once
// The table of records on the server: quarn_sessions, one column per record
// key (record/columns.h: id uuid primary key, started timestamptz, seconds double precision,
// the counts as integers, the rest as text), and first_pass: true on each
// serial number's first pass over every station (its earliest session that
// was not interrupted, as record/first_pass.h defines it), false on its
// other sessions, NULL without a serial number. It is kept by a trigger
// (quarn_first_pass, run as the schema's owner after each INSERT), so that a
// station needs no right but INSERT and first-pass yield is a plain count for
// reports and dashboards. The server stamps each row as it arrives (the
// trigger quarn_sessions_stamp, run as the owner before each row's INSERT,
// whatever the row says): pushed_by (session_user, the login that pushed
// it), received_at (now()) and server_approved (true when image_sha256 was
// approved at or before started and not revoked by then, by quarn_images;
// false otherwise); a station's own "approved" stays its claim. Pushes take
// turns on the one row of quarn_push_lock, which only the owner may lock.
// Indexes on started, (station, started), (serial, started, id) and
// (station, started) of the failures; the view quarn_yield_daily (per day
// and station: sessions, good, failed, first-pass yield, median seconds,
// read from the summaries: the median to 0.05 s); a
// NOTIFY per statement that inserted rows, for windows that follow the
// records live.
//
// The table is partitioned by month of started (RANGE, in UTC):
// quarn_sessions_YYYY_MM, made by quarn_push (below) as pushes bring a
// month's first record (last, this and next month only) or by the owner's
// quarn_sessions_months, and quarn_sessions_default for rows without
// started and months without a partition. A plant lets a month go with
// quarn-records archive (database/archive.h); an owner's DELETE or UPDATE
// through quarn_sessions moves the summaries with it (summaryChangeSql).
// A row is one record: unique (id, started), NULLS NOT DISTINCT, and the
// trigger quarn_sessions_one_id refuses an id another record holds in any
// partition. A table made by an earlier version (not partitioned, id its
// primary key) keeps working until its owner migrates it (migrateStatements).
//
// The approved list quarn_images: sha256 (of the image as sent, as the
// records' image_sha256), length, file, title, note, approved_by and
// approved_at (the server's current_user and now()), revoked_by and
// revoked_at. Rows are never deleted: revoking stamps the revoked columns
// once (a trigger), and at most one row per sha256 is in force (not revoked).

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "record/columns.h"

namespace quarn::records {

// The statements that make the tables, indexes, view and triggers when
// missing, each ending with ";\n" and each safe to run again; on a table
// made by an earlier version they add what it lacks (rows already there
// keep NULL in the added columns). What `quarn-records schema` prints, in
// one transaction; the parts:
QStringList schemaStatements();
QStringList firstPassTriggerStatements();
QStringList stampTriggerStatements();
QStringList imageStatements();
// The summary tables (database/summary_sql.h), made when missing and then
// filled once from the rows already there (database/schema_summary.cpp).
QStringList summaryStatements();
// Empties the summary tables and fills them again from quarn_sessions in
// one go, in the pushes' turn (the owner's; each statement ends ";\n"):
// what `quarn-records schema --refill` prints.
QStringList summaryRefillStatements();
// The statements of the first-pass trigger's body that add a statement's
// rows (transition table quarn_new) to the summaries, with the units whose
// standing they changed moved: run in the push's turn. alongside: more
// WITH queries of the first statement, over r (every row of the serial
// numbers the statement added to: the units' columns, first_pass, is_new).
QString summaryUpkeepSql(const QString& alongside);
// The same for rows gone (a table, transition table or parenthesised
// subquery of quarn_sessions rows no longer in it) and rows come (added or
// the new versions of updated rows), either empty for none: their session
// figures taken off and added, their units' figures worked out again from
// the rows now there, and the summary rows that came to nothing removed,
// so that the summaries stay a recount of the rows. Run in the pushes' turn.
QString summaryChangeSql(const QString& gone, const QString& came, const QString& alongside);
// The WITH query (named fp) that sets first_pass right on every row of r
// (summaryUpkeepSql's rows of the serial numbers touched).
QString firstPassUpkeepSql();
// The function quarn_attempts(serial text) RETURNS integer: the serial
// number's failed attempts on every station, as record/retest.h counts them
// (0 for an empty serial number); quarn_attempts(serial, waiting uuid[])
// adds those of the ids given (the station's failed attempts of it still
// waiting in its log) that the table has not. Run as the owner; only the
// roles granted them (quarn_station) may call them.
QStringList attemptsStatements();
// CREATE OR REPLACE FUNCTION head (its signature, "RETURNS ...", language
// and attributes) AS body, with its search_path pinned to the schema it is
// made in (then pg_temp, last) in the same statement: no object a caller
// puts earlier on its own path is ever used by it, not even in the moment
// between making it and setting its path (a separate ALTER FUNCTION would
// leave that moment, and CREATE OR REPLACE clears what an ALTER set). The
// body goes to format() as a value, so no character of it is format()'s.
// Every function of the schema that runs with the owner's rights is made
// through it.
QString pinnedFunction(const QString& head, const QString& body);
// The statements as one transaction (BEGIN; ... COMMIT;): a schema applied
// again is never seen half made, and a failed statement changes nothing.
QString oneTransaction(const QStringList& statements);
// The default partition, the month makers and the one-id trigger: on a
// table made by an earlier version, only the functions (which then do
// nothing). quarn_sessions_month(m, wait) makes one month's partition (its
// bounds midnight UTC whatever the caller's TimeZone and DateStyle; wait
// false: none when its locks are held, the rows staying in the default
// partition); quarn_sessions_months(timestamptz[]) is the owner's, for any
// month from 2000 to next month. No station may call either.
QStringList partitionStatements();
// The months of the rows in the default partition made (the owner's, when
// the schema is applied again): records older than a push may make.
QStringList pastMonthStatements();
// CALL quarn_push(rows json, months timestamptz[], INOUT added bigint): how
// a station adds rows (database/schema_push.cpp). It commits, so nothing a
// station takes outlives its statement: the months given that lack a
// partition (only last, this and next month, UTC; none while a reader holds
// the default partition), then the rows (a JSON array of records, one key a
// column), idempotent; added: the rows inserted. Its functions
// quarn_push_months and quarn_push_rows run as the owner and only when
// quarn_push calls them.
QStringList pushStatements();
// The station's rights on it, and its INSERT taken away.
QStringList pushGrantStatements();
// "CALL quarn_push($1::json, $2::timestamptz[], NULL)": rowsJson() and monthsArray().
QString pushCallSql();
// The records as quarn_push takes them: a JSON array of objects, each
// value as insertStatement() reads it (missing or of the wrong kind: left
// out, NULL in the row).
QByteArray rowsJson(const QList<QJsonObject>& records);
// The months ("2026-12") as a timestamptz[] literal: {2026-12-01Z,...}.
QByteArray monthsArray(const QStringList& months);
// The column type of a kind of column: "uuid", "timestamptz", ...
const char* sqlType(ColumnKind kind);
// The months (UTC, "2026-12") the records started in, each once; records
// without a valid start are in none.
QStringList recordMonths(const QList<QJsonObject>& records);
// The statement that makes the partitions of those months that lack one
// (quarn_sessions_months): a push's way on a schema made before quarn_push.
QString monthsStatement(const QStringList& months);
// The trigger quarn_sessions_notify: NOTIFY on kSessionsChannel once per
// statement that inserts rows into quarn_sessions (none when every row was
// there already), delivered when that statement's transaction commits. The
// payload: the earliest started of the rows it inserted (ISO 8601, UTC,
// "2026-12-08T06:00:00.000Z"), empty when none had one.
QStringList notifyTriggerStatements();
inline constexpr char kSessionsChannel[] = "quarn_sessions";
// What trace and the recall list need (database/history_sql.h): the index
// quarn_sessions_good_image of good rows by image, and quarn_image_units(prefix),
// the number of units whose latest good session loaded the image.
QStringList historyStatements();
// EXECUTE on quarn_image_units to quarn_engineer (revoke prints the count)
// and quarn_viewer; a station may neither trace nor list units.
QString historyGrantStatement();
// What came with quarn-plant, made on a schema older than it: the index of
// failures and the NOTIFY trigger.
QStringList plantStatements();

// The sockets' service log quarn_socket_service: station, slot (the
// records' stable name), serviced_at and serviced_by (the server's now() and
// current_user), note; rows only added (quarn-records socket-service). A
// socket's sessions since service count from its latest row
// (database/socket_sql.h).
QStringList socketServiceStatements();
// Its grants: INSERT (station, slot, note) to quarn_engineer, SELECT to quarn_viewer.
QStringList socketServiceRoleStatements();

// The group roles (NOLOGIN, made when missing) and their grants, for after
// the schema; what `quarn-records schema --roles` prints.
//   quarn_station:  EXECUTE on quarn_push (no INSERT into quarn_sessions, no
//                   month maker of its own), SELECT on quarn_images,
//                   EXECUTE on quarn_attempts (a serial number's failed attempts)
//   quarn_engineer: quarn_station's, and approving and revoking images
//   quarn_viewer:   SELECT on quarn_sessions, quarn_yield_daily, quarn_images
//                   and the summary tables (quarn_summary_*) (trace and units too)
// and socketServiceRoleStatements()'s.
QStringList roleStatements();

// A condition on a quarn_sessions row: the station's claim (approved)
// differs from the server's verdict (server_approved). A row lacking
// either (pushed before the server judged, or by a station that made no
// check) is no mismatch.
QString mismatchSql();

// The role each kind of work needs, for "not permitted" messages.
inline constexpr char kStationRole[] = "quarn_station";
inline constexpr char kEngineerRole[] = "quarn_engineer";
inline constexpr char kViewerRole[] = "quarn_viewer";

// One INSERT of every record (a push's way on a schema made before
// quarn_push), idempotent (ON CONFLICT DO NOTHING, with no
// conflict target: (id, started) is the table's one unique key, the id its
// primary key on a table of an earlier version, and a target would need
// SELECT on it, which a station has not); text as E'' literals,
// quotes and backslashes doubled, numbers as digits.
// A key a record lacks, or a value of the wrong kind, is NULL. first_pass is
// not named: the table's trigger sets it.
QString insertStatement(const QList<QJsonObject>& records);

}  // namespace quarn::records
