#pragma once
// The download window. It owns the serial port (link.MSComm1), the two
// timers, the session flags and the monitors (all in link), the download file
// while a session runs (File1), and runs one download session per call of
// Start_Download, on the session engine that quarn-flash runs too.
//
// Lifetime: loaded hidden by the start-up window's Continue, shown by the
// port-selection window's Continue. Unloading it (Exit, Help > Exit, the close
// box, or a good download) stops a running exchange, closes the port and asks
// (unloadingOthers) for the other windows to be unloaded; the program then
// ends. The object is not freed while a session is on the stack.

#include <QFile>
#include <QMainWindow>

#include "link/download_link.h"
#include "link/download_session.h"
#include "ui/form_registry.h"
#include "ui/ui_util.h"

class QAction;
class QLabel;
class QPushButton;
class QRadioButton;

namespace quarn {

// Back colours of StatusPanel(0..2) for each setting of the link indicator.
struct IndicatorColors {
    uint32_t off, on, error;
};
constexpr IndicatorColors kIndicatorAtLoad{0x000000FFu, 0x00008000u, 0x000000C0u};
constexpr IndicatorColors kIndicatorReady{0x000000C0u, 0x0000C000u, 0x000000C0u};
constexpr IndicatorColors kIndicatorFailure{0x000000C0u, 0x00008000u, 0x000000FFu};

// The box after a session that did not end good, made from its result: the
// prompt names the step that failed (handshake, login, or the transfer, whose
// box also says the unit holds an incomplete program); the informative text
// says why, a stop in the user's words ("Stopped by you at block k of N.").
struct FailureBox {
    QString prompt;
    int style = 0;
    QString informative;
};
FailureBox failureBox(const SessionResult& r);

class Form24 : public FixedSizeWindow<QMainWindow>, public FormLifecycle, private SessionObserver {
    Q_OBJECT
public:
    Form24();
    ~Form24() override;

    void load();
    QWidget* window() override { return this; }

    // Runs one download session; returns when it has ended. A good download
    // unloads this window and so ends the program.
    void Start_Download();

    DownloadLink link;
    QFile File1;
    // How the last session ended (a default result before the first).
    const SessionResult& lastResult() const { return lastResult_; }
    bool Download_start = false;

    QLabel* Label2 = nullptr;
    QLabel* Label31 = nullptr;
    QLabel* Label30 = nullptr;
    QLabel* Label35 = nullptr;
    QLabel* Label36 = nullptr;
    QLabel* Label38 = nullptr;
    QLabel* Label44 = nullptr;
    QLabel* TransmitblockLabel = nullptr;
    QLabel* LastTransmitblockLabel = nullptr;
    QLabel* TransmitCounterLabel = nullptr;
    QLabel* RecieveblockLabel = nullptr;
    QLabel* LastRecieveblockLabel = nullptr;
    QLabel* RecieveCounterLabel = nullptr;
    Panel3D* SSPanel1 = nullptr;
    Panel3D* SSPanel11 = nullptr;
    Panel3D* SSPanel12 = nullptr;
    Panel3D* SSPanel13 = nullptr;
    Panel3D* StatusPanel[3] = {};
    QRadioButton* Com_select[4] = {};
    QPushButton* StopCommand = nullptr;
    QPushButton* ReloadCommand = nullptr;
    QPushButton* ExitCommand = nullptr;
    QAction* mnu_help_info = nullptr;
    QAction* mnu_help_line1 = nullptr;
    QAction* mnu_help_exit = nullptr;

    void ExitCommand_Click();
    void mnu_help_exit_Click();
    void mnu_help_info_Click();
    void ReloadCommand_Click();
    void StopCommand_Click();

    // Where the design puts each control: kind, object name, parent panel
    // (empty: the client area), caption, and twips within the parent. The
    // window is built from this table.
    enum class ControlKind { Panel, Label, Option, Indicator, Button };
    struct ControlPlace {
        ControlKind kind;
        QString name;
        QString parent;
        QString caption;
        QRect twips;
    };
    static QList<ControlPlace> designLayout();

    // The window's outer size in pixels, which Form_Resize restores.
    QSize designSize() const;

    // The serial port, which the port-selection window tests a choice on.
    SerialPort& port() { return link.MSComm1; }
    // The Help > Info check mark: whether the Info window is open.
    void setInfoChecked(bool checked);

signals:
    // Form_Unload's turn to unload the other windows: the Info window (when
    // infoOpen), then the start-up and the port-selection windows.
    void unloadingOthers(bool infoOpen);
    // Help > Info: show the Info window, or bring the open one back.
    void showInfoRequested();
    void raiseInfoRequested();
    // The transfer's bad-reply exit: the Info and start-up windows go.
    void badReplyUnloadRequested();

protected:
    void Form_Load();
    void Form_Resize() override;
    void Form_Unload(int& Cancel) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void wireControls();
    void buildMenu();
    void applyMonitor();
    void setIndicator(const IndicatorColors& colors);
    void onBadReply();
    // Ends a session that never reached the unit: Reload back, no session running.
    void endBeforeStart();
    bool imageMayBeSent(SessionRequest& request);
    // A session that did not succeed: the box (failureBox()), then the message
    // line names the outcome and Reload is enabled.
    void reportFailure(const SessionResult& r);
    // Sets the message line; a text longer than the line wraps and the line grows
    // within its panel, a text that fits shows on the line as designed.
    void showMessage(const QString& text);
    QRect label2Design_;

    // What the session engine reports, shown the window's way.
    void fileRefused(const SessionResult& r) override;
    void noPortNumber() override;
    void portFailed(const SessionResult& r) override;
    void handshakeFailed(const SessionResult& r) override;
    void handshakeOk() override;
    void loginFailed(const SessionResult& r) override;
    void loginOk() override;
    void transferFailed(const SessionResult& r) override;
    void good() override;

    QWidget* client_ = nullptr;
    SessionResult lastResult_;
};

}  // namespace quarn
