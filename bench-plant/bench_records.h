#pragma once
// quarn-bench --records: quarn-records against a PostgreSQL server of the
// bench's own (fsync on, as a real server runs): the push of 100,000 records
// from a log, the approval check a download makes before any port opens
// (approval::checkImageApproval, 200 images listed), and `report --by
// station` over 1,000,000 rows. With rows (--rows N): the table filled on the
// server to 1,000,000 rows in 30 days, then to N (server_statements.h); at
// each size the push of 100,000 records and `report --by station` over every
// row and since 30 days back, each figure beside its ratio to the same at
// 1,000,000. The pushes come from a log of the shape's stations and sockets.

#include <QString>

#include "bench-plant/server_statements.h"

namespace bench {

struct RecordsOptions {
    QString recordsPath;  // quarn-records
    bool checkTargets = true;
    qint64 rows = 0;             // --rows N; 0: the figures above
    PlantShape shape{8, 1, 30};  // --stations, --sockets: the plant that pushes
};

// Prints the figures beside their targets; 0 when met (or not checked), else 1.
int runRecordsBench(const RecordsOptions& options);

}  // namespace bench
