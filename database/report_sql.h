#pragma once
// The records' figures the database works out: the report (one query,
// grouped on the server, with every socket's counts for the slot rule,
// record/slot_flags.h, when grouped by slot).

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "database/connection.h"
#include "record/slot_flags.h"
#include "recordlog/record_filter.h"
#include "recordlog/report.h"

namespace quarn::records {

Report reportFromDatabase(const QString& databaseUrl, const ReportRequest& request);

}  // namespace quarn::records
