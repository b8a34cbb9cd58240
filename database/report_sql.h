#pragma once
// The records' figures the database works out: the report (one query,
// grouped on the server) and every socket's counts for the slot rule
// (record/slot_flags.h), which `report --by slot` and the plant share.

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "database/connection.h"
#include "record/slot_flags.h"
#include "recordlog/record_filter.h"
#include "recordlog/report.h"

namespace quarn::records {

Report reportFromDatabase(const QString& databaseUrl, const ReportRequest& request);

// Every socket's sessions and failures as the slot rule counts them; false
// with *error (describe()) and *problem when the query fails.
bool socketCounts(QSqlDatabase& db, const RecordFilter& filter, QList<SocketCount>* out,
                  QString* error, Problem* problem = nullptr);

}  // namespace quarn::records
