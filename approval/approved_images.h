#pragma once
// Whether an image may be loaded: its sha256 looked up in the approved list
// (approval/image_list.h), for the front ends' check before any port opens.
//
// Contract
// - Each check reads the whole list from the database and keeps it in the
//   copy file (approvedCopyPath(), approval/approved_copy.h: the list, the
//   time it was read and the database it was read from), replaced
//   atomically.
// - With the database unreachable or busy, the copy decides, and the reason
//   ends "approved list of TIME (database unreachable)"; but only a copy of
//   the URL's database, read at most offline-max-age seconds ago
//   ([images] offline-max-age, 12 h by default). No such copy and no
//   database: Refused, with why ("... and the approved list of TIME is
//   older than the offline limit").
// - The reasons are in the language of the catalogue the program installed
//   (English without one); nothing here goes into a record.
// - A database that answers but refuses (a login it refused: "the database
//   refused the login of st1"; no right to read the list; no table) and an
//   unusable URL are Refused too: the copy decides only when the server
//   cannot be asked.
// - Approved: a row of the sha256 not revoked. Revoked: every row of it is
//   revoked (the latest revocation decides). Else NotApproved.

#include <QDateTime>
#include <QList>
#include <QString>

#include "approval/approved_copy.h"
#include "approval/image_list.h"

namespace quarn::approval {

struct ApprovalCheck {
    enum class Verdict { Approved, NotApproved, Revoked, Refused };
    Verdict verdict = Verdict::Refused;
    ApprovedImage image;    // Approved, Revoked: the row that decides
    QDateTime listReadAt;   // when the list that decided was read (invalid: Refused)
    bool fromCopy = false;  // the database could not be reached: the copy decided
    // For people: "approved by USER on DATE", "not approved", "revoked on DATE
    // by USER", each followed by "; approved list of TIME (database
    // unreachable)" when the copy decided; or why it was refused.
    QString reason;
    QString warning;  // the copy could not be written (the verdict stands)
    bool allowed() const { return verdict == Verdict::Approved; }
};

// $XDG_STATE_HOME/quarn-download/approved-images.json (beside the default log).
QString approvedCopyPath();

// Blocking: at most the URL's connect_timeout and the push's time limit.
// offlineMaxAge: how old a copy may decide, in seconds (offlineMaxAgeS():
// the settings file's).
ApprovalCheck checkImageApproval(const QString& databaseUrl, const QString& sha256Hex,
                                 const QString& copyPath = approvedCopyPath(),
                                 qint64 offlineMaxAge = offlineMaxAgeS());

// The verdict of a list read at readAt (no database, no copy).
ApprovalCheck decideApproval(const QList<ApprovedImage>& list, const QString& sha256Hex,
                             const QDateTime& readAt);

// "; approved list of TIME (database unreachable)" when the copy decided,
// else empty.
QString approvalCopyText(const ApprovalCheck& check);

}  // namespace quarn::approval
