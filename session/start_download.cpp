// The download session as the window runs it: the guard, the port check and
// the monitors, then the session engine, whose steps this window reports on
// the message line, the link indicator and in message boxes.

#include <QFutureWatcher>
#include <QLabel>
#include <QPushButton>

#include "approval/gate_read.h"
#include "approval/image_gate.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "ports/port_advice.h"
#include "session/form24.h"
#include "ui/globals.h"

namespace quarn {

namespace {
const QString kInfo = QStringLiteral("INFO!");
const QString kHandshakeError =
    QStringLiteral("Handshake Error! - Please check connection and retry.");
const QString kLoginError = QStringLiteral("Login Error! - Please check connection and retry.");
const QString kStopped = QStringLiteral("Download procedure have been stopped! ");
}  // namespace

FailureBox failureBox(const SessionResult& r) {
    QString why = r.reasonText;
    if (r.reason == SessionReason::Stopped) {
        // A stop here is the user's Cancel.
        why = QStringLiteral("Stopped by you");
        if (r.stage == LinkStage::Transfer && r.block > 0)
            why += QStringLiteral(" at block %1 of %2").arg(r.block).arg(r.total);
        why += QLatin1Char('.');
    }
    switch (r.stage) {
        case LinkStage::Idle:
        case LinkStage::QuietLine:
        case LinkStage::Handshake:
            return {kHandshakeError, kStyleInformation, why};
        case LinkStage::Pause:
        case LinkStage::Login:
            return {kLoginError, kStyleInformation, why};
        case LinkStage::Transfer:
        case LinkStage::Done:
            break;
    }
    return {kStopped, kStyleNone,
            why + QStringLiteral("\nThe unit now holds an incomplete program: "
                                 "download it again before use.")};
}

void Form24::reportFailure(const SessionResult& r) {
    const FailureBox box = failureBox(r);
    MsgBox(box.prompt, box.style, kInfo, box.informative);
    // The window is closing: nothing more is shown.
    if (Program_end) return;
    // Once the box is gone, the message line still says what happened, and
    // Reload is the way on.
    showMessage(box.prompt);
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
    SessionRequest request;
    request.comPort = Com_port;
    request.image = DownloadImage(Download_file, Download_length, Download_caption);
    if (!imageMayBeSent(request)) return endBeforeStart();
    SessionLink session(link);  // the session engine sees the window's link through this
    lastResult_ = runSession(session, File1, request, *this);
}

// With the approved list required by the settings, the image is read here
// and its sha256 looked up before the port opens; the session then sends
// exactly the bytes that were checked. An image that cannot be read cannot be
// checked, so nothing is sent. The lookup runs off this thread while the
// window goes on answering; Stop or closing the window meanwhile ends it
// without a box (the lookup is left to end by itself).
bool Form24::imageMayBeSent(SessionRequest& request) {
    if (!approval::approvalRequired()) return true;
    QString why;
    if (!request.image.read(&why)) {
        MsgBox(why, kStyleExclamation, QStringLiteral("ERROR!"),
               QStringLiteral("Nothing was sent: an image that cannot be read cannot be "
                              "checked against the approved list."));
        return false;
    }
    const ImageIdentity image = request.image.identity();
    QFutureWatcher<approval::ImageGate> reading;
    reading.setFuture(approval::readImageGate(
        true, image, resolvedSetting(SettingKey::RecordsDatabase).toString()));
    link.beginSession();  // a Stop from here on calls the download off
    while (!reading.isFinished() && !Program_end && !link.Program_kill) link.yield();
    if (!reading.isFinished()) return false;
    const approval::ImageGate gate = reading.result();
    if (gate.allowed()) return true;
    MsgBox(approval::imageRefusalText(image, gate), kStyleExclamation, QStringLiteral("ERROR!"),
           QStringLiteral("Nothing was sent. Image: ") + approval::imageLineText(image, gate));
    return false;
}

void Form24::fileRefused(const SessionResult& r) {
    MsgBox(r.reasonText, kStyleExclamation, kInfo);
    endBeforeStart();
}

void Form24::noPortNumber() {
    MsgBox(QStringLiteral("No com port selected."), kStyleNone, QStringLiteral("ERROR!"));
}

void Form24::portFailed(const SessionResult& r) {
    MsgBox(r.reasonText, kStyleExclamation, QStringLiteral("ERROR!"),
           explainPortFailure(r.device, r.detail, r.portFault));
    if (Program_end) return;
    setIndicator(kIndicatorFailure);
    endBeforeStart();
}

void Form24::handshakeFailed(const SessionResult& r) {
    setIndicator(kIndicatorFailure);
    reportFailure(r);
}

void Form24::handshakeOk() { showMessage(QStringLiteral("Unit handshake ok.")); }

void Form24::loginFailed(const SessionResult& r) {
    setIndicator(kIndicatorFailure);
    reportFailure(r);
}

void Form24::loginOk() {
    showMessage(QStringLiteral("Unit ready for download."));
    setIndicator(kIndicatorReady);
    showMessage(QStringLiteral("Unit download in progres."));
}

void Form24::transferFailed(const SessionResult& r) {
    // The window is closing: nothing is shown.
    if (Program_end) {
        Download_start = false;
        return;
    }
    reportFailure(r);
}

void Form24::good() {
    showMessage(QStringLiteral("Programming end and no error found."));
    MsgBox(End_message, kStyleNone, kInfo);
    Unload();
}

}  // namespace quarn
