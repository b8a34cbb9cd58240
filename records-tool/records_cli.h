#pragma once
// quarn-records' command line:
//   push   [--db URL] [--log FILE] [--retry SECONDS]
//   report [--db URL | --log FILE] [--since DATE] [--by day|station|file|slot|operator]
//          [--station NAME] [--image SHA256-OR-TITLE] [--json]
//   schema [--roles | --refill]
//   approve [INIT] [--db URL] [--file FILE] [--length N] [--note TEXT]
//   revoke SHA256 [--db URL] [--note TEXT]
//   images [--db URL] [--json]
//   migrate [--db URL]
//   archive YYYY-MM [--db URL]
//   trace SERIAL [--db URL | --log FILE] [--json]
//   units --image SHA256 [--since DATE] [--db URL | --log FILE] [--json]
//   socket-service STATION SLOT [--db URL] [--note TEXT]
// Exit status: 0 done (push: also when another push of the log, woken to try
// at once and waited for at most the push's time limit, sent its records,
// and when lines the database refused for their data were kept in
// LOG.rejected); 1 usage error (a password in the URL, an unknown or
// ambiguous sha256 prefix, units' --image under 12 hex digits, too); 2 the
// database cannot be reached, is busy or refuses (push: also while another
// push of the log runs and records still wait; nothing is lost, run it
// again later; archive: also a month without a partition); 3 not
// permitted: the database refused for lack of rights, and the message names the role needed. No
// output ever shows a URL's user information or password.

#include <QStringList>

#include "records-tool/records_exit.h"

namespace quarn::records {

// args includes the program name.
int runRecordsCli(const QStringList& args);

}  // namespace quarn::records
