#pragma once
// The shape beside a tile's colour, so that the state reads without colour
// and from a distance: waiting (a hollow ring), loading (a triangle pointing
// on), good (a tick), failed (a cross). Drawn with QPainter, square, as high
// as the status text beside it.

#include <QWidget>

#include "station/slot_status.h"

namespace quarn::station {

class StatusSymbol : public QWidget {
    Q_OBJECT
public:
    explicit StatusSymbol(QWidget* parent = nullptr);
    void setSymbol(SlotSymbol symbol);
    SlotSymbol symbol() const { return symbol_; }
    // The side of the square it is drawn in.
    void setSide(int px);
    QSize sizeHint() const override { return {side_, side_}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SlotSymbol symbol_ = SlotSymbol::Waiting;
    int side_ = 24;
};

}  // namespace quarn::station
