#pragma once
// One unit's history (trace) and the recall list (units --image): the rows
// both read, from a local log here and from the database in
// figures/history_sql.h, so that either answers alike.
//   trace: every record of a serial number, on every station, in the order
//   of a unit's attempts (started, then id; no time after every time), held
//   and interrupted ones too.
//   units: every unit whose latest good session (record/attempts.h's order)
//   loaded an image, named by 12 hex digits or more of its sha256; a
//   session without a serial number is a unit of its own.

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace quarn::recordlog {

struct TraceRow {
    QString id;
    QDateTime started;  // invalid: none
    QString station, slot, operatorName, file;
    QString imageSha256;           // hex, as recorded
    QString title;                 // the approved list's title; empty: not known
    std::optional<bool> approved;  // the station's claim
    std::optional<bool> verdict;   // the server's; none from a log
    QString outcome, message;
    QString pushedBy;               // the login that pushed it; empty from a log
    std::optional<double> seconds;  // the session's length; none when not recorded
};

struct UnitRow {
    QString serial;  // empty: a session without one
    QString station, slot, imageSha256, id;
    QDateTime started;
};

struct History {
    QList<TraceRow> trace;
    QList<UnitRow> units;
    QString error;        // not empty: no answer
    bool usage = false;   // the error is the request's
    bool denied = false;  // the database refused for lack of rights
};

// The shortest sha256 prefix units takes: shorter ones name too many images.
inline constexpr int kImagePrefixDigits = 12;
// 12 to 64 hex digits (either case).
bool isImagePrefix(const QString& text);

History traceFromLog(const QString& logPath, const QString& serial,
                     const std::function<void(const QString&)>& warn);
// since invalid: whenever.
History unitsFromLog(const QString& logPath, const QString& imagePrefix, const QDateTime& since,
                     const std::function<void(const QString&)>& warn);

}  // namespace quarn::recordlog
