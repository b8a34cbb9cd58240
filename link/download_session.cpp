#include "link/download_session.h"

#include <QBuffer>

namespace quarn {

bool openDownloadFile(QFile& file, const QString& path, int16_t downloadLength, QString* why) {
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("Download file not found: %1").arg(path);
        return false;
    }
    const qint64 needed = downloadLength > 0 ? downloadLength : 1;
    const qint64 held = file.size();
    if (held < needed) {
        file.close();
        *why = QStringLiteral("Download file too short: %1 holds %2 bytes, %3 needed.")
                   .arg(path)
                   .arg(held)
                   .arg(needed);
        return false;
    }
    return true;
}

namespace {

bool readImage(QFile& file, const QString& path, int16_t downloadLength, QByteArray* image,
               QString* why) {
    if (!openDownloadFile(file, path, downloadLength, why)) return false;
    const qint64 needed = downloadLength > 0 ? downloadLength : 1;
    *image = file.read(qint64(DownloadLink::blocksFor(downloadLength)) * 64);
    const bool failed = file.error() != QFileDevice::NoError || image->size() < needed;
    if (failed)
        *why = QStringLiteral("Download file could not be read: %1: %2")
                   .arg(path, file.error() != QFileDevice::NoError
                                  ? file.errorString()
                                  : QStringLiteral("it ended after %1 bytes").arg(image->size()));
    file.close();
    return !failed;
}

}  // namespace

bool readDownloadImage(const QString& path, int16_t downloadLength, QByteArray* image,
                       QString* why) {
    QFile file;
    return readImage(file, path, downloadLength, image, why);
}

namespace {

// Opens the port the request names; false when the session ends here.
bool openPort(DownloadLink& link, const SessionRequest& request, SessionObserver& observer) {
    const DownloadLink::OpenResult opened =
        request.device.isEmpty() ? link.OpenCom(request.comPort) : link.OpenDevice(request.device);
    if (opened == DownloadLink::OpenResult::NoPortNumber) observer.noPortNumber();
    if (opened != DownloadLink::OpenResult::Failed) return true;
    const QString name =
        request.device.isEmpty() ? QStringLiteral("COM%1").arg(request.comPort) : request.device;
    observer.portFailed(QStringLiteral("Cannot open %1: %2").arg(name, link.MSComm1.errorString()));
    return false;
}

// After a failed handshake or login: the port and the file are closed.
SessionOutcome endAfterFailure(DownloadLink& link, QFile& file, SessionOutcome outcome) {
    link.MSComm1.setPortOpen(false);
    file.close();
    return outcome;
}

}  // namespace

SessionOutcome runSession(DownloadLink& link, QFile& file, const SessionRequest& request,
                          SessionObserver& observer) {
    QString why;
    QByteArray image = request.image;
    if (image.isEmpty() &&
        !readImage(file, request.filePath, request.downloadLength, &image, &why)) {
        observer.fileRefused(why);
        return SessionOutcome::Input;
    }
    if (!openPort(link, request, observer)) return SessionOutcome::Port;
    link.Transmit_counter = 0;
    link.Recieve_counter = 0;

    // The window closing ends the session with nothing more shown or touched
    // but the download file, which is closed on every way out.
    LinkResult r = link.SendHandshake();
    if (r == LinkResult::Closing) return file.close(), SessionOutcome::Interrupted;
    if (r != LinkResult::Ok) {
        observer.handshakeFailed(r);
        return endAfterFailure(link, file, SessionOutcome::Handshake);
    }
    observer.handshakeOk();

    if (link.Download_Delay() == LinkResult::Closing)
        return file.close(), SessionOutcome::Interrupted;
    r = link.SendPassWord();
    if (r == LinkResult::Closing) return file.close(), SessionOutcome::Interrupted;
    if (r != LinkResult::Ok) {
        observer.loginFailed(r);
        return endAfterFailure(link, file, SessionOutcome::Login);
    }
    observer.loginOk();

    QBuffer bytes(&image);
    bytes.open(QIODevice::ReadOnly);
    r = link.SendFile(bytes, request.downloadLength);
    if (r != LinkResult::Ok) {
        observer.transferFailed(r);
        return r == LinkResult::Closing ? SessionOutcome::Interrupted : SessionOutcome::Transfer;
    }
    observer.good();
    return SessionOutcome::Good;
}

}  // namespace quarn
