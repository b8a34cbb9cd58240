#pragma once
// The check every front end makes before any port opens: whether the image
// about to be sent may be loaded, and the one line that names it on every
// screen. The verdict itself comes from approval/approved_images.h.
//
// Contract
// - approvalRequired(): [images] require-approved=true in the settings file
//   (quarn::settingsFilePath). A front end's own switch (--approved-only)
//   turns the check on as well; nothing turns the setting off.
// - checkImageGate() asks the approved list only when required; not required,
//   everything may load and the record's "approved" is null.
// - Blocking: as checkImageApproval (at most the URL's connect_timeout and
//   the push's time limit). A window runs it off its thread.

#include <QString>
#include <optional>

#include "approval/approved_images.h"
#include "image/image_identity.h"

namespace quarn::approval {

struct ImageGate {
    bool required = false;
    ApprovalCheck check;  // when required
    bool allowed() const { return !required || check.allowed(); }
    // The record's "approved": null when not required, else whether it was.
    std::optional<bool> recordValue() const {
        return required ? std::optional<bool>(check.allowed()) : std::nullopt;
    }
};

bool approvalRequired();

ImageGate checkImageGate(bool required, const ImageIdentity& image, const QString& databaseUrl);

// "TITLE, FILE, N bytes, sha256 0123456789ab: approved by USER on DATE" (or
// "not approved", "revoked on DATE by USER", "approval not required"; when
// the list could not be asked, why, after "not approved").
QString imageLineText(const ImageIdentity& image, const ImageGate& gate);
// The same line with a verdict of the caller's ("checking the approved list").
QString imageLineText(const ImageIdentity& image, const QString& verdict);

// Why nothing is sent: "the image SHA256 (FILE, N bytes) is not approved",
// "... was revoked on DATE by USER", "... cannot be approved: WHY", each
// followed by "; approved list of TIME (database unreachable)" when the
// kept copy decided. Empty when the gate allows.
QString imageRefusalText(const ImageIdentity& image, const ImageGate& gate);

}  // namespace quarn::approval
