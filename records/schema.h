#pragma once
// The table of records on the server: quarn_sessions, one column per record
// key (id uuid primary key, started timestamptz, seconds double precision,
// the counts as integers, the rest as text), indexes on started and on
// (station, started), and the view quarn_yield_daily (per day and station:
// sessions, good, failed, first-pass yield, median seconds).

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
QString insertStatement(const QList<QJsonObject>& records, const QSqlDriver& driver);

}  // namespace quarn::records
