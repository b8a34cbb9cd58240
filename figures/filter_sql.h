#pragma once
// A filter (recordlog/record_filter.h) as SQL: one WHERE clause for every
// read of quarn_sessions, the plant's view, the report and its sockets, so
// that they all count the same rows.

#include <QDateTime>
#include <QString>
#include <QVariantList>

#include "recordlog/record_filter.h"

namespace quarn::figures {

// " WHERE ..." (or "" when the filter takes every row) with ? placeholders;
// their values appended to *binds in order. alias: the table's, or empty.
QString filterSql(const recordlog::RecordFilter& filter, QVariantList* binds,
                  const QString& alias = QString());

// The filter's " WHERE ..." and condition (alias: the table's, or empty).
QString whereAnd(const recordlog::RecordFilter& filter, const QString& condition,
                 QVariantList* binds, const QString& alias = QString());

// A time as a bind value the server reads as timestamptz.
QString sqlTime(const QDateTime& t);

}  // namespace quarn::figures
