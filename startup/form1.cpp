#include "startup/form1.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <cstdio>

#include "core/message_box.h"
#include "image/init_file.h"
#include "ui/globals.h"
#include "ui/ui_util.h"

namespace quarn {

namespace {

LabelStyle centredLabel() {
    LabelStyle s;
    s.centred = true;
    return s;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, int left) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // The top is set when Init.txt has told how many steps there are.
    placeTwips(b, left, Form1::kLayoutTopTwips, 1932, 372);
    // Return and Enter press the focused button.
    b->setAutoDefault(true);
    return b;
}

}  // namespace

Form1::Form1() {
    setObjectName(QStringLiteral("Form1"));
    // Caption and close box, no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    LabelStyle header = centredLabel();
    header.font = msSansSerifFont(18, true);
    header.hasFont = true;
    HeaderLabel =
        makeLabel(this, QStringLiteral("HeaderLabel"), QString(), 1260, 120, 4932, 492, header);
    Label1 =
        makeLabel(this, QStringLiteral("Label1"), QString(), 1140, 840, 5172, 252, centredLabel());
    Label2 =
        makeLabel(this, QStringLiteral("Label2"), QString(), 1500, 1320, 4572, 252, centredLabel());
    Label3 =
        makeLabel(this, QStringLiteral("Label3"), QString(), 540, 1800, 6432, 252, centredLabel());
    for (int i = 0; i < kMaxSteps; ++i) {
        const int left = i == 10 ? 180 : 240;
        const int width = (i == 2 || i == 3) ? 7452 : i == 4 ? 7512 : 6132;
        StepLabel[i] = makeLabel(this, QStringLiteral("StepLabel_%1").arg(i), QString(), left,
                                 2280 + 420 * i, width, 252, LabelStyle());
    }
    Continue = makeButton(this, QStringLiteral("Continue"), QStringLiteral("Continue"), 1080);
    Cancel = makeButton(this, QStringLiteral("Cancel"), QStringLiteral("Cancel"), 4080);
    setTabOrder(Continue, Cancel);
    connect(Continue, &QPushButton::clicked, this, &Form1::Continue_Click);
    connect(Cancel, &QPushButton::clicked, this, &Form1::Cancel_Click);
}

void Form1::load() {
    markLoaded();
    Form_Load();
}

void Form1::Form_Load() {
    HeaderLabel->setText(QStringLiteral("QUARN SYSTEMS"));
    const InitResult init = readInitFile(initPath_);
    if (!init.ok) {
        // The prompt stays as it always was; the file and the reason go in the
        // box's smaller text and on standard error, for the technician.
        const QString where = QFileInfo(initPath_).absoluteFilePath();
        std::fprintf(stderr, "quarn-download: invalid Init file %s: %s\n", qPrintable(where),
                     qPrintable(init.error));
        std::fflush(stderr);
        MsgBox(QStringLiteral("Invalid Init File."), kStyleInformation, QStringLiteral("Error"),
               where + QLatin1Char('\n') + init.error);
        initOk_ = false;
        // The program ends without having shown a window; its exit status tells a
        // script that started it that nothing was downloaded.
        setExitCode(1);
        Unload();
        return;
    }
    const InitValues& v = init.values;
    Label1->setText(v.header[0]);
    Label2->setText(v.header[1]);
    Label3->setText(v.header[2]);
    int layoutHeight = kLayoutTopTwips;
    for (int i = 0; i < v.steps.size(); ++i) {
        StepLabel[i]->setText(v.steps[i]);
        layoutHeight += kStepRiseTwips;
    }
    Download_file = v.downloadFile;
    Download_length = v.downloadLength;
    End_message = v.endMessage;
    Download_caption = v.downloadCaption;
    initOk_ = true;

    Form_Height = static_cast<int16_t>(layoutHeight + 1000);
    setWindowTitle(QStringLiteral("Quarn Systems - Info"));
    for (QPushButton* b : {Continue, Cancel}) {
        const QRect g = b->geometry();
        b->move(g.x(), twipsToPixels(layoutHeight, logicalDpiY()));
    }
    fitLongTexts();
    setFixedSize(designSize());
}

QSize Form1::designSize() const {
    return QSize(twipsToPixels(kWidthTwips - kFrameWidthTwips, logicalDpiX()),
                 twipsToPixels(Form_Height - kFrameHeightTwips, logicalDpiY()) + grownBy_);
}

void Form1::fitLongTexts() {
    // A text wider than its label wraps; the label grows to hold its lines and
    // everything below it (the later labels, the buttons, the window's
    // bottom) moves down as much. Texts that fit change nothing.
    int shift = 0;
    QList<QLabel*> labels{HeaderLabel, Label1, Label2, Label3};
    for (QLabel* l : StepLabel) labels << l;
    for (QLabel* l : labels) {
        if (shift) l->move(l->x(), l->y() + shift);
        if (l->text().isEmpty() || l->fontMetrics().horizontalAdvance(l->text()) <= l->width())
            continue;
        l->setWordWrap(true);
        const int needed = l->heightForWidth(l->width());
        if (needed <= l->height()) continue;
        shift += needed - l->height();
        l->resize(l->width(), needed);
    }
    // Up to the screen's height.
    if (const QScreen* s = screen()) {
        const int room =
            s->availableGeometry().height() - twipsToPixels(Form_Height, logicalDpiY());
        shift = qMin(shift, qMax(0, room));
    }
    grownBy_ = shift;
    for (QPushButton* b : {Continue, Cancel}) b->move(b->x(), b->y() + shift);
}

void Form1::Form_Resize() {
    if (Form_Height > 0 && size() != designSize()) resize(designSize());
}

void Form1::closeEvent(QCloseEvent* event) {
    // The close box unloads the window like Cancel; Unload hides it.
    event->ignore();
    Unload();
}

void Form1::Continue_Click() {
    hide();
    emit continueRequested();
}

void Form1::Cancel_Click() { Unload(); }

}  // namespace quarn
