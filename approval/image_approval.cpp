#include "approval/image_approval.h"

#include <QCoreApplication>

#include "approval/gate_read.h"

namespace quarn::approval {

ImageApproval::ImageApproval(bool required, ImageIdentity image, QString databaseUrl, int recheckMs,
                             const ImageGate* known, QObject* parent)
    : QObject(parent), image_(std::move(image)), databaseUrl_(std::move(databaseUrl)) {
    gate_.required = required;
    connect(&reading_, &QFutureWatcher<ImageGate>::finished, this, &ImageApproval::onRead);
    if (!required) return;
    connect(&recheck_, &QTimer::timeout, this, &ImageApproval::readNow);
    recheck_.start(recheckMs);
    if (known) {
        gate_ = *known;
        checked_ = true;
    } else {
        readNow();
    }
}

// The read holds nothing of this object's: it is left to end by itself.
ImageApproval::~ImageApproval() = default;

QString ImageApproval::lineText() const {
    if (gate_.required && !checked_)
        return imageLineText(image_,
                             QCoreApplication::translate("Approval", "checking the approved list"));
    return imageLineText(image_, gate_);
}

void ImageApproval::checkThen(std::function<void()> then) {
    if (!gate_.required) return then();
    waiting_.push_back(std::move(then));
    readNow();
}

void ImageApproval::readNow() {
    if (reading_.isRunning()) return;  // its verdict serves this request too
    reading_.setFuture(readImageGate(true, image_, databaseUrl_));
}

void ImageApproval::onRead() {
    gate_ = reading_.result();
    checked_ = true;
    if (!gate_.check.warning.isEmpty())
        // The program running it (quarn-station, quarn-flash --watch) names itself.
        qWarning("%s: %s", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(gate_.check.warning));
    std::vector<std::function<void()>> waiting;
    waiting.swap(waiting_);
    emit changed();
    if (!gate_.allowed()) return;
    for (auto& then : waiting) then();
}

}  // namespace quarn::approval
