#pragma once
// One unit's history and the recall list from the database, as
// recordlog/history.h defines them: trace reads a serial number's rows by the
// index (serial, started, id), the image's title from quarn_images, and the
// server's verdict and pushed_by where the table keeps them; units reads the
// good rows of the image by quarn_sessions_good_image and keeps those that
// are their unit's latest good row. Both need SELECT on quarn_sessions
// (quarn_viewer): a station's login is refused, said with the role needed.

#include <QDateTime>
#include <QString>

#include "recordlog/history.h"

namespace quarn::figures {

recordlog::History traceFromDatabase(const QString& databaseUrl, const QString& serial);
recordlog::History unitsFromDatabase(const QString& databaseUrl, const QString& imagePrefix,
                                     const QDateTime& since);

// How many units were loaded good with the image last (quarn_image_units(),
// which an engineer may call without reading the table); -1 when the
// database cannot say (unreachable, a schema without the function).
qint64 imageUnitCount(const QString& databaseUrl, const QString& sha256);

}  // namespace quarn::figures
