#pragma once
// quarn-records' commands on units' histories, from the database or a log:
//   trace SERIAL [--json]: every record of the serial number in time order
//   units --image SHA [--since DATE] [--json]: the units whose latest good
//     session loaded the image (12 hex digits or more of its sha256)
// Each returns quarn-records' exit status (records-tool/records_cli.h).
// The text is a table for people; the JSON an array of objects: trace's
// keys id, started, station, slot, operator, file, image_sha256, title,
// approved, server_approved, outcome, message, pushed_by (null where not
// known: a log keeps no title, verdict nor login); units' keys serial,
// station, slot, started, image_sha256, id.

#include <QDateTime>
#include <QString>

namespace quarn::records {

struct HistorySource {
    QString url;  // the database; empty: the log
    QString log;
    bool json = false;
};

int traceCommand(const HistorySource& from, const QString& serial);
int unitsCommand(const HistorySource& from, const QString& imagePrefix, const QDateTime& since);

// The lines revoke ends with: how many units were loaded good with the image
// last (when the database says) and the command that lists them.
void sayImageUnits(const QString& url, const QString& sha256);

}  // namespace quarn::records
