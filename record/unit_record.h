#pragma once
// One unit's record: what was loaded where and how it ended, as one compact
// JSON line for the log (recordlog/record_log.h). Made from a session's
// result by the gang (gang/session_record.h) for every front end that loads
// units side by side.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

#include "core/version.h"
#include "record/outcome.h"
#include "record/record_id.h"

namespace quarn::record {

struct UnitRecord {
    QString id = newRecordId();  // made with the record: time-ordered (record_id.h)
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

}  // namespace quarn::record
