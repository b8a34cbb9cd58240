#pragma once
// Small helpers that let the windows be laid out in the units and colour
// values of their design: positions and sizes in twips (1/1440 inch) at the
// screen's logical DPI, colours as 0x00BBGGRR values where a set top bit
// names a system colour.
//
// Every helper that sets a colour also stores the design value in the
// widget's "backColor"/"foreColor" property, so a test can read back exactly
// the value a procedure set.

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QString>
#include <cstdint>

class QLabel;
class QResizeEvent;
class QShowEvent;
class QWidget;

namespace quarn {

int twipsToPixels(int twips, int dpi);
int pixelsToTwips(int pixels, int dpi);

// The start-up and port-selection windows are designed by their outer size,
// frame and caption included, while Qt sizes a window's client area. The
// frame takes a fixed allowance: 40 twips of border on each side (the
// download window's 5600 outer width against its 5520 client width) and a
// caption bar of 280 twips.
constexpr int kFrameWidthTwips = 80;
constexpr int kFrameHeightTwips = 360;

// Places w in its parent at the given twips, using the parent's (or w's) logical DPI.
void placeTwips(QWidget* w, int left, int top, int width, int height);

// Moves the window w so that its frame is centred on its screen's available area.
void centreOnScreen(QWidget* w);

// A top-level window of the design: it keeps its design size whatever the
// window manager does, and opens centred on its screen the first time it is
// shown. Form_Resize says what the design size is; it runs on every show and
// after every resize.
template <class Base>
class FixedSizeWindow : public Base {
protected:
    virtual void Form_Resize() = 0;

    void resizeEvent(QResizeEvent* event) override {
        Base::resizeEvent(event);
        // The resize Form_Resize makes comes back here.
        if (resizing_) return;
        resizing_ = true;
        Form_Resize();
        resizing_ = false;
    }

    void showEvent(QShowEvent* event) override {
        Base::showEvent(event);
        Form_Resize();
        // Only the first show: after that the window stays where the user put it.
        if (!centred_ && this->screen()) {
            centred_ = true;
            centreOnScreen(this);
        }
    }

private:
    bool centred_ = false;
    bool resizing_ = false;
};

QColor vbColor(uint32_t value);
void setBackColor(QWidget* w, uint32_t value);
void setForeColor(QWidget* w, uint32_t value);
uint32_t backColorOf(const QWidget* w);

// "System" bold 9.6 pt, with close Linux fallbacks.
QFont systemBoldFont();
// "MS Sans Serif" at the given size, with close Linux fallbacks.
QFont msSansSerifFont(double pointSize, bool bold);
// "Arial" at the given size, with close Linux fallbacks.
QFont arialFont(double pointSize);

// A raised panel with a thin bevel and an optional centred caption: the
// 3-D panel of the design.
class Panel3D : public QFrame {
    Q_OBJECT
public:
    explicit Panel3D(QWidget* parent, const QString& caption = QString());
    QString caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};

struct LabelStyle {
    uint32_t back = 0x80000004u;
    uint32_t fore = 0x80000008u;
    bool centred = false;
    bool border = false;
    QFont font;
    bool hasFont = false;
};

// A label with an object name, caption, twips geometry and colours.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                  int width, int height, const LabelStyle& style);

}  // namespace quarn
