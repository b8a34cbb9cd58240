#include "session/form24.h"

#include <QAction>
#include <QCloseEvent>
#include <QHash>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include "core/message_box.h"
#include "ports/port_map.h"
#include "ui/globals.h"
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

namespace {

// The controls as the design places them, in the order they are made.
enum class Look { None, Title, Line, Count, Caption };
struct Control {
    Form24::ControlKind kind;
    const char* name;
    const char* parent;  // a panel's name; nullptr: the window's client area
    const char* caption;
    int left, top, width, height;  // twips
    Look look;
};

const Control kControls[] = {
    {Form24::ControlKind::Panel, "SSPanel1", nullptr, nullptr, 240, 120, 4992, 1068, Look::None},
    {Form24::ControlKind::Label, "Label31", "SSPanel1", "Messages:", 180, 180, 4632, 312,
     Look::Title},
    {Form24::ControlKind::Label, "Label2", "SSPanel1", "Unit ready for download", 180, 600, 4632,
     288, Look::Line},
    {Form24::ControlKind::Panel, "SSPanel13", nullptr, nullptr, 8520, 1440, 2412, 1692, Look::None},
    {Form24::ControlKind::Panel, "SSPanel11", nullptr, nullptr, 240, 1320, 2412, 1692, Look::None},
    {Form24::ControlKind::Label, "LastTransmitblockLabel", "SSPanel11", " ", 180, 1260, 2055, 315,
     Look::Line},
    {Form24::ControlKind::Label, "TransmitCounterLabel", "SSPanel11", "0", 1140, 540, 1092, 252,
     Look::Count},
    {Form24::ControlKind::Label, "TransmitblockLabel", "SSPanel11", " ", 180, 960, 2055, 315,
     Look::Line},
    {Form24::ControlKind::Label, "Label38", "SSPanel11", "Blocks:", 180, 540, 855, 255,
     Look::Caption},
    {Form24::ControlKind::Label, "Label35", "SSPanel11", "Transmit Monitor", 120, 120, 2175, 315,
     Look::Title},
    {Form24::ControlKind::Panel, "SSPanel12", nullptr, nullptr, 2820, 1320, 2412, 1692, Look::None},
    {Form24::ControlKind::Label, "Label36", "SSPanel12", "Recieve Monitor", 120, 120, 2175, 315,
     Look::Title},
    {Form24::ControlKind::Label, "RecieveblockLabel", "SSPanel12", " ", 180, 960, 2055, 315,
     Look::Line},
    {Form24::ControlKind::Label, "LastRecieveblockLabel", "SSPanel12", "  ", 180, 1260, 2055, 315,
     Look::Line},
    {Form24::ControlKind::Label, "RecieveCounterLabel", "SSPanel12", "0", 1140, 540, 1095, 255,
     Look::Count},
    {Form24::ControlKind::Label, "Label44", "SSPanel12", "Blocks:", 120, 540, 855, 255,
     Look::Caption},
    {Form24::ControlKind::Label, "Label30", "SSPanel13", "Link Status", 120, 120, 2175, 315,
     Look::Title},
    {Form24::ControlKind::Option, "Com_select_0", "SSPanel13", "Com1", 240, 1020, 915, 240,
     Look::None},
    {Form24::ControlKind::Option, "Com_select_1", "SSPanel13", "Com2", 240, 1320, 915, 240,
     Look::None},
    {Form24::ControlKind::Option, "Com_select_2", "SSPanel13", "Com3", 1260, 1020, 915, 240,
     Look::None},
    {Form24::ControlKind::Option, "Com_select_3", "SSPanel13", "Com4", 1260, 1320, 915, 240,
     Look::None},
    {Form24::ControlKind::Indicator, "StatusPanel_0", "SSPanel13", "Off", 120, 540, 735, 375,
     Look::None},
    {Form24::ControlKind::Indicator, "StatusPanel_1", "SSPanel13", "On", 840, 540, 735, 375,
     Look::None},
    {Form24::ControlKind::Indicator, "StatusPanel_2", "SSPanel13", "Error", 1560, 540, 735, 375,
     Look::None},
    {Form24::ControlKind::Button, "StopCommand", nullptr, "Cancel", 1980, 3180, 1452, 372,
     Look::None},
    {Form24::ControlKind::Button, "ReloadCommand", nullptr, "Reload", 240, 3180, 1452, 372,
     Look::None},
    {Form24::ControlKind::Button, "ExitCommand", nullptr, "Exit", 3780, 3180, 1452, 372,
     Look::None},
};

LabelStyle styleOf(Look look) {
    switch (look) {
        case Look::Title:
            return labelStyle(kLightGreen, kBlack, true, true);
        case Look::Line:
            return labelStyle(kBlack, kYellow, false, true);
        case Look::Count:
            return labelStyle(kBlack, kYellow, true, false);
        case Look::Caption:
        case Look::None:
            break;
    }
    return labelStyle(kBlack, kWhite, true, false);
}

QWidget* makeControl(const Control& c, QWidget* parent) {
    const QString name = QString::fromLatin1(c.name), caption = QString::fromLatin1(c.caption);
    QWidget* w = nullptr;
    switch (c.kind) {
        case Form24::ControlKind::Label:
            return makeLabel(parent, name, caption, c.left, c.top, c.width, c.height,
                             styleOf(c.look));
        case Form24::ControlKind::Panel:
            return makePanel(parent, name, c.left, c.top, c.width, c.height);
        case Form24::ControlKind::Indicator:
            w = makePanel(parent, name, c.left, c.top, c.width, c.height, caption);
            setForeColor(w, caption == QLatin1String("On") ? kBlack : kWindowText);
            w->setAccessibleName(QStringLiteral("Link ") + caption);
            break;
        case Form24::ControlKind::Option:
            w = new QRadioButton(caption, parent);
            w->setFont(systemBoldFont());
            setBackColor(w, kPanelGrey);
            break;
        case Form24::ControlKind::Button:
            return makeButton(parent, name, caption, c.left);
    }
    w->setObjectName(name);
    placeTwips(w, c.left, c.top, c.width, c.height);
    // The Link Status controls lie outside the window: no Tab stop.
    w->setFocusPolicy(Qt::NoFocus);
    return w;
}

}  // namespace

QList<Form24::ControlPlace> Form24::designLayout() {
    QList<ControlPlace> places;
    for (const Control& c : kControls)
        places.append({c.kind, QString::fromLatin1(c.name),
                       c.parent ? QString::fromLatin1(c.parent) : QString(),
                       QString::fromLatin1(c.caption), QRect(c.left, c.top, c.width, c.height)});
    return places;
}

void Form24::buildControls() {
    QHash<QString, QWidget*> made;
    for (const Control& c : kControls)
        made.insert(QString::fromLatin1(c.name),
                    makeControl(c, c.parent ? made.value(QString::fromLatin1(c.parent)) : client_));
    auto label = [&](const char* name) { return static_cast<QLabel*>(made.value(name)); };
    auto panel = [&](const char* name) { return static_cast<Panel3D*>(made.value(name)); };
    auto button = [&](const char* name) { return static_cast<QPushButton*>(made.value(name)); };
    SSPanel1 = panel("SSPanel1"), SSPanel11 = panel("SSPanel11");
    SSPanel12 = panel("SSPanel12"), SSPanel13 = panel("SSPanel13");
    Label2 = label("Label2"), Label30 = label("Label30"), Label31 = label("Label31");
    Label35 = label("Label35"), Label36 = label("Label36"), Label38 = label("Label38");
    Label44 = label("Label44");
    TransmitblockLabel = label("TransmitblockLabel");
    LastTransmitblockLabel = label("LastTransmitblockLabel");
    TransmitCounterLabel = label("TransmitCounterLabel");
    RecieveblockLabel = label("RecieveblockLabel");
    LastRecieveblockLabel = label("LastRecieveblockLabel");
    RecieveCounterLabel = label("RecieveCounterLabel");
    for (int i = 0; i < 4; ++i)
        Com_select[i] =
            static_cast<QRadioButton*>(made.value(QStringLiteral("Com_select_%1").arg(i)));
    for (int i = 0; i < 3; ++i)
        StatusPanel[i] = panel(qPrintable(QStringLiteral("StatusPanel_%1").arg(i)));
    StopCommand = button("StopCommand"), ReloadCommand = button("ReloadCommand");
    ExitCommand = button("ExitCommand");
    label2Design_ = Label2->geometry();
    setIndicator(kIndicatorAtLoad);
    wireControls();
}

void Form24::wireControls() {
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
