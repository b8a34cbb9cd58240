#include "station/status_symbol.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace quarn::station {

StatusSymbol::StatusSymbol(QWidget* parent) : QWidget(parent) {
    setFixedSize(side_, side_);
    setAccessibleName(QStringLiteral("Symbol: ") + symbolName(symbol_));
}

void StatusSymbol::setSymbol(SlotSymbol symbol) {
    if (symbol == symbol_) return;
    symbol_ = symbol;
    setAccessibleName(QStringLiteral("Symbol: ") + symbolName(symbol_));
    update();
}

void StatusSymbol::setSide(int px) {
    if (px == side_) return;
    side_ = px;
    setFixedSize(px, px);
    updateGeometry();
}

// Dark strokes on any tile colour; each shape differs in outline, not only
// in colour, so that it reads in grey too.
void StatusSymbol::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = qMin(width(), height());
    const qreal w = qMax<qreal>(2, s / 7);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QRectF box(w, w, s - 2 * w, s - 2 * w);
    QPainterPath path;
    switch (symbol_) {
        case SlotSymbol::Waiting:
            path.addEllipse(box);
            break;
        case SlotSymbol::Loading:
            path.moveTo(box.topLeft());
            path.lineTo(box.right(), box.center().y());
            path.lineTo(box.bottomLeft());
            path.closeSubpath();
            p.setBrush(QColor(0x20, 0x20, 0x20));
            break;
        case SlotSymbol::Good:
            path.moveTo(box.left(), box.center().y());
            path.lineTo(box.left() + box.width() * 0.38, box.bottom());
            path.lineTo(box.right(), box.top());
            break;
        case SlotSymbol::Failed:
            path.moveTo(box.topLeft());
            path.lineTo(box.bottomRight());
            path.moveTo(box.topRight());
            path.lineTo(box.bottomLeft());
            break;
    }
    p.drawPath(path);
}

}  // namespace quarn::station
