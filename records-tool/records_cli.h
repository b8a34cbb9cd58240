#pragma once
// quarn-records' command line:
//   push   [--db URL] [--log FILE] [--retry SECONDS]
//   report [--db URL | --log FILE] [--since DATE] [--by day|station|file|slot|operator] [--json]
//   schema
// Exit status: 0 done; 1 usage error; 2 the database cannot be reached or
// refuses (push: nothing is lost, run it again later).

#include <QStringList>

namespace quarn::records {

enum RecordsExit { kRecordsDone = 0, kRecordsUsage = 1, kRecordsUnreachable = 2 };

// args includes the program name.
int runRecordsCli(const QStringList& args);

}  // namespace quarn::records
