#pragma once
// A record's JSON, made from the one column table (record/columns.h): what
// the log holds, a line per record, and the record read back from it.

#include <QByteArray>
#include <QJsonObject>

#include "record/unit_record.h"

namespace quarn::record {

// The record as a JSON object with every key of record/columns.h, and as
// that object on one line, newline included (what the log holds).
QJsonObject toJson(const UnitRecord& r);
QByteArray toJsonLine(const UnitRecord& r);
// A record read back from its JSON: each key of record/columns.h that is
// there (bytes is worked out from blocks); a missing key leaves the field as
// a new record has it, an outcome no name matches leaves it input.
UnitRecord recordFromJson(const QJsonObject& o);

}  // namespace quarn::record
