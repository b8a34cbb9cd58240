#pragma once
// One unit's record: what was loaded where and how it ended, as one compact
// JSON line for the log (records/record_log.h). Made by the gang's units
// (gang/unit.h) for every front end that loads units side by side.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <optional>

#include "core/version.h"
#include "link/download_session.h"

namespace quarn::gang {

struct UnitRecord {
    QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);  // made with the record
    QString version = QStringLiteral(QUARN_VERSION);
    QByteArray imageSha256;  // raw digest of the whole image the session set out to send
    QString station;         // where, by whom, onto which unit and through which adapter
    QString operatorName;
    QString serial;                // empty when none was given
    QString slot;                  // the adapter's stable name
    std::optional<bool> approved;  // the approved list's word; none: not checked
    QString port;
    QString device;
    QString file;
    int16_t length = 0;
    int blocks = 0;
    int repeats = 0;
    QByteArray sha256;  // raw digest
    SessionOutcome outcome = SessionOutcome::Input;
    QString message;       // in English: every station's records read alike
    QString shownMessage;  // the same in the operator's language; never written
    QDateTime started;
    double seconds = 0;
};

// "good", "input", "port", "handshake", "login", "transfer", "interrupted".
QString outcomeName(SessionOutcome outcome);

struct UnitJob;
struct RecordKeys;
// The keys the front end knows (station, operator, serial, slot) into r.
void applyKeys(UnitRecord& r, const RecordKeys& keys);

// The record of one unit's session: what the job asked for, what the result
// says, when it started and how long it took. The one place a record is made.
UnitRecord makeRecord(const UnitJob& job, const SessionResult& result, const QDateTime& started,
                      double seconds);

// The record as one JSON object on one line, newline included.
QByteArray toJsonLine(const UnitRecord& r);

}  // namespace quarn::gang
