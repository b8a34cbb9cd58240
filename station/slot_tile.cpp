#include "station/slot_tile.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "station/one_line_label.h"
#include "station/station_model.h"
#include "station/status_symbol.h"

namespace quarn::station {

namespace {
constexpr int kTileMargin = 6;  // inside the frame
constexpr int kTileSpacing = 3;

// The status line's font: bold, px high.
QFont statusFont(QFont font, int px) {
    font.setBold(true);
    font.setPixelSize(px);
    return font;
}
}  // namespace

SlotTile::SlotTile(int k, QWidget* parent)
    : QFrame(parent),
      k_(k),
      symbol_(new StatusSymbol(this)),
      status_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      repeats_(new OneLineLabel(this)),
      timeLeft_(new OneLineLabel(this)),
      name_(new OneLineLabel(this)),
      serial_(new QLineEdit(this)),
      explanation_(new OneLineLabel(this)),
      lastSerial_(new OneLineLabel(this)),
      flag_(new OneLineLabel(this)) {
    setAccessibleName(tr("Slot %1").arg(k + 1));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status_->setTextFormat(Qt::PlainText);
    serial_->setAccessibleName(tr("Serial"));
    serial_->setPlaceholderText(tr("serial number"));
    progress_->setAccessibleName(tr("Progress"));
    progress_->setTextVisible(false);
    progress_->setFixedHeight(QFontMetrics(font()).height() / 2 + 4);
    setLayout(buildRows());
    setStatusPixelSize(24);
    connect(serial_, &QLineEdit::returnPressed, this,
            [this] { emit serialEntered(k_, serial_->text()); });
    connect(serial_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit serialEdited(k_, text); });
}

// The four rows, each one line high whatever it holds, so that a tile keeps
// its height as its texts come and go.
QBoxLayout* SlotTile::buildRows() {
    const int line = QFontMetrics(font()).height();
    auto* rows = new QVBoxLayout;
    rows->setContentsMargins(kTileMargin, kTileMargin, kTileMargin, kTileMargin);
    rows->setSpacing(kTileSpacing);
    const auto row = [&](std::initializer_list<std::pair<QWidget*, int>> widgets) {
        auto* r = new QHBoxLayout;
        r->setSpacing(2 * kTileSpacing);
        r->addStrut(line);
        for (const auto& [w, stretch] : widgets) r->addWidget(w, stretch);
        rows->addLayout(r);
    };
    row({{symbol_, 0}, {status_, 1}});
    row({{progress_, 4}, {repeats_, 2}, {timeLeft_, 2}});
    row({{name_, 1}, {serial_, 1}});
    row({{explanation_, 3}, {lastSerial_, 2}, {flag_, 3}});
    rows->addStretch();
    return rows;
}

void SlotTile::setStatusPixelSize(int px) {
    status_->setFont(statusFont(font(), px));
    symbol_->setSide(px);
    // A row's cached size outlives its label's new font; the rows are asked afresh.
    for (int i = 0; i < layout()->count(); ++i)
        if (QLayout* row = layout()->itemAt(i)->layout()) row->invalidate();
    layout()->invalidate();
}

// Measured, not reckoned: the tile's own layout at that size.
int SlotTile::heightAt(int px) {
    const int was = status_->font().pixelSize();
    setStatusPixelSize(px);
    const int height = minimumSizeHint().height();
    setStatusPixelSize(was);
    return height;
}

int SlotTile::widthAt(int px, const QStringList& samples) const {
    const QFontMetrics metrics(statusFont(font(), px));
    int widest = 0;
    for (const QString& text : samples) widest = qMax(widest, metrics.horizontalAdvance(text));
    return 2 * (kTileMargin + frameWidth()) + px + 2 * kTileSpacing + widest +
           metrics.averageCharWidth();
}

QString SlotTile::symbol() const { return symbolName(symbol_->symbol()); }

void SlotTile::setLine(OneLineLabel* label, const QString& role, const QString& text, bool bare) {
    const QString line = role + QStringLiteral(": ") + text;
    label->setFullText(bare ? text : line);
    label->setAccessibleName(line);
    label->setVisible(!text.isEmpty());
}

void SlotTile::show(const SlotState& s) {
    name_->setFullText(accessibleName() + QStringLiteral(" · ") + adapterShortName(s.slot));
    name_->setAccessibleName(accessibleName());
    // The device is looked up only when the phase moves (a replugged adapter
    // does), not on every progress tick of every slot.
    if (static_cast<int>(s.phase) != shownPhase_ || name_->toolTip().isEmpty()) {
        const QString device = slotDevice(s.slot);
        name_->setToolTip(
            tr("device: %1\nstable name: %2")
                .arg(device.isEmpty() ? tr("(not plugged in)") : device, s.slot.stableName));
    }
    shownPhase_ = static_cast<int>(s.phase);
    // Cleared once the unit's record is written, even with the focus in it:
    // the number belongs to the unit that was loaded.
    if (serial_->text().trimmed() != s.serial) serial_->setText(s.serial);
    serial_->setReadOnly(s.phase == SlotPhase::Running);
    setLine(lastSerial_, tr("Last serial"), s.lastSerial);
    status_->setText(s.look.status);
    status_->setAccessibleName(tr("Status: %1").arg(s.look.status));
    symbol_->setSymbol(s.look.symbol);
    showFigures(s);
    // A held unit is not started again, but its attempts are said all the same.
    const bool failed = s.outcomeKept && (s.lastFailed || s.last == record::SessionOutcome::Held);
    setLine(explanation_, tr("Explanation"), failed ? s.message : QString(), true);
    explanation_->setAccessibleDescription(failed ? s.message : QString());
    setLine(
        flag_, tr("Flag"),
        s.serialLoadedGood ? tr("this serial number already loaded good this shift") : QString(),
        true);
    showColour(s);
}

void SlotTile::showFigures(const SlotState& s) {
    const bool transfer = s.figures.total > 0 && s.phase != SlotPhase::Ready;
    progress_->setMaximum(qMax(1, s.figures.total));
    progress_->setValue(transfer ? s.figures.answered() : 0);
    setLine(repeats_, tr("Repeats"), transfer ? QString::number(s.figures.repeats) : QString());
    setLine(timeLeft_, tr("Time left"),
            s.secondsLeft >= 0 ? tr("%1 s").arg(s.secondsLeft) : QString());
}

void SlotTile::showColour(const SlotState& s) {
    if (colour_ == colourName(s.look.colour)) return;  // a new palette repaints the whole tile
    colour_ = colourName(s.look.colour);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(colourRgb(s.look.colour)));
    setPalette(pal);
    setAccessibleDescription(colour_);
}

}  // namespace quarn::station
