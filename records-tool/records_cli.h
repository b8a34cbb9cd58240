#pragma once
// quarn-records' command line:
//   push   [--db URL] [--log FILE] [--retry SECONDS]
//   report [--db URL | --log FILE] [--since DATE] [--by day|station|file|slot|operator] [--json]
//   schema
// Exit status: 0 done (push: also when another push of the log is running,
// which sends its records); 1 usage error (a password in the URL, too); 2 the
// database cannot be reached, is busy or refuses (push: nothing is lost, run
// it again later). No output ever shows a URL's user information or password.

#include <QStringList>

namespace quarn::records {

enum RecordsExit { kRecordsDone = 0, kRecordsUsage = 1, kRecordsUnreachable = 2 };

// args includes the program name.
int runRecordsCli(const QStringList& args);

}  // namespace quarn::records
