#include "approval/image_gate.h"

#include <QCoreApplication>

#include "core/settings.h"

namespace quarn::approval {

namespace {

using Verdict = ApprovalCheck::Verdict;

// The verdict in the words of the image line: what the reason says, with a
// refusal (no list to ask) said as "not approved" and its cause. Through the
// catalogue of the program that loaded one; English where none is.
QString verdictText(const ImageGate& gate) {
    if (!gate.required) return QCoreApplication::translate("Approval", "approval not required");
    if (gate.check.verdict == Verdict::Refused)
        return QCoreApplication::translate("Approval", "not approved (%1)").arg(gate.check.reason);
    return gate.check.reason;
}

// Why the image is refused, one whole sentence per verdict (a language puts
// the date and the name where it needs them).
QString refusalSentence(const ImageIdentity& image, const ApprovalCheck& c) {
    switch (c.verdict) {
        case Verdict::NotApproved:
            return QCoreApplication::translate("Approval",
                                               "the image %1 (%2, %3 bytes) is not approved")
                .arg(image.sha256Hex, image.file)
                .arg(image.length);
        case Verdict::Revoked:
            return QCoreApplication::translate(
                       "Approval", "the image %1 (%2, %3 bytes) was revoked on %4 by %5")
                .arg(image.sha256Hex, image.file)
                .arg(image.length)
                .arg(approvalTimeText(c.image.revokedAt), c.image.revokedBy);
        case Verdict::Approved:
        case Verdict::Refused:
            break;
    }
    return QCoreApplication::translate("Approval",
                                       "the image %1 (%2, %3 bytes) cannot be approved: %4")
        .arg(image.sha256Hex, image.file)
        .arg(image.length)
        .arg(c.reason);
}

}  // namespace

bool approvalRequired() {
    return quarn::Settings().value(quarn::SettingKey::ImagesRequireApproved).toBool();
}

ImageGate checkImageGate(bool required, const ImageIdentity& image, const QString& databaseUrl) {
    ImageGate gate;
    gate.required = required;
    if (required) gate.check = checkImageApproval(databaseUrl, image.sha256Hex);
    return gate;
}

QString imageLineText(const ImageIdentity& image, const ImageGate& gate) {
    return imageLineText(image, verdictText(gate));
}

QString imageLineText(const ImageIdentity& image, const QString& verdict) {
    QString line;
    if (!image.title.isEmpty()) line = image.title + QStringLiteral(", ");
    line += QCoreApplication::translate("Approval", "%1, %2 bytes, sha256 %3: %4")
                .arg(image.file)
                .arg(image.length)
                .arg(image.sha256Hex.left(12), verdict);
    return line;
}

QString imageRefusalText(const ImageIdentity& image, const ImageGate& gate) {
    if (gate.allowed()) return {};
    // Refused has no list that decided, so no copy to name.
    return refusalSentence(image, gate.check) + approvalCopyText(gate.check);
}

}  // namespace quarn::approval
