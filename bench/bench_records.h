#pragma once
// quarn-bench --records: quarn-records against a PostgreSQL server of the
// bench's own (fsync on, as a real server runs): the push of 100,000 records
// from a log, the approval check a download makes before any port opens
// (records::checkImageApproval, 200 images listed), and `report --by
// station` over 1,000,000 rows.

#include <QString>

namespace bench {

struct RecordsOptions {
    QString recordsPath;  // quarn-records
    bool checkTargets = true;
};

// Prints the figures beside their targets; 0 when met (or not checked), else 1.
int runRecordsBench(const RecordsOptions& options);

}  // namespace bench
