#include "station/slot_tile.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

#include "station/station_model.h"

namespace quarn::station {

SlotTile::SlotTile(int k, QWidget* parent)
    : QFrame(parent),
      k_(k),
      name_(new QLabel(this)),
      serial_(new QLineEdit(this)),
      lastSerial_(new QLabel(this)),
      status_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      repeats_(new QLabel(this)),
      timeLeft_(new QLabel(this)),
      explanation_(new QLabel(this)),
      flag_(new QLabel(this)) {
    setAccessibleName(QStringLiteral("Slot %1").arg(k + 1));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setMinimumWidth(220);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    serial_->setAccessibleName(QStringLiteral("Serial"));
    serial_->setPlaceholderText(QStringLiteral("serial number"));
    progress_->setAccessibleName(QStringLiteral("Progress"));
    explanation_->setWordWrap(true);
    flag_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(name_), static_cast<QWidget*>(serial_),
                       static_cast<QWidget*>(lastSerial_), static_cast<QWidget*>(status_),
                       static_cast<QWidget*>(progress_), static_cast<QWidget*>(repeats_),
                       static_cast<QWidget*>(timeLeft_), static_cast<QWidget*>(flag_),
                       static_cast<QWidget*>(explanation_)})
        layout->addWidget(w);
    layout->addStretch();
    connect(serial_, &QLineEdit::returnPressed, this,
            [this] { emit serialEntered(k_, serial_->text()); });
    connect(serial_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit serialEdited(k_, text); });
}

void SlotTile::setLine(QLabel* label, const QString& role, const QString& text, bool bare) {
    const QString line = role + QStringLiteral(": ") + text;
    label->setText(bare ? text : line);
    label->setAccessibleName(line);
    label->setVisible(!text.isEmpty());
}

void SlotTile::show(const SlotState& s) {
    name_->setText(s.slot.name);
    name_->setAccessibleName(s.slot.name);
    const QString device = slotDevice(s.slot);
    name_->setToolTip(QStringLiteral("device: %1\nstable name: %2")
                          .arg(device.isEmpty() ? QStringLiteral("(not plugged in)") : device,
                               s.slot.stableName));
    // Cleared once the unit's record is written, even with the focus in it:
    // the number belongs to the unit that was loaded.
    if (serial_->text().trimmed() != s.serial) serial_->setText(s.serial);
    setLine(lastSerial_, QStringLiteral("Last serial"), s.lastSerial);
    serial_->setReadOnly(s.phase == SlotPhase::Running);
    status_->setText(s.look.status);
    status_->setAccessibleName(QStringLiteral("Status: ") + s.look.status);
    const bool transfer = s.figures.total > 0 && s.phase != SlotPhase::Ready;
    progress_->setMaximum(qMax(1, s.figures.total));
    progress_->setValue(transfer ? s.figures.answered() : 0);
    setLine(repeats_, QStringLiteral("Repeats"),
            transfer ? QString::number(s.figures.repeats) : QString());
    setLine(timeLeft_, QStringLiteral("Time left"),
            s.secondsLeft >= 0 ? QStringLiteral("%1 s").arg(s.secondsLeft) : QString());
    const bool failed = s.phase == SlotPhase::Ended && s.lastFailed;
    setLine(explanation_, QStringLiteral("Explanation"), failed ? s.message : QString(), true);
    setLine(flag_, QStringLiteral("Flag"),
            s.serialLoadedGood ? QStringLiteral("this serial number already loaded good this shift")
                               : QString(),
            true);
    colour_ = colourName(s.look.colour);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(colourRgb(s.look.colour)));
    setPalette(pal);
    setAccessibleDescription(colour_);
}

}  // namespace quarn::station
