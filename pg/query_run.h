#pragma once
// What every read shares: one statement run with its binds, its failure
// taken from its SQLSTATE, times read back as UTC.

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <functional>

#include "pg/connection.h"

namespace quarn::pg {

struct QueryFailure {
    QString error;  // describe()'s text
    Problem problem = Problem::Refused;
};

// Each row to `row`; false with *f when the statement fails.
bool runQuery(QSqlDatabase& db, const QString& sql, const QVariantList& binds,
              const std::function<void(const QSqlQuery&)>& row, QueryFailure* f);

// A timestamptz as UTC (invalid for NULL).
QDateTime utcTime(const QVariant& v);

// Many times read: the select list's expression of a timestamptz as
// milliseconds since 1970 (NULL stays NULL), and that value as UTC. No
// time-zone look-up a row: the driver's own conversion of a timestamptz
// goes through the local zone (and the C library asks the system's zone
// file again each time).
QString epochMsSql(const QString& expression);
QDateTime utcFromEpochMs(const QVariant& v);

}  // namespace quarn::pg
