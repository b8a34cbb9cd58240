#include "info/form14.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>

#include "core/version.h"
#include "ui/globals.h"
#include "ui/ui_util.h"

namespace quarn {

namespace {
constexpr uint32_t kDesignGrey = 0x00C0C0C0u;  // the contact labels' colour before load
constexpr uint32_t kWindowText = 0x80000008u;

QLabel* label(QWidget* parent, const char* name, const QString& caption, int left, int top,
              int width, int height, bool centred, const QFont* font) {
    LabelStyle s;
    s.back = kDesignGrey;
    s.fore = kWindowText;
    s.centred = centred;
    if (font) {
        s.font = *font;
        s.hasFont = true;
    }
    return makeLabel(parent, QString::fromLatin1(name), caption, left, top, width, height, s);
}
}  // namespace

Form14::Form14() {
    setObjectName(QStringLiteral("Form14"));
    setWindowTitle(QStringLiteral("Quarn Systems - Download program"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(twipsToPixels(7164, logicalDpiX()), twipsToPixels(3372, logicalDpiY()));
    const QFont big = msSansSerifFont(13.8, false);
    const QFont sys = systemBoldFont();
    Label1 =
        label(this, "Label1", QStringLiteral("QUARN SYSTEMS"), 1920, 360, 3072, 372, true, &big);
    Label8 = label(this, "Label8", QStringLiteral("Download program for Quarn Systems."), 1200, 780,
                   4512, 252, true, nullptr);
    Label7 = label(this, "Label7",
                   QStringLiteral("Version:  " QUARN_VERSION) + QString(21, QLatin1Char(' ')) +
                       QStringLiteral("Date: " QUARN_BUILD_DATE),
                   840, 1560, 4875, 315, false, &sys);
    Label11 = label(this, "Label11",
                    QStringLiteral("For customer support please contact Quarn Systems. "), 840,
                    2100, 5355, 255, false, nullptr);
    Label10 = label(this, "Label10", QStringLiteral("Phone: +1 555 0142 300"), 840, 2340, 5355, 255,
                    false, nullptr);
    Label9 = label(this, "Label9", QStringLiteral("Fax: +1 555 0142 301"), 840, 2580, 5355, 255,
                   false, nullptr);
    Label2 = label(this, "Label2", QStringLiteral("Email: support@quarn.example"), 840, 2820, 5355,
                   255, false, nullptr);
    Label3 = label(this, "Label3", QStringLiteral("www.quarn.example"), 840, 3060, 5355, 255, false,
                   nullptr);
}

void Form14::load() {
    markLoaded();
    Form_Load();
}

void Form14::Form_Load() {
    setBackColor(this, Back_color);
    for (QLabel* l : {Label1, Label2, Label3, Label7, Label8, Label9, Label10, Label11})
        setBackColor(l, Back_color);
}

void Form14::Form_Unload(int& Cancel) {
    Q_UNUSED(Cancel);
    emit closed();
}

void Form14::closeEvent(QCloseEvent* event) {
    event->ignore();
    Unload();
}

}  // namespace quarn
