#include "records/image_gate.h"

#include <QSettings>

#include "core/paths.h"

namespace quarn::records {

namespace {

using Verdict = ApprovalCheck::Verdict;

// The verdict in the words of the image line: what the reason says, with a
// refusal (no list to ask) said as "not approved" and its cause.
QString verdictText(const ImageGate& gate) {
    if (!gate.required) return QStringLiteral("approval not required");
    if (gate.check.verdict == Verdict::Refused)
        return QStringLiteral("not approved (%1)").arg(gate.check.reason);
    return gate.check.reason;
}

}  // namespace

bool approvalRequired() {
    const QSettings settings(quarn::settingsFilePath(), QSettings::IniFormat);
    return settings.value(QStringLiteral("images/require-approved"), false).toBool();
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
    line += QStringLiteral("%1, %2 bytes, sha256 %3: %4")
                .arg(image.file)
                .arg(image.length)
                .arg(image.sha256Hex.left(12), verdict);
    return line;
}

QString imageRefusalText(const ImageIdentity& image, const ImageGate& gate) {
    if (gate.allowed()) return {};
    const QString what = QStringLiteral("the image %1 (%2, %3 bytes)")
                             .arg(image.sha256Hex, image.file)
                             .arg(image.length);
    const ApprovalCheck& c = gate.check;
    switch (c.verdict) {
        case Verdict::Revoked:
        case Verdict::NotApproved:
            // The reason reads "not approved" or "revoked on DATE by USER",
            // and names the copy when that decided.
            return what +
                   (c.verdict == Verdict::Revoked ? QStringLiteral(" was ")
                                                  : QStringLiteral(" is ")) +
                   c.reason;
        case Verdict::Approved:
        case Verdict::Refused:
            break;
    }
    return what + QStringLiteral(" cannot be approved: ") + c.reason;
}

}  // namespace quarn::records
