#pragma once
// The retest limit, defined once: a serial number whose failed attempts have
// reached the station's max-attempts is not loaded again but goes to repair.
// A failed attempt is a session of that serial number, on any station, whose
// outcome is neither good, nor interrupted (nothing was loaded for certain),
// nor held (the limit refused it: no session). A session without a serial
// number has no limit. The server counts the same rule in SQL
// (quarn_is_failed_attempt and quarn_attempts, database/sql/); a station
// away from the server counts its own log.

#include <QString>

namespace quarn::record {

// A row without an outcome is no attempt, as it is no failure in the reports.
bool isFailedAttempt(const QString& outcome);

// maxAttempts 0: no limit.
inline bool limitReached(int failedAttempts, int maxAttempts) {
    return maxAttempts > 0 && failedAttempts >= maxAttempts;
}

// Where a count came from.
enum class AttemptSource {
    Database,     // the plant's count
    Log,          // no database configured: the station's own log
    Unreachable,  // the database did not answer: the station's own log
    Refused,      // the database would not say (why in RetestWord::why): the own log
};

// The limit's word on one serial number.
struct RetestWord {
    bool held = false;
    int attempts = 0;  // its failed attempts
    AttemptSource source = AttemptSource::Log;
    QString why;  // for Refused: the database's reason
};

// "attempts from the database", "attempts from the local log: database
// unreachable", ...: in English (translated: in the operator's language).
QString sourceText(const RetestWord& word, bool translated);
// A held record's message: "retest limit: to repair: 3 attempts; attempts
// from the database". The first part is the slot's fixed status
// (heldStatus), the rest is what the tile says under it (heldDetail).
QString heldStatus(bool translated);
QString heldDetail(const RetestWord& word, bool translated);
QString heldMessage(const RetestWord& word, bool translated);
// The detail of a held record's translated message (its shownMessage), for
// the tile under the fixed status; any other text as it is.
QString heldDetailOf(const QString& shownMessage);

}  // namespace quarn::record
