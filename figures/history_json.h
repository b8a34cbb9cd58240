#pragma once
// The JSON of one unit's history and of the recall list, written once for
// `quarn-records trace --json` and `units --json` and quarn-plant-web's
// /api/v1/unit/ and /api/v1/units: an indented array of objects, one per
// row. trace's keys: id, started, station, slot, operator, file,
// image_sha256, title, approved, server_approved, outcome, message,
// pushed_by (null where not known: a log keeps no title, verdict nor
// login), seconds (null when not recorded) and stage (record/outcome.h
// sessionStage); units' keys: serial, station, slot, started,
// image_sha256, id.
// Times are ISO 8601 in UTC with milliseconds.

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>

#include "recordlog/history.h"

namespace quarn::figures {

QByteArray traceJson(const QList<recordlog::TraceRow>& rows);
QByteArray unitsJson(const QList<recordlog::UnitRow>& rows);

// A time as the histories print it: ISO 8601 in UTC with milliseconds;
// empty when invalid.
QString historyTimeText(const QDateTime& t);
// null for an empty text or no flag, as the histories write what is not known.
QJsonValue textOrNull(const QString& s);
QJsonValue flagOrNull(const std::optional<bool>& f);

}  // namespace quarn::figures
