#pragma once
// What a server answered a connection it would not let in: its SQLSTATE.
//
// Qt's driver keeps no SQLSTATE of a failed connection (its QSqlError has an
// empty nativeErrorCode: libpq gives a code only with a result, and a failed
// startup has none), only libpq's message, whose words are the server's in
// the server's language. Reading "is not permitted to log in" out of that
// text would break with the server's lc_messages. So a failed open is asked
// once more by libpq itself, with its error verbosity set to SQLSTATE before
// the startup packet goes: libpq then words the server's answer as
// "SEVERITY:  CODE", the code being the server's own field. A failure of
// libpq's own (no route, refused, timed out) carries no code.
//
// Contract
// - Blocking: at most ms, waiting on the socket (no spinning).
// - One more connection attempt, made only after one failed; when it gets
//   in (the server came back meanwhile) the answer has no code.

#include <QString>

#include "pg/database_url.h"

namespace quarn::pg {

struct LoginAnswer {
    QString sqlstate;  // five characters; empty when no server answered with one
    QString user;      // the user libpq asked for (the URL's, PGUSER's or the system's)
};

LoginAnswer askLogin(const DatabaseTarget& target, int ms);

// The SQLSTATE at the end of a message libpq worded with verbosity SQLSTATE
// ("... failed: FATAL:  28000"); empty when it has none.
QString sqlstateOfLoginMessage(const QString& message);

}  // namespace quarn::pg
