#include "flash/image_check.h"

#include <QCoreApplication>

#include "approval/image_gate.h"

namespace quarn::flash {

namespace {

void say(std::FILE* err, const QString& text) {
    std::fprintf(err, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

bool checkFlashImage(FlashOptions& o, std::FILE* err, approval::ImageGate* gateOut) {
    const ImageIdentity image = o.image.identity();
    const approval::ImageGate gate = approval::checkImageGate(o.approvedOnly, image, o.databaseUrl);
    if (!o.quiet)
        say(err, QCoreApplication::translate("quarn-flash", "Image: ") +
                     approval::imageLineText(image, gate));
    if (!gate.check.warning.isEmpty())
        say(err, QStringLiteral("quarn-flash: ") + gate.check.warning);
    if (!gate.allowed()) {
        say(err, QStringLiteral("quarn-flash: ") + approval::imageRefusalText(image, gate));
        return false;
    }
    o.approved = gate.recordValue();
    if (gateOut) *gateOut = gate;
    return true;
}

}  // namespace quarn::flash
