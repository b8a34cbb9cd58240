#pragma once
// The record's keys, each spelled once, and the one table of its columns:
// what a record writes to its JSON line (record/record_json.h), how it is
// read back, the database's columns in the table's order (database/schema.h)
// and the keys the log's report reads (recordlog/report.h).

#include <QJsonValue>
#include <QList>

namespace quarn::record {

struct UnitRecord;

namespace key {
inline constexpr char id[] = "id";
inline constexpr char started[] = "started";
inline constexpr char seconds[] = "seconds";
inline constexpr char station[] = "station";
inline constexpr char operatorName[] = "operator";
inline constexpr char serial[] = "serial";
inline constexpr char slot[] = "slot";
inline constexpr char port[] = "port";
inline constexpr char device[] = "device";
inline constexpr char file[] = "file";
inline constexpr char length[] = "length";
inline constexpr char bytes[] = "bytes";
inline constexpr char blocks[] = "blocks";
inline constexpr char repeats[] = "repeats";
inline constexpr char sha256[] = "sha256";
inline constexpr char imageSha256[] = "image_sha256";
inline constexpr char outcome[] = "outcome";
inline constexpr char message[] = "message";
inline constexpr char version[] = "version";
inline constexpr char approved[] = "approved";
}  // namespace key

// How the database keeps a column (uuid, timestamptz, double precision,
// integer, text, boolean).
enum class ColumnKind { Uuid, Time, Real, Count, Text, Flag };

struct Column {
    const char* key;  // the record key and the column name
    ColumnKind kind;
    QJsonValue (*get)(const UnitRecord&);         // the value the record writes
    void (*set)(UnitRecord&, const QJsonValue&);  // read back; null: worked out (bytes)
};

// Every column, in the table's order.
const QList<Column>& columns();

}  // namespace quarn::record
