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
// and station: sessions, good, failed, first-pass yield, median seconds); a
// NOTIFY per statement that inserted rows, for windows that follow the
// records live.
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

class QSqlDriver;

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
// The statements as one transaction (BEGIN; ... COMMIT;): a schema applied
// again is never seen half made, and a failed statement changes nothing.
QString oneTransaction(const QStringList& statements);
// The trigger quarn_sessions_notify: NOTIFY on kSessionsChannel once per
// statement that inserts rows into quarn_sessions (none when every row was
// there already), delivered when that statement's transaction commits. The
// payload: the earliest started of the rows it inserted (ISO 8601, UTC,
// "2026-12-08T06:00:00.000Z"), empty when none had one.
QStringList notifyTriggerStatements();
inline constexpr char kSessionsChannel[] = "quarn_sessions";
// What came with quarn-plant, made on a schema older than it: the index of
// failures and the NOTIFY trigger.
QStringList plantStatements();

// Stand-in summaries (database/schema_summary_stub.cpp, dropped when the
// summaries proper are merged): the tables the plant reads and their upkeep,
// part of schemaStatements(); and their refill from every row of
// quarn_sessions (tables emptied first), for a fill that bypassed triggers.
QStringList summaryStubStatements();
QStringList summaryRefillStatements();

// The group roles (NOLOGIN, made when missing) and their grants, for after
// the schema; what `quarn-records schema --roles` prints.
//   quarn_station:  INSERT into quarn_sessions (the record's columns: not
//                   first_pass nor what the server stamps), SELECT on quarn_images
//   quarn_engineer: quarn_station's, and approving and revoking images
//   quarn_viewer:   SELECT on quarn_sessions, quarn_yield_daily, quarn_images
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

// One INSERT of every record, idempotent by id (ON CONFLICT DO NOTHING, with
// no conflict target: the id is the table's one unique key, and a target
// would need SELECT on it, which a station has not); each
// value formatted by the driver, so text is escaped as the server wants it.
// A key a record lacks, or a value of the wrong kind, is NULL. first_pass is
// not named: the table's trigger sets it.
QString insertStatement(const QList<QJsonObject>& records, const QSqlDriver& driver);

}  // namespace quarn::records
