// The download session as the window runs it: the guard, the port check and
// the monitors, then the session engine, whose steps this window reports on
// the message line, the link indicator and in message boxes.

#include <QLabel>
#include <QPushButton>

#include "core/globals.h"
#include "core/message_box.h"
#include "link/port_advice.h"
#include "session/form24.h"

namespace quarn {

namespace {
const QString kInfo = QStringLiteral("INFO!");
const QString kHandshakeError =
    QStringLiteral("Handshake Error! - Please check connection and retry.");
const QString kLoginError = QStringLiteral("Login Error! - Please check connection and retry.");
const QString kStopped = QStringLiteral("Download procedure have been stopped! ");
}  // namespace

QString Form24::whyFailed(LinkResult r) const {
    if (r != LinkResult::Stopped) return link.failureText(r);
    QString text = QStringLiteral("Stopped by you");
    if (link.stage == LinkStage::Transfer && link.blockNumber > 0)
        text += QStringLiteral(" at block %1 of %2").arg(link.blockNumber).arg(link.blockTotal);
    return text + QLatin1Char('.');
}

void Form24::reportFailure(const QString& prompt, int style, const QString& informative) {
    MsgBox(prompt, style, kInfo, informative);
    // The window is closing: nothing more is shown.
    if (Program_end) return;
    // Once the box is gone, the message line still says what happened, and
    // Reload is the way on.
    showMessage(prompt);
    ReloadCommand->setEnabled(true);
    Download_start = false;
}

void Form24::endBeforeStart() {
    Download_start = false;
    ReloadCommand->setEnabled(true);
}

void Form24::Start_Download() {
    BusyScope busy;
    ReloadCommand->setEnabled(false);
    setWindowTitle(Download_caption);
    if (Download_start) return;
    link.clearMonitors();
    Download_start = true;

    if (Com_port == 0) {
        MsgBox(QStringLiteral("Please select com port under Link Status."), kStyleInformation,
               kInfo);
        Download_start = false;
        return;
    }
    link.Program_kill = false;

    SessionRequest request;
    request.comPort = Com_port;
    request.filePath = Download_file;
    request.downloadLength = Download_length;
    runSession(link, File1, request, *this);
}

void Form24::fileRefused(const QString& why) {
    MsgBox(why, kStyleExclamation, kInfo);
    endBeforeStart();
}

void Form24::noPortNumber() {
    MsgBox(QStringLiteral("No com port selected."), kStyleNone, QStringLiteral("ERROR!"));
}

void Form24::portFailed(const QString& why) {
    MsgBox(why, kStyleExclamation, QStringLiteral("ERROR!"),
           explainPortFailure(link.MSComm1.deviceName(), link.MSComm1.errorString(),
                              link.MSComm1.fault()));
    if (Program_end) return;
    setIndicator(kIndicatorFailure);
    endBeforeStart();
}

void Form24::handshakeFailed(LinkResult r) {
    setIndicator(kIndicatorFailure);
    reportFailure(kHandshakeError, kStyleInformation, whyFailed(r));
}

void Form24::handshakeOk() { showMessage(QStringLiteral("Unit handshake ok.")); }

void Form24::loginFailed(LinkResult r) {
    setIndicator(kIndicatorFailure);
    reportFailure(kLoginError, kStyleInformation, whyFailed(r));
}

void Form24::loginOk() {
    showMessage(QStringLiteral("Unit ready for download."));
    setIndicator(kIndicatorReady);
    showMessage(QStringLiteral("Unit download in progres."));
}

void Form24::transferFailed(LinkResult r) {
    if (r == LinkResult::Closing) {
        Download_start = false;
        return;
    }
    reportFailure(kStopped, kStyleNone,
                  whyFailed(r) + QStringLiteral("\nThe unit now holds an incomplete program: "
                                                "download it again before use."));
}

void Form24::good() {
    showMessage(QStringLiteral("Programming end and no error found."));
    MsgBox(End_message, kStyleNone, kInfo);
    Unload();
}

}  // namespace quarn
