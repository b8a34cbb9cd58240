#pragma once
// The approved list on the server (quarn_images, database/schema.h): reading
// it, approving an image and revoking one. Each call is blocking, opens a
// connection of its own (waiting at most the URL's connect_timeout) and gives
// every statement the push's time limit (push/push.h). What a failure
// means is taken from its SQLSTATE: lack of rights (42501) is Denied, with
// the role the work needs named in the error.

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace quarn::approval {

struct ApprovedImage {
    QString sha256;  // 64 lower-case hex digits
    qint64 length = 0;
    QString file, title, note;
    QString approvedBy;
    QDateTime approvedAt;
    QString revokedBy;    // empty while in force
    QDateTime revokedAt;  // invalid while in force
    bool revoked() const { return revokedAt.isValid(); }
};

// One row as JSON, as `images --json` prints it and the kept copy holds it:
// sha256, length, file, title, note, approved_by, approved_at (ISO 8601,
// UTC), revoked_by and revoked_at (null while in force).
QJsonObject imageJson(const ApprovedImage& image);
// The row back from imageJson's object (missing keys: empty).
ApprovedImage imageFromJson(const QJsonObject& o);

// "2026-12-08 06:30" in local time: how the reasons show a moment.
QString approvalTimeText(const QDateTime& t);

struct ImageOutcome {
    enum class Status {
        Done,
        Usage,        // the URL is unusable, or a sha256 prefix is unknown or ambiguous
        Unreachable,  // the server cannot be reached or was lost
        Busy,         // a lock or a statement took longer than the time limit
        Denied,       // the database refused for lack of rights
        Refused,      // anything else the server would not do (no table, ...)
    };
    Status status = Status::Done;
    QString error;                // for people, unless Done
    QList<ApprovedImage> images;  // the list; approve and revoke: the row concerned
    bool changed = false;         // approve and revoke: a row was added or revoked
};

// Every row, oldest approval first.
ImageOutcome readImageList(const QString& databaseUrl);

// Adds the image (sha256, length, file, title, note; the server stamps who
// and when) unless an approval of its sha256 is in force: then nothing
// changes (changed false). images[0]: the approval in force.
ImageOutcome approveImage(const QString& databaseUrl, const ApprovedImage& image);

// Revokes the approval in force of the image whose sha256 starts with prefix
// (at least kMinPrefix hex digits, naming one image of the list); the note,
// when given, is added to the row's note. One revoked already changes
// nothing (changed false). images[0]: the row, as it is now.
constexpr int kMinPrefix = 12;
ImageOutcome revokeImage(const QString& databaseUrl, const QString& prefix, const QString& note);

}  // namespace quarn::approval
