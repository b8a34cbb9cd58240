#include "session/form24.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include "core/globals.h"
#include "core/message_box.h"
#include "ports/port_map.h"
#include "ui/ui_util.h"

namespace quarn {

namespace {
constexpr int kClientWidthTwips = 5520;
constexpr int kClientHeightTwips = 3864;
constexpr uint32_t kPanelGrey = 0x00C0D0D0u;
constexpr uint32_t kYellow = 0x0000FFFFu;
constexpr uint32_t kBlack = 0x00000000u;
constexpr uint32_t kWhite = 0x00FFFFFFu;
constexpr uint32_t kLightGreen = 0x0080FF80u;
constexpr uint32_t kWindowText = 0x80000008u;

LabelStyle labelStyle(uint32_t back, uint32_t fore, bool centred, bool border) {
    LabelStyle s;
    s.back = back;
    s.fore = fore;
    s.centred = centred;
    s.border = border;
    s.font = systemBoldFont();
    s.hasFont = true;
    return s;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, int left) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    placeTwips(b, left, 3180, 1452, 372);
    b->setFont(msSansSerifFont(13.8, false));
    setBackColor(b, kPanelGrey);
    // Return and Enter press the focused button.
    b->setAutoDefault(true);
    return b;
}

Panel3D* makePanel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                   const QString& caption = QString()) {
    auto* p = new Panel3D(parent, caption);
    p->setObjectName(name);
    placeTwips(p, left, top, width, height);
    return p;
}
}  // namespace

Form24::Form24() : link(this) {
    // The window program's COM numbers are the user's mapping.
    setComResolver(resolveComDevice);
    setObjectName(QStringLiteral("Form24"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("Form24Client"));
    setCentralWidget(client_);
    buildMenu();
    buildControls();
    link.onMonitor = [this] { applyMonitor(); };
    link.onBadReply = [this] { onBadReply(); };
    link.closing = [] { return Program_end; };
    setFixedSize(designSize());
}

Form24::~Form24() = default;

QSize Form24::designSize() const {
    const int w = twipsToPixels(kClientWidthTwips, logicalDpiX());
    const int h = twipsToPixels(kClientHeightTwips, logicalDpiY());
    return QSize(w, h + menuBar()->sizeHint().height());
}

void Form24::buildMenu() {
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnu_help"));
    mnu_help_info = help->addAction(QStringLiteral("&Info"));
    mnu_help_info->setObjectName(QStringLiteral("mnu_help_info"));
    mnu_help_info->setCheckable(true);
    mnu_help_line1 = help->addSeparator();
    mnu_help_line1->setObjectName(QStringLiteral("mnu_help_line1"));
    mnu_help_exit = help->addAction(QStringLiteral("&Exit"));
    mnu_help_exit->setObjectName(QStringLiteral("mnu_help_exit"));
    connect(mnu_help_info, &QAction::triggered, this, [this] {
        // A checkable action toggles itself before this runs; the check mark
        // means "Info window open", so undo the toggle and let the click decide.
        mnu_help_info->setChecked(!mnu_help_info->isChecked());
        mnu_help_info_Click();
    });
    connect(mnu_help_exit, &QAction::triggered, this, &Form24::mnu_help_exit_Click);
}

void Form24::buildControls() {
    QWidget* c = client_;
    SSPanel1 = makePanel(c, QStringLiteral("SSPanel1"), 240, 120, 4992, 1068);
    Label31 = makeLabel(SSPanel1, QStringLiteral("Label31"), QStringLiteral("Messages:"), 180, 180,
                        4632, 312, labelStyle(kLightGreen, kBlack, true, true));
    Label2 =
        makeLabel(SSPanel1, QStringLiteral("Label2"), QStringLiteral("Unit ready for download"),
                  180, 600, 4632, 288, labelStyle(kBlack, kYellow, false, true));
    label2Design_ = Label2->geometry();

    SSPanel13 = makePanel(c, QStringLiteral("SSPanel13"), 8520, 1440, 2412, 1692);
    SSPanel11 = makePanel(c, QStringLiteral("SSPanel11"), 240, 1320, 2412, 1692);
    LastTransmitblockLabel =
        makeLabel(SSPanel11, QStringLiteral("LastTransmitblockLabel"), QStringLiteral(" "), 180,
                  1260, 2055, 315, labelStyle(kBlack, kYellow, false, true));
    TransmitCounterLabel =
        makeLabel(SSPanel11, QStringLiteral("TransmitCounterLabel"), QStringLiteral("0"), 1140, 540,
                  1092, 252, labelStyle(kBlack, kYellow, true, false));
    TransmitblockLabel =
        makeLabel(SSPanel11, QStringLiteral("TransmitblockLabel"), QStringLiteral(" "), 180, 960,
                  2055, 315, labelStyle(kBlack, kYellow, false, true));
    Label38 = makeLabel(SSPanel11, QStringLiteral("Label38"), QStringLiteral("Blocks:"), 180, 540,
                        855, 255, labelStyle(kBlack, kWhite, true, false));
    Label35 = makeLabel(SSPanel11, QStringLiteral("Label35"), QStringLiteral("Transmit Monitor"),
                        120, 120, 2175, 315, labelStyle(kLightGreen, kBlack, true, true));

    SSPanel12 = makePanel(c, QStringLiteral("SSPanel12"), 2820, 1320, 2412, 1692);
    Label36 = makeLabel(SSPanel12, QStringLiteral("Label36"), QStringLiteral("Recieve Monitor"),
                        120, 120, 2175, 315, labelStyle(kLightGreen, kBlack, true, true));
    RecieveblockLabel =
        makeLabel(SSPanel12, QStringLiteral("RecieveblockLabel"), QStringLiteral(" "), 180, 960,
                  2055, 315, labelStyle(kBlack, kYellow, false, true));
    LastRecieveblockLabel =
        makeLabel(SSPanel12, QStringLiteral("LastRecieveblockLabel"), QStringLiteral("  "), 180,
                  1260, 2055, 315, labelStyle(kBlack, kYellow, false, true));
    RecieveCounterLabel =
        makeLabel(SSPanel12, QStringLiteral("RecieveCounterLabel"), QStringLiteral("0"), 1140, 540,
                  1095, 255, labelStyle(kBlack, kYellow, true, false));
    Label44 = makeLabel(SSPanel12, QStringLiteral("Label44"), QStringLiteral("Blocks:"), 120, 540,
                        855, 255, labelStyle(kBlack, kWhite, true, false));

    Label30 = makeLabel(SSPanel13, QStringLiteral("Label30"), QStringLiteral("Link Status"), 120,
                        120, 2175, 315, labelStyle(kLightGreen, kBlack, true, true));
    const int comLeft[4] = {240, 240, 1260, 1260};
    const int comTop[4] = {1020, 1320, 1020, 1320};
    for (int i = 0; i < 4; ++i) {
        Com_select[i] = new QRadioButton(QStringLiteral("Com%1").arg(i + 1), SSPanel13);
        Com_select[i]->setObjectName(QStringLiteral("Com_select_%1").arg(i));
        placeTwips(Com_select[i], comLeft[i], comTop[i], 915, 240);
        Com_select[i]->setFont(systemBoldFont());
        setBackColor(Com_select[i], kPanelGrey);
        // The Link Status controls lie outside the window: no Tab stop.
        Com_select[i]->setFocusPolicy(Qt::NoFocus);
    }
    const char* captions[3] = {"Off", "On", "Error"};
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = makePanel(SSPanel13, QStringLiteral("StatusPanel_%1").arg(i),
                                   120 + 720 * i, 540, 735, 375, QString::fromLatin1(captions[i]));
        setForeColor(StatusPanel[i], i == 1 ? kBlack : kWindowText);
        StatusPanel[i]->setFocusPolicy(Qt::NoFocus);
        StatusPanel[i]->setAccessibleName(
            QStringLiteral("Link %1").arg(QLatin1String(captions[i])));
    }
    setIndicator(kIndicatorAtLoad);

    StopCommand = makeButton(c, QStringLiteral("StopCommand"), QStringLiteral("Cancel"), 1980);
    ReloadCommand = makeButton(c, QStringLiteral("ReloadCommand"), QStringLiteral("Reload"), 240);
    ExitCommand = makeButton(c, QStringLiteral("ExitCommand"), QStringLiteral("Exit"), 3780);
    setTabOrder(StopCommand, ReloadCommand);
    setTabOrder(ReloadCommand, ExitCommand);
    // Names for assistive technology where a control's text says nothing.
    const std::pair<QWidget*, const char*> roles[] = {
        {SSPanel1, "Messages"},
        {SSPanel11, "Transmit Monitor"},
        {SSPanel12, "Recieve Monitor"},
        {SSPanel13, "Link Status"},
        {TransmitblockLabel, "Transmitted block"},
        {LastTransmitblockLabel, "Last transmitted block"},
        {TransmitCounterLabel, "Transmitted blocks"},
        {RecieveblockLabel, "Received block"},
        {LastRecieveblockLabel, "Last received block"},
        {RecieveCounterLabel, "Received blocks"},
    };
    for (const auto& [w, name] : roles) {
        w->setProperty("role", QString::fromLatin1(name));
        w->setAccessibleName(QString::fromLatin1(name));
    }
    connect(StopCommand, &QPushButton::clicked, this, &Form24::StopCommand_Click);
    connect(ReloadCommand, &QPushButton::clicked, this, &Form24::ReloadCommand_Click);
    connect(ExitCommand, &QPushButton::clicked, this, &Form24::ExitCommand_Click);
}

void Form24::load() {
    markLoaded();
    Form_Load();
}

void Form24::Form_Load() {
    Back_color = 0x80000004u;
    setBackColor(client_, Back_color);
    link.startTicker();
    link.Timeout_timer = 8;
    Download_start = false;
}

void Form24::Form_Resize() {
    if (size() != designSize()) resize(designSize());
}

void Form24::closeEvent(QCloseEvent* event) {
    // The close box unloads the window; hiding is Unload's business.
    event->ignore();
    Unload();
}

void Form24::Form_Unload(int& Cancel) {
    Q_UNUSED(Cancel);
    link.requestStop();
    Program_end = true;
    if (link.MSComm1.portOpen()) link.MSComm1.setPortOpen(false);
    emit unloadingOthers(mnu_help_info->isChecked());
}

void Form24::ExitCommand_Click() { Unload(); }

void Form24::mnu_help_exit_Click() { ExitCommand_Click(); }

void Form24::mnu_help_info_Click() {
    if (mnu_help_info->isChecked()) {
        emit raiseInfoRequested();
    } else {
        mnu_help_info->setChecked(true);
        emit showInfoRequested();
    }
}

void Form24::setInfoChecked(bool checked) { mnu_help_info->setChecked(checked); }

void Form24::ReloadCommand_Click() {
    BusyScope busy;
    MsgBox(QStringLiteral("Please repower the unit before you start loading again."),
           kStyleInformation, QStringLiteral("INFO!"));
    if (!isLoaded()) return;
    Start_Download();
}

void Form24::StopCommand_Click() {
    link.requestStop();
    ReloadCommand->setEnabled(true);
}

void Form24::showMessage(const QString& text) {
    Label2->setText(text);
    // The width never changes, so the contents width is the design's.
    if (Label2->fontMetrics().horizontalAdvance(text) <= Label2->contentsRect().width()) {
        Label2->setWordWrap(false);
        Label2->setGeometry(label2Design_);
        return;
    }
    // A longer text (the failure boxes' prompts) wraps; the line grows about
    // its centre into the room between the panel's title and its bottom.
    Label2->setWordWrap(true);
    const int top = Label31->geometry().bottom() + 2;
    const int bottom = SSPanel1->height() - 2;
    const int h =
        qBound(label2Design_.height(), Label2->heightForWidth(label2Design_.width()), bottom - top);
    const int y = qBound(top, label2Design_.center().y() - h / 2, bottom - h);
    Label2->setGeometry(label2Design_.x(), y, label2Design_.width(), h);
}

void Form24::applyMonitor() {
    const MonitorTexts& m = link.monitor;
    LastTransmitblockLabel->setText(m.lastTransmit);
    TransmitblockLabel->setText(m.transmit);
    TransmitCounterLabel->setText(m.transmitCount);
    LastRecieveblockLabel->setText(m.lastRecieve);
    RecieveblockLabel->setText(m.recieve);
    RecieveCounterLabel->setText(m.recieveCount);
    // A monitor's name carries its role and its value.
    for (QLabel* l : {LastTransmitblockLabel, TransmitblockLabel, TransmitCounterLabel,
                      LastRecieveblockLabel, RecieveblockLabel, RecieveCounterLabel})
        l->setAccessibleName(l->property("role").toString() + QStringLiteral(": ") + l->text());
}

void Form24::setIndicator(const IndicatorColors& colors) {
    setBackColor(StatusPanel[0], colors.off);
    setBackColor(StatusPanel[1], colors.on);
    setBackColor(StatusPanel[2], colors.error);
}

void Form24::onBadReply() {
    showMessage(QStringLiteral("Bad handshake signal. - Exit programming."));
    emit badReplyUnloadRequested();
}

}  // namespace quarn
