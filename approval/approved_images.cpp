#include "approval/approved_images.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "approval/approved_copy.h"
#include "core/paths.h"

namespace quarn::approval {

namespace {

using Verdict = ApprovalCheck::Verdict;

bool unreachable(ImageOutcome::Status s) {
    return s == ImageOutcome::Status::Unreachable || s == ImageOutcome::Status::Busy;
}

ApprovalCheck refused(const QString& why) {
    ApprovalCheck c;
    c.reason = why;
    return c;
}

}  // namespace

QString approvedCopyPath() {
    return QFileInfo(defaultLogPath()).dir().filePath(QStringLiteral("approved-images.json"));
}

ApprovalCheck decideApproval(const QList<ApprovedImage>& list, const QString& sha256Hex,
                             const QDateTime& readAt) {
    ApprovalCheck c;
    c.verdict = Verdict::NotApproved;
    c.listReadAt = readAt;
    c.reason = QCoreApplication::translate("Approval", "not approved");
    const QString sha = sha256Hex.toLower();
    for (const ApprovedImage& i : list) {
        if (i.sha256 != sha || c.verdict == Verdict::Approved) continue;
        if (!i.revoked()) {
            c.verdict = Verdict::Approved, c.image = i;
            c.reason = QCoreApplication::translate("Approval", "approved by %1 on %2")
                           .arg(i.approvedBy, approvalTimeText(i.approvedAt));
        } else if (c.verdict == Verdict::NotApproved || i.revokedAt > c.image.revokedAt) {
            c.verdict = Verdict::Revoked, c.image = i;
            c.reason = QCoreApplication::translate("Approval", "revoked on %1 by %2")
                           .arg(approvalTimeText(i.revokedAt), i.revokedBy);
        }
    }
    return c;
}

ApprovalCheck checkImageApproval(const QString& databaseUrl, const QString& sha256Hex,
                                 const QString& copyPath, qint64 offlineMaxAge) {
    if (databaseUrl.isEmpty())
        return refused(QCoreApplication::translate("Approval", "no database is configured"));
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(databaseUrl);
    if (!target.error.isEmpty()) return refused(target.error);
    const ImageOutcome read = readImageList(databaseUrl);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (read.status == ImageOutcome::Status::Done) {
        ApprovalCheck c = decideApproval(read.images, sha256Hex, now);
        saveApprovedCopy(copyPath, {read.images, now, copyDatabase(target)}, &c.warning);
        return c;
    }
    // Only a database that cannot be asked lets the copy decide: one that
    // refused (a disabled login, no right to read) has said no.
    if (!unreachable(read.status)) return refused(read.error);
    ApprovedCopy copy;
    QString why;
    if (!loadApprovedCopy(copyPath, &copy, &why) ||
        !(why = copyUnfitness(copy, target, now, offlineMaxAge)).isEmpty())
        return refused(QCoreApplication::translate("Approval", "%1, and %2").arg(read.error, why));
    ApprovalCheck c = decideApproval(copy.images, sha256Hex, copy.readAt);
    c.fromCopy = true;
    c.reason += approvalCopyText(c);
    return c;
}

QString approvalCopyText(const ApprovalCheck& c) {
    if (!c.fromCopy) return {};
    return QCoreApplication::translate("Approval", "; approved list of %1 (database unreachable)")
        .arg(approvalTimeText(c.listReadAt));
}

}  // namespace quarn::approval
