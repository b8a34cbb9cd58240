#pragma once
// The records' figures the database works out: the report, grouped on the
// server, with every socket's counts for the slot rule (record/slot_flags.h)
// when grouped by slot. Read from the hourly summaries (database/sql/
// 0004_summaries.sql) and, for the part of an hour at the edge of since, from
// quarn_sessions; by slot, with request.exact, or for a login not granted
// the summaries, every row from quarn_sessions. A database whose schema is
// not this program's is not read: the report says what to run. The units by attempts, and
// second-pass and final good, as record/ defines them; held records are no
// sessions (ReportRow::held).

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "pg/connection.h"
#include "pg/query_run.h"
#include "record/slot_flags.h"
#include "recordlog/record_filter.h"
#include "recordlog/report.h"

namespace quarn::figures {

recordlog::Report reportFromDatabase(const QString& databaseUrl,
                                     const recordlog::ReportRequest& request);

// The report's rows grouped by `by` (as --by) over the rows filter takes
// (its station and image too), read on db as the report reads them (from
// the summaries when `summaries`: database::SchemaLook says whether this
// login reads them); false with *f. For a view that shows some of the
// report's figures.
bool readReportRows(QSqlDatabase& db, const recordlog::RecordFilter& filter, const QString& by,
                    bool summaries, QList<recordlog::ReportRow>* rows, pg::QueryFailure* f);

}  // namespace quarn::figures
