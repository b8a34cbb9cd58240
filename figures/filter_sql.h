#pragma once
// A filter (recordlog/record_filter.h) as the WHERE clause of a read of
// quarn_sessions, with one more condition.

#include <QString>
#include <QVariantList>

#include "recordlog/record_filter.h"

namespace quarn::figures {

// The filter's " WHERE ..." and condition (alias: the table's, or empty).
QString whereAnd(const records::RecordFilter& filter, const QString& condition, QVariantList* binds,
                 const QString& alias = QString());

}  // namespace quarn::figures
