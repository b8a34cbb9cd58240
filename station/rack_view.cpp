#include "station/rack_view.h"

#include <QGridLayout>
#include <QResizeEvent>
#include <QScrollBar>

#include "station/rack_fit.h"
#include "station/slot_status.h"
#include "station/slot_tile.h"

namespace quarn::station {

namespace {
constexpr int kGap = 6;
}

RackView::RackView(QWidget* parent)
    : QScrollArea(parent), board_(new QWidget), grid_(new QGridLayout(board_)) {
    grid_->setSpacing(kGap);
    grid_->setContentsMargins(0, 0, 0, 0);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(board_);
    setWidgetResizable(true);
}

void RackView::addTile(SlotTile* tile) {
    tiles_ << tile;
    if (tiles_.size() == 1) measure();
    columns_ = 0;  // placed afresh
    relayout();
}

void RackView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    relayout();
}

// A tile's least size at every status size, measured once on the first tile
// (all tiles are alike) in the language the station runs in.
void RackView::measure() {
    const QStringList samples = statusSamples();
    widths_.assign(kMaxStatusPx + 1, 0);
    heights_.assign(kMaxStatusPx + 1, 0);
    for (int px = kMinStatusPx; px <= kMaxStatusPx; ++px) {
        widths_[size_t(px)] = tiles_.first()->widthAt(px, samples);
        heights_[size_t(px)] = tiles_.first()->heightAt(px);
    }
}

// The fit for the whole area; when even that scrolls, the scroll bar's width
// is taken from it.
void RackView::relayout() {
    if (tiles_.isEmpty()) return;
    const auto width = [this](int px) { return widths_[size_t(px)]; };
    const auto height = [this](int px) { return heights_[size_t(px)]; };
    QSize area = contentsRect().size();
    RackFit fit = fitRack(int(tiles_.size()), area, kGap, width, height);
    if (!fit.fits) {
        area.rwidth() -= verticalScrollBar()->sizeHint().width();
        fit = fitRack(int(tiles_.size()), area, kGap, width, height);
    }
    if (fit.statusPx != statusPx_)
        for (SlotTile* tile : tiles_) tile->setStatusPixelSize(fit.statusPx);
    statusPx_ = fit.statusPx;
    for (SlotTile* tile : tiles_) tile->setMinimumWidth(width(fit.statusPx));
    place(fit.columns);
}

void RackView::place(int columns) {
    if (columns == columns_) return;
    columns_ = columns;
    for (SlotTile* tile : tiles_) grid_->removeWidget(tile);
    for (int k = 0; k < tiles_.size(); ++k) grid_->addWidget(tiles_[k], k / columns, k % columns);
    for (int c = 0; c < grid_->columnCount(); ++c) grid_->setColumnStretch(c, c < columns ? 1 : 0);
    const int rows = int((tiles_.size() + columns - 1) / columns);
    for (int r = 0; r < grid_->rowCount(); ++r) grid_->setRowStretch(r, r < rows ? 1 : 0);
}

}  // namespace quarn::station
