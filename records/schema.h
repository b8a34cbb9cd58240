#pragma once
// The table of records on the server: quarn_sessions, one column per record
// key (id uuid primary key, started timestamptz, seconds double precision,
// the counts as integers, the rest as text), and first_pass: true on each
// serial number's first pass over every station (its earliest session that
// was not interrupted, as records/first_pass.h defines it), false on its
// other sessions, NULL without a serial number. It is
// kept by the push, so that first-pass yield is a plain count for reports and
// dashboards. Indexes on started, (station, started) and (serial, started,
// id); the view quarn_yield_daily (per day and station: sessions, good,
// failed, first-pass yield, median seconds).

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class QSqlDriver;

namespace quarn::records {

enum class ColumnKind { Uuid, Time, Real, Count, Text };

struct Column {
    const char* key;  // the record key and the column name
    ColumnKind kind;
};

// Every column, in the table's order.
const QList<Column>& columns();

// The statements that make the table, its indexes and the view when missing,
// each ending with ";\n". What `quarn-records schema` prints.
QStringList schemaStatements();

// One INSERT of every record, idempotent by id (ON CONFLICT DO NOTHING); each
// value formatted by the driver, so text is escaped as the server wants it.
// A key a record lacks, or a value of the wrong kind, is NULL.
// first_pass goes in as true for every record with a serial number that is a
// pass, false for an interrupted one.
QString insertStatement(const QList<QJsonObject>& records, const QSqlDriver& driver);

// After the insert, in its transaction: first_pass set right for every
// session of the records' serial numbers. Empty when none has one. Pushers
// of several stations must take turns (pushes hold an advisory lock).
QString firstPassStatement(const QList<QJsonObject>& records, const QSqlDriver& driver);

}  // namespace quarn::records
