// The download session as the window runs it: the guard, the port check and
// the monitors, then the session engine, whose steps this window reports on
// the message line, the link indicator and in message boxes.

#include <QLabel>
#include <QPushButton>

#include "core/globals.h"
#include "core/message_box.h"
#include "session/form24.h"

namespace quarn {

namespace {
const QString kInfo = QStringLiteral("INFO!");
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
        MsgBox(QStringLiteral("Please select com port under Link Status."), kStyleInformation, kInfo);
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
    MsgBox(why, kStyleExclamation, QStringLiteral("ERROR!"));
    if (Program_end) return;
    setIndicator(kIndicatorFailure);
    endBeforeStart();
}

void Form24::handshakeFailed(LinkResult) {
    setIndicator(kIndicatorFailure);
    MsgBox(QStringLiteral("Handshake Error! - Please check connection and retry."),
           kStyleInformation, kInfo);
    ReloadCommand->setEnabled(true);
    Download_start = false;
}

void Form24::handshakeOk() { Label2->setText(QStringLiteral("Unit handshake ok.")); }

void Form24::loginFailed(LinkResult) {
    setIndicator(kIndicatorFailure);
    MsgBox(QStringLiteral("Login Error! - Please check connection and retry."), kStyleInformation,
           kInfo);
    Download_start = false;
}

void Form24::loginOk() {
    Label2->setText(QStringLiteral("Unit ready for download."));
    setIndicator(kIndicatorReady);
    Label2->setText(QStringLiteral("Unit download in progres."));
}

void Form24::transferFailed(LinkResult r) {
    if (r != LinkResult::Closing)
        MsgBox(QStringLiteral("Download procedure have been stopped! "), kStyleNone, kInfo);
    Download_start = false;
}

void Form24::good() {
    Label2->setText(QStringLiteral("Programming end and no error found."));
    MsgBox(End_message, kStyleNone, kInfo);
    Unload();
}

}  // namespace quarn
