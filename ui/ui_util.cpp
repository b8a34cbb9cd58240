#include "ui/ui_util.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace quarn {

int twipsToPixels(int twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
int pixelsToTwips(int pixels, int dpi) {
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

void placeTwips(QWidget* w, int left, int top, int width, int height) {
    const QWidget* ref = w->parentWidget() ? w->parentWidget() : w;
    const int dx = ref->logicalDpiX();
    const int dy = ref->logicalDpiY();
    w->setGeometry(twipsToPixels(left, dx), twipsToPixels(top, dy), twipsToPixels(width, dx),
                   twipsToPixels(height, dy));
}

void centreOnScreen(QWidget* w) {
    QRect frame = w->frameGeometry();
    frame.moveCenter(w->screen()->availableGeometry().center());
    w->move(frame.topLeft());
}

QColor vbColor(uint32_t value) {
    if (value & 0x80000000u) {
        const QPalette pal = QApplication::palette();
        switch (value & 0xFFu) {
            case 5:
                return pal.color(QPalette::Base);  // window background
            case 8:
                return pal.color(QPalette::WindowText);  // window text
            case 18:
                return pal.color(QPalette::ButtonText);  // button text
            default:
                return pal.color(QPalette::Window);  // menu bar, button face, others
        }
    }
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

void setBackColor(QWidget* w, uint32_t value) {
    QPalette pal = w->palette();
    const QColor c = vbColor(value);
    pal.setColor(QPalette::Window, c);
    pal.setColor(QPalette::Button, c);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
    w->setProperty("backColor", QVariant::fromValue<uint>(value));
}

void setForeColor(QWidget* w, uint32_t value) {
    QPalette pal = w->palette();
    const QColor c = vbColor(value);
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::ButtonText, c);
    pal.setColor(QPalette::Text, c);
    w->setPalette(pal);
    w->setProperty("foreColor", QVariant::fromValue<uint>(value));
}

uint32_t backColorOf(const QWidget* w) { return w->property("backColor").toUInt(); }

static QFont withFamilies(const QStringList& families, double pointSize, bool bold) {
    QFont f;
    f.setFamilies(families);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

QFont systemBoldFont() {
    return withFamilies({"System", "DejaVu Sans", "Liberation Sans", "Sans Serif"}, 9.6, true);
}

QFont msSansSerifFont(double pointSize, bool bold) {
    return withFamilies({"MS Sans Serif", "Liberation Sans", "DejaVu Sans", "Sans Serif"},
                        pointSize, bold);
}

QFont arialFont(double pointSize) {
    return withFamilies({"Arial", "Liberation Sans", "DejaVu Sans", "Sans Serif"}, pointSize,
                        false);
}

Panel3D::Panel3D(QWidget* parent, const QString& caption) : QFrame(parent), caption_(caption) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setFont(msSansSerifFont(7.8, true));
    setBackColor(this, 0x00C0D0D0u);
}

void Panel3D::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (caption_.isEmpty()) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                  int width, int height, const LabelStyle& style) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    placeTwips(label, left, top, width, height);
    setBackColor(label, style.back);
    setForeColor(label, style.fore);
    label->setAlignment((style.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    if (style.border) label->setFrameStyle(QFrame::Box | QFrame::Plain);
    if (style.hasFont) label->setFont(style.font);
    return label;
}

}  // namespace quarn
