// The download session: port check, download file, port, handshake, login,
// block transfer, and the outcome on the message line, the link indicator
// and in message boxes.

#include <QLabel>
#include <QPushButton>

#include "app/globals.h"
#include "app/message_box.h"
#include "session/form24.h"

namespace quarn {

namespace {
const QString kInfo = QStringLiteral("INFO!");
}

void Form24::endBeforeStart() {
    Download_start = false;
    ReloadCommand->setEnabled(true);
}

// The file must hold every byte the transfer takes from it; a missing or short
// file would otherwise go out as zeros and be reported as a good download.
bool Form24::checkDownloadFile() {
    File1.setFileName(Download_file);
    if (!File1.open(QIODevice::ReadOnly)) {
        MsgBox(QStringLiteral("Download file not found: %1").arg(Download_file), kStyleExclamation,
               kInfo);
        return false;
    }
    const qint64 needed = Download_length > 0 ? Download_length : 1;
    const qint64 held = File1.size();
    if (held < needed) {
        File1.close();
        MsgBox(QStringLiteral("Download file too short: %1 holds %2 bytes, %3 needed.")
                   .arg(Download_file)
                   .arg(held)
                   .arg(needed),
               kStyleExclamation, kInfo);
        return false;
    }
    return true;
}

void Form24::Start_Download() {
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

    if (!checkDownloadFile()) {
        endBeforeStart();
        return;
    }

    if (link.OpenCom() == DownloadLink::OpenResult::Failed) {
        MsgBox(QStringLiteral("Cannot open COM%1: %2").arg(Com_port).arg(link.MSComm1.errorString()),
               kStyleExclamation, QStringLiteral("ERROR!"));
        File1.close();
        if (Program_end) return;
        setIndicator(kIndicatorFailure);
        endBeforeStart();
        return;
    }
    link.Transmit_counter = 0;
    link.Recieve_counter = 0;

    link.SendHandshake();
    if (Program_end) return;
    if (link.Comm_Timeout || link.Program_kill) {
        setIndicator(kIndicatorFailure);
        MsgBox(QStringLiteral("Handshake Error! - Please check connection and retry."),
               kStyleInformation, kInfo);
        ReloadCommand->setEnabled(true);
        Download_start = false;
        link.MSComm1.setPortOpen(false);
        File1.close();
        return;
    }
    Label2->setText(QStringLiteral("Unit handshake ok."));

    link.Download_Delay();
    if (Program_end) return;
    link.SendPassWord();
    if (Program_end) return;
    if (link.Comm_Timeout || link.Program_kill) {
        setIndicator(kIndicatorFailure);
        MsgBox(QStringLiteral("Login Error! - Please check connection and retry."),
               kStyleInformation, kInfo);
        Download_start = false;
        link.MSComm1.setPortOpen(false);
        File1.close();
        return;
    }
    Label2->setText(QStringLiteral("Unit ready for download."));
    setIndicator(kIndicatorReady);
    Label2->setText(QStringLiteral("Unit download in progres."));

    link.SendFile(File1);
    File1.close();
    if (link.Program_kill || link.Comm_Timeout) {
        if (!Program_end) MsgBox(QStringLiteral("Download procedure have been stopped! "), kStyleNone, kInfo);
        Download_start = false;
        return;
    }

    Label2->setText(QStringLiteral("Programming end and no error found."));
    MsgBox(End_message, kStyleNone, kInfo);
    Unload();
}

}  // namespace quarn
