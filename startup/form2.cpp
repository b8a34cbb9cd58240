#include "startup/form2.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "core/message_box.h"
#include "link/serial_port.h"
#include "ports/port_advice.h"
#include "ports/port_commands.h"
#include "ui/globals.h"
#include "ui/ui_util.h"

namespace quarn {

namespace {
constexpr uint32_t kLightGreen = 0x0080FF80u;
constexpr uint32_t kBlack = 0x00000000u;
constexpr uint32_t kMenuBar = 0x80000004u;

const QString kSelectPort = QStringLiteral("Select the operational port");
const QString kSelectValid = QStringLiteral("Please select a valid port.");
}  // namespace

QRadioButton* Form2::makeOption(int i) {
    const int left[4] = {360, 360, 1800, 1800};
    const int top[4] = {960, 1320, 960, 1380};
    const int width[4] = {912, 915, 915, 915};
    auto* option = new QRadioButton(QStringLiteral("Com%1").arg(i + 1), SSPanel13);
    option->setObjectName(QStringLiteral("Com_select_%1").arg(i));
    placeTwips(option, left[i], top[i], width[i], 240);
    option->setFont(systemBoldFont());
    setBackColor(option, kMenuBar);
    // A choice is tested when the button becomes checked, however that
    // happens (a click, the arrow keys, an accessibility tool's toggle),
    // and when an already checked button is clicked again. The clearing
    // in beginChoice only unchecks, so it never tests.
    connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
        if (on) Com_select_Click(i);
    });
    // A click on the checked button toggles nothing: it is tested here.
    connect(option, &QRadioButton::pressed, this,
            [this, i, option] { checkedAtPress_ = option->isChecked() ? i : -1; });
    connect(option, &QRadioButton::clicked, this, [this, i] {
        const bool wasChecked = checkedAtPress_ == i;
        checkedAtPress_ = -1;
        if (wasChecked) Com_select_Click(i);
    });
    return option;
}

Form2::Form2() {
    setObjectName(QStringLiteral("Form2"));
    // Caption and close box, no minimise or maximise box; the title comes from
    // the start-up window's Continue.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    SSPanel13 = new Panel3D(this);
    SSPanel13->setObjectName(QStringLiteral("SSPanel13"));
    placeTwips(SSPanel13, 120, 120, 3132, 2592);
    SSPanel13->setAccessibleName(QStringLiteral("Port Selection"));

    LabelStyle status;
    status.back = kLightGreen;
    status.fore = kBlack;
    status.centred = true;
    status.border = true;
    status.font = arialFont(10.2);
    status.hasFont = true;
    Label30 =
        makeLabel(SSPanel13, QStringLiteral("Label30"), QString(), 120, 360, 2892, 252, status);

    for (int i = 0; i < 4; ++i) Com_select[i] = makeOption(i);

    Continue1 = new QPushButton(QStringLiteral("Continue"), SSPanel13);
    Continue1->setObjectName(QStringLiteral("Continue1"));
    placeTwips(Continue1, 780, 1920, 1452, 372);
    Continue1->setFont(arialFont(10.2));
    // Return and Enter press the focused button.
    Continue1->setAutoDefault(true);
    connect(Continue1, &QPushButton::clicked, this, &Form2::Continue1_Click);

    setTabOrder(Com_select[3], Com_select[2]);
    setTabOrder(Com_select[2], Com_select[1]);
    setTabOrder(Com_select[1], Com_select[0]);
    setTabOrder(Com_select[0], Continue1);

    setFixedSize(designSize());
}

void Form2::load() { markLoaded(); }

QSize Form2::designSize() const {
    return QSize(twipsToPixels(kWidthTwips - kFrameWidthTwips, logicalDpiX()),
                 twipsToPixels(kHeightTwips - kFrameHeightTwips, logicalDpiY()));
}

void Form2::beginChoice() {
    Label30->setText(kSelectPort);
    setWindowTitle(QStringLiteral("Quarn Systems - Port Selection"));
    Select_reset = true;
    // Option buttons of one group never uncheck each other; to leave none
    // chosen, the group has to be lifted while they are cleared. Clearing does
    // not raise Com_select_Click: that follows user clicks only.
    for (QRadioButton* option : Com_select) {
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
    }
    Com_port = 0;
    Select_reset = false;
    checkedAtPress_ = -1;
    // What each number leads to on this machine now.
    for (int i = 0; i < 4; ++i) {
        const QString what = describeCom(i + 1);
        Com_select[i]->setToolTip(what);
        Com_select[i]->setAccessibleDescription(what);
    }
}

void Form2::Com_select_Click(int Index) {
    if (Select_reset) {
        Select_reset = false;
        return;
    }
    BusyScope busy;
    SerialPort& port = portToTest_();
    if (port.portOpen()) {
        // A session holds the port: the choice is not applied.
        MsgBox(QStringLiteral("Do not chance com port under program download!"), kStyleExclamation,
               QStringLiteral("WARNING!"));
        return;
    }
    Com_port = static_cast<int16_t>(Index + 1);
    port.setCommPort(Com_port);
    const bool ok = port.setPortOpen(true);
    if (ok) port.setPortOpen(false);
    if (ok) {
        Port_valid = true;
        return;
    }
    // The box keeps its fixed prompt; the informative text gives the device,
    // why it was refused and what to do.
    const QString why = explainPortFailure(port.deviceName(), port.errorString(), port.fault());
    Com_select[Index]->setToolTip(why);
    Label30->setText(kSelectValid);
    Port_valid = false;
    MsgBox(QStringLiteral("Invalid port on this machine"), kStyleExclamation,
           QStringLiteral("ERROR!"), why);
    Label30->setText(kSelectPort);
}

void Form2::Continue1_Click() {
    BusyScope busy;
    if (Port_valid) {
        hide();
        // The whole session runs inside this call; when it returns this window
        // may already be unloaded (not freed yet), so nothing follows.
        emit continueRequested();
        return;
    }
    Label30->setText(kSelectValid);
    MsgBox(QStringLiteral("Invalid port on this machine"), kStyleExclamation,
           QStringLiteral("ERROR!"));
    Label30->setText(kSelectPort);
}

void Form2::Form_Resize() {
    if (size() != designSize()) resize(designSize());
}

void Form2::Form_Unload(int& Cancel) {
    // Only the download window's unload, at the end of the program, closes this one.
    if (!Program_end) Cancel = 1;
}

void Form2::closeEvent(QCloseEvent* event) {
    event->ignore();
    // Leaving the port window ends the program as Exit does; at the end of the
    // program the download window's unload closes this one.
    if (Program_end)
        Unload();
    else
        emit leaveRequested();
}

}  // namespace quarn
