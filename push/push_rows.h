#pragma once
// The rows of a push as the server takes them: CALL quarn_push(rows,
// months) (database/sql/0006_push.sql), its values made from the record's
// column table (record/columns.h), so that every key a record has is the
// column of that name.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace quarn::push {

// "CALL quarn_push($1::json, $2::timestamptz[], NULL)": rowsJson() and monthsArray().
QString pushCallSql();
// The records as quarn_push takes them: a JSON array of objects, one key a
// column; a value missing or of the wrong kind for its column is left out
// (NULL in the row); times as UTC; NUL left out of text.
QByteArray rowsJson(const QList<QJsonObject>& records);
// The months ("2026-12") as a timestamptz[] literal: {2026-12-01Z,...}.
QByteArray monthsArray(const QStringList& months);
// The months (UTC, "2026-12") the records started in, each once; records
// without a valid start are in none.
QStringList recordMonths(const QList<QJsonObject>& records);

}  // namespace quarn::push
