#include "station/one_line_label.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace quarn::station {

OneLineLabel::OneLineLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
}

void OneLineLabel::setFullText(const QString& text) {
    if (text == full_ && !text.isEmpty()) return;  // a tile is shown again on every tick
    full_ = text;
    setToolTip(text);
    elide();
}

// One line high whatever the text; no width of its own.
QSize OneLineLabel::minimumSizeHint() const { return {0, fontMetrics().height() + 2 * margin()}; }

QSize OneLineLabel::sizeHint() const { return minimumSizeHint(); }

void OneLineLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void OneLineLabel::elide() {
    QString line = full_;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QLabel::setText(fontMetrics().elidedText(line, Qt::ElideRight, qMax(0, width())));
}

}  // namespace quarn::station
