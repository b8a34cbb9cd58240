#pragma once
// The kept copy of the approved list (approved-images.json): the list, when
// it was read and which database it was read from. It stands in for the
// database only while that database cannot be reached, and only within
// limits: a copy of another database, or one older than the offline limit,
// decides nothing.
//
// Contract
// - The copy names its database as the URL names it: host (a name, an
//   address or a socket folder; empty: libpq's default), port (5432 when the
//   URL names none) and database (the user's name when the URL names none).
//   Never the user or a password. A copy naming none (an earlier version's)
//   belongs to no database.
// - Written with QSaveFile: a file of a name of its own, then renamed over
//   the copy, so readers and other writers (two programs checking at once)
//   find one copy or the other, whole, never a mix.
// - offline-max-age: [images] offline-max-age=SECONDS of the settings file,
//   43200 (a 12-hour shift) when missing or no whole number >= 0; 0: a copy
//   never decides.

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "approval/image_list.h"
#include "pg/database_url.h"

namespace quarn::approval {

struct ApprovedCopy {
    QList<ApprovedImage> images;
    QDateTime readAt;      // UTC
    QJsonObject database;  // {"host", "port", "dbname"}: copyDatabase()
};

// [images] offline-max-age; its default (core/settings.h) when the value is
// no whole number >= 0.
qint64 offlineMaxAgeS();

// The database as a copy names it.
QJsonObject copyDatabase(const pg::DatabaseTarget& target);

// False with *why when the copy cannot be written.
bool saveApprovedCopy(const QString& path, const ApprovedCopy& copy, QString* why);
// False with *why when there is none or it cannot be read.
bool loadApprovedCopy(const QString& path, ApprovedCopy* copy, QString* why);

// Empty when the copy may decide for target at now; else why not: another
// database, older than maxAgeS, or dated after now.
QString copyUnfitness(const ApprovedCopy& copy, const pg::DatabaseTarget& target,
                      const QDateTime& now, qint64 maxAgeS);

}  // namespace quarn::approval
