#pragma once
// The plant's count of one serial number's failed attempts, asked of the
// server through quarn_attempts (database/schema.h), for the retest limit
// (record/retest.h).
//
// Contract
// - readAttempts() opens a connection of its own on the calling thread, asks
//   once and closes it. A unit waits on it before its port opens, so it
//   waits at most 2 s to connect (less when the URL's connect_timeout says
//   so) and 2 s for the answer: a server that is silent for longer counts as
//   unreachable. Call it off any window's thread.
// - The answer's source is Database with the count, or says why the server
//   gave none: Unreachable when no server answered (Problem::Lost), Refused
//   (why: the reason, as describe() says it) for a login or a call the
//   server refused (a schema made before the function, a role without it).
// - An unusable URL is Refused with the URL's own error.

#include <QString>
#include <QStringList>

#include "record/retest.h"

namespace quarn::figures {

// waiting: the ids of this station's failed attempts of the serial number
// not yet known to be in the database (its log after LOG.sent): those the
// table has not count too (quarn_attempts(serial, waiting)).
record::RetestWord readAttempts(const QString& databaseUrl, const QString& serial,
                                const QStringList& waiting = {});

}  // namespace quarn::figures
