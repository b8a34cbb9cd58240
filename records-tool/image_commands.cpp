#include "records-tool/image_commands.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "approval/approved_images.h"
#include "approval/image_list.h"
#include "image/resolve_image.h"
#include "records-tool/history_commands.h"
#include "records-tool/records_exit.h"

namespace quarn::records {

namespace {

int exitOf(const approval::ImageOutcome& out) {
    using Status = approval::ImageOutcome::Status;
    if (out.status == Status::Done) return kRecordsDone;
    recordsDoor().printErr(out.error);
    switch (out.status) {
        case Status::Usage:
            return kRecordsUsage;
        case Status::Denied:
            return kRecordsDenied;
        default:
            return kRecordsUnreachable;
    }
}

// The image as a download would send it (image/resolve_image.h). False with
// *why (exit 1) when anything cannot be read.
bool readImage(const ApproveArgs& a, approval::ApprovedImage* image, QString* why) {
    bool lengthOk = a.length.isEmpty();
    const int length = lengthOk ? 0 : a.length.toInt(&lengthOk);
    if (!lengthOk || length < -32768 || length > 32767)
        return *why =
                   QCoreApplication::translate(
                       "quarn-records", "--length wants a number from -32768 to 32767, not \"%1\"")
                       .arg(a.length),
               false;
    ImageSource source{a.init, a.file, std::nullopt};
    if (!a.length.isEmpty()) source.length = int16_t(length);
    const ResolvedImage r = resolveImage(source);
    if (r.failure == ImageFailure::InitRefused)
        return *why = QCoreApplication::translate("quarn-records", "Invalid Init File %1: %2")
                          .arg(r.initPath, r.why),
               false;
    if (!r.ok()) return *why = r.why, false;
    image->sha256 = QString::fromLatin1(r.image.sha256().toHex());
    image->length = r.image.length();
    image->file = r.image.fileName();
    image->title = r.image.title();
    image->note = a.note;
    return true;
}

QString revokedText(const approval::ApprovedImage& i) {
    return i.revoked()
               ? QStringLiteral("%1 %2").arg(i.revokedBy, approval::approvalTimeText(i.revokedAt))
               : QStringLiteral("-");
}

}  // namespace

int approveCommand(const QString& url, const ApproveArgs& args) {
    approval::ApprovedImage image;
    QString why;
    if (!readImage(args, &image, &why)) return recordsDoor().fail(why, kRecordsUsage);
    const approval::ImageOutcome out = approval::approveImage(url, image);
    if (out.status != approval::ImageOutcome::Status::Done) return exitOf(out);
    sayLine(stdout, image.sha256);
    const approval::ApprovedImage& in = out.images.value(0);
    sayLine(stdout,
            QCoreApplication::translate("quarn-records", "%1 by %2 on %3")
                .arg(out.changed ? QCoreApplication::translate("quarn-records", "approved")
                                 : QCoreApplication::translate(
                                       "quarn-records", "approved already (nothing changed)"),
                     in.approvedBy, approval::approvalTimeText(in.approvedAt)));
    return kRecordsDone;
}

int revokeCommand(const QString& url, const QString& sha256, const QString& note) {
    const approval::ImageOutcome out = approval::revokeImage(url, sha256, note);
    if (out.status != approval::ImageOutcome::Status::Done) return exitOf(out);
    const approval::ApprovedImage& i = out.images.value(0);
    sayLine(stdout, i.sha256);
    sayLine(stdout,
            QCoreApplication::translate("quarn-records", "%1 on %2 by %3")
                .arg(out.changed ? QCoreApplication::translate("quarn-records", "revoked")
                                 : QCoreApplication::translate("quarn-records",
                                                               "revoked already (nothing changed)"),
                     approval::approvalTimeText(i.revokedAt), i.revokedBy));
    sayImageUnits(url, i.sha256);
    return kRecordsDone;
}

namespace {

// One line of the table: each cell padded to its column's width.
QString row(const QStringList& cells) {
    static const int widths[] = {64, 6, 20, 20, 26, 0};
    QString line;
    for (qsizetype c = 0; c < cells.size(); ++c)
        line += (c == 1 ? cells[c].rightJustified(widths[c]) : cells[c].leftJustified(widths[c])) +
                QLatin1String(c + 1 < cells.size() ? "  " : "");
    return line;
}

}  // namespace

int imagesCommand(const QString& url, bool json) {
    const approval::ImageOutcome out = approval::readImageList(url);
    if (out.status != approval::ImageOutcome::Status::Done) return exitOf(out);
    if (json) {
        QJsonArray list;
        for (const approval::ApprovedImage& i : out.images) list << approval::imageJson(i);
        const QByteArray text = QJsonDocument(list).toJson(QJsonDocument::Compact) + '\n';
        return std::fwrite(text.constData(), 1, size_t(text.size()), stdout), kRecordsDone;
    }
    sayLine(stdout,
            row({QStringLiteral("sha256"), QStringLiteral("length"), QStringLiteral("file"),
                 QStringLiteral("title"), QStringLiteral("approved"), QStringLiteral("revoked")}));
    for (const approval::ApprovedImage& i : out.images)
        sayLine(stdout,
                row({i.sha256, QString::number(i.length), i.file, i.title,
                     i.approvedBy + QLatin1Char(' ') + approval::approvalTimeText(i.approvedAt),
                     revokedText(i)}));
    return kRecordsDone;
}

}  // namespace quarn::records
