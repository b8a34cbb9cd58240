#include "records/approved_images.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/paths.h"

namespace quarn::records {

namespace {

using Verdict = ApprovalCheck::Verdict;

QString isoOf(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

// Replaces the copy: written beside it, then renamed over it, so a reader
// finds the old copy or the new one whole. Not synced to the disk: it is a
// cache that a crash may cost the latest read of, and an fsync would cost
// the download's start more than the read itself.
bool saveCopy(const QString& path, const QList<ApprovedImage>& list, const QDateTime& readAt,
              QString* why) {
    QJsonArray images;
    for (const ApprovedImage& i : list) images << imageJson(i);
    const QByteArray text =
        QJsonDocument(QJsonObject{{"read_at", isoOf(readAt)}, {"images", images}}).toJson();
    const QString temporary = path + QStringLiteral(".new");
    QFile f(temporary);
    if (QDir().mkpath(QFileInfo(path).absolutePath()) && f.open(QIODevice::WriteOnly) &&
        f.write(text) == text.size() && f.flush()) {
        f.close();
        if (::rename(QFile::encodeName(temporary).constData(),
                     QFile::encodeName(path).constData()) == 0)
            return true;
        *why = QCoreApplication::translate("Approval", "cannot keep the approved list in %1: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return QFile::remove(temporary), false;
    }
    *why = QCoreApplication::translate("Approval", "cannot keep the approved list in %1: %2")
               .arg(path, f.errorString());
    return false;
}

// The copy; false with *why when there is none or it cannot be read.
bool loadCopy(const QString& path, QList<ApprovedImage>* list, QDateTime* readAt, QString* why) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return *why = QCoreApplication::translate("Approval", "no copy of the approved list (%1)")
                          .arg(f.errorString()),
               false;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    *readAt = QDateTime::fromString(o.value(QLatin1String("read_at")).toString(), Qt::ISODateWithMs)
                  .toUTC();
    if (!readAt->isValid() || !o.value(QLatin1String("images")).isArray())
        return *why = QCoreApplication::translate("Approval",
                                                  "the copy of the approved list %1 is damaged")
                          .arg(path),
               false;
    for (const QJsonValue& v : o.value(QLatin1String("images")).toArray())
        *list << imageFromJson(v.toObject());
    return true;
}

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

QString approvalTimeText(const QDateTime& t) {
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
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
                                 const QString& copyPath) {
    if (databaseUrl.isEmpty())
        return refused(QCoreApplication::translate("Approval", "no database is configured"));
    const ImageOutcome read = readImageList(databaseUrl);
    if (read.status == ImageOutcome::Status::Done) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        ApprovalCheck c = decideApproval(read.images, sha256Hex, now);
        saveCopy(copyPath, read.images, now, &c.warning);
        return c;
    }
    if (!unreachable(read.status)) return refused(read.error);
    QList<ApprovedImage> list;
    QDateTime readAt;
    QString why;
    if (!loadCopy(copyPath, &list, &readAt, &why))
        return refused(QCoreApplication::translate("Approval", "%1, and %2").arg(read.error, why));
    ApprovalCheck c = decideApproval(list, sha256Hex, readAt);
    c.fromCopy = true;
    c.reason += approvalCopyText(c);
    return c;
}

QString approvalCopyText(const ApprovalCheck& c) {
    if (!c.fromCopy) return {};
    return QCoreApplication::translate("Approval", "; approved list of %1 (database unreachable)")
        .arg(approvalTimeText(c.listReadAt));
}

}  // namespace quarn::records
