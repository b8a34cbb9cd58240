#include "link/download_session.h"

#include <QBuffer>
#include <QCoreApplication>

namespace quarn {

namespace {

// The explanations are made twice: in English for the record, so that every
// station's records read alike (the plant's reports find the block in them),
// and in the operator's language for the screen.
QString say(const char* source, bool shown) {
    return shown ? QCoreApplication::translate("DownloadSession", source)
                 : QString::fromUtf8(source);
}

// "at block k of N" while blocks go out, else nothing.
QString atBlock(const SessionResult& r, bool shown) {
    return r.stage == LinkStage::Transfer && r.block > 0
               ? say(QT_TRANSLATE_NOOP("DownloadSession", " at block %1 of %2"), shown)
                     .arg(r.block)
                     .arg(r.total)
               : QString();
}

SessionReason reasonOf(const SessionLink& link, LinkResult exchange) {
    switch (exchange) {
        case LinkResult::Ok:
            return SessionReason::None;
        case LinkResult::Stopped:
        case LinkResult::Closing:
            return SessionReason::Stopped;
        case LinkResult::WrongReply:
            return link.refusedTooOften() ? SessionReason::RefusedTooOften
                                          : SessionReason::WrongReply;
        case LinkResult::NoReply:
            break;
    }
    return link.portLost() ? SessionReason::PortLost : SessionReason::NoReply;
}

// The reason in words, from its code and the session's figures.
QString reasonText(const SessionLink& link, const SessionResult& r, bool shown) {
    const QString at = atBlock(r, shown);
    switch (r.reason) {
        case SessionReason::None:
            return QString();
        case SessionReason::FileRefused:
            return r.detail;
        case SessionReason::PortFailed:
            return say(QT_TRANSLATE_NOOP("DownloadSession", "Cannot open %1: %2"), shown)
                .arg(r.port, r.detail);
        case SessionReason::Stopped:
            return say(QT_TRANSLATE_NOOP("DownloadSession", "The download was stopped%1."), shown)
                .arg(at);
        case SessionReason::RefusedTooOften:
            return say(QT_TRANSLATE_NOOP("DownloadSession",
                                         "The unit refused block %1 of %2 %3 times in a row."),
                       shown)
                .arg(r.block)
                .arg(r.total)
                .arg(link.maxRepeats());
        case SessionReason::WrongReply:
            return say(QT_TRANSLATE_NOOP("DownloadSession",
                                         "The unit refused or answered wrongly%1 (last reply %2)."),
                       shown)
                .arg(at, r.lastReply);
        case SessionReason::PortLost:
            return say(QT_TRANSLATE_NOOP("DownloadSession", "The port was lost%1: %2."), shown)
                .arg(at, r.detail);
        case SessionReason::NoReply:
            break;
    }
    return say(QT_TRANSLATE_NOOP("DownloadSession", "No reply from the unit within %1 s%2."), shown)
        .arg(QString::number(link.timeoutSeconds(), 'g', 3), at);
}

// One session's run: the steps in order, each filling the one result.
class Session {
public:
    Session(SessionLink& link, QFile& file, const SessionRequest& request,
            SessionObserver& observer)
        : link_(link), file_(file), request_(request), observer_(observer) {
        r_.port = request.device.isEmpty() ? QStringLiteral("COM%1").arg(request.comPort)
                                           : request.device;
    }
    SessionResult run();

private:
    bool loadImage();
    bool openPort();
    bool handshake();
    bool login();
    void transfer();
    // Fills the result from the link after an exchange; false when it failed.
    bool settle(LinkResult exchange, record::SessionOutcome failed);
    void end(record::SessionOutcome outcome, SessionReason reason,
             const QString& detail = QString());

    SessionLink& link_;
    QFile& file_;
    const SessionRequest& request_;
    SessionObserver& observer_;
    DownloadImage image_;
    SessionResult r_;
};

void Session::end(record::SessionOutcome outcome, SessionReason reason, const QString& detail) {
    const SessionProgress p = link_.progress();
    r_.stage = p.stage;
    r_.block = p.block;
    r_.total = p.total;
    r_.blocksSent = static_cast<int>(p.bytes / 64);
    r_.repeats = p.repeats;
    r_.bytes = p.bytes;
    r_.sha256 = link_.sentDigest();
    r_.lastReply = link_.lastReply();
    // A stop ends every step that had not ended good: the record says so.
    const bool stopped =
        outcome != record::SessionOutcome::Good && (link_.stopRequested() || link_.closing());
    r_.outcome = stopped ? record::SessionOutcome::Interrupted : outcome;
    r_.reason = stopped ? SessionReason::Stopped : reason;
    r_.detail = detail;
    if (reason == SessionReason::PortLost) {
        r_.detail = link_.portError();
        r_.portFault = link_.portFault();
    }
    r_.reasonText = reasonText(link_, r_, false);
    r_.reasonShown = reasonText(link_, r_, true);
}

bool Session::settle(LinkResult exchange, record::SessionOutcome failed) {
    const bool ok = exchange == LinkResult::Ok;
    end(ok ? record::SessionOutcome::Good : failed, reasonOf(link_, exchange));
    return ok;
}

bool Session::loadImage() {
    image_ = request_.image;
    QString why;
    if (image_.isRead() || image_.read(file_, &why)) {
        r_.imageSha256 = image_.sha256();
        return true;
    }
    end(record::SessionOutcome::Input, SessionReason::FileRefused, why);
    observer_.fileRefused(r_);
    return false;
}

// Opens the port the request names; false when the session ends here.
bool Session::openPort() {
    const SessionLink::OpenResult opened = request_.device.isEmpty()
                                               ? link_.openCom(request_.comPort)
                                               : link_.openDevice(request_.device);
    if (opened == SessionLink::OpenResult::NoPortNumber) observer_.noPortNumber();
    if (opened != SessionLink::OpenResult::Failed) return true;
    r_.device = link_.deviceName();
    r_.portFault = link_.portFault();
    end(record::SessionOutcome::Port, SessionReason::PortFailed, link_.portError());
    observer_.portFailed(r_);
    return false;
}

// After a failed handshake or login the port and the file are closed. The
// owner closing ends the session with nothing more shown or touched.
bool Session::handshake() {
    const LinkResult exchange = link_.handshake();
    if (settle(exchange, record::SessionOutcome::Handshake)) return observer_.handshakeOk(), true;
    if (exchange == LinkResult::Closing) return false;
    observer_.handshakeFailed(r_);
    link_.closePort();
    return false;
}

bool Session::login() {
    // The pause ends early on a stop; the login then sees the stop at once.
    if (link_.pause() == LinkResult::Closing) {
        settle(LinkResult::Closing, record::SessionOutcome::Login);
        return false;
    }
    const LinkResult exchange = link_.login();
    if (settle(exchange, record::SessionOutcome::Login)) return observer_.loginOk(), true;
    if (exchange == LinkResult::Closing) return false;
    observer_.loginFailed(r_);
    link_.closePort();
    return false;
}

void Session::transfer() {
    QByteArray data = image_.bytes();
    QBuffer bytes(&data);
    bytes.open(QIODevice::ReadOnly);
    const LinkResult exchange = link_.transfer(bytes, image_.length());
    if (settle(exchange, record::SessionOutcome::Transfer)) return observer_.good();
    observer_.transferFailed(r_);
}

SessionResult Session::run() {
    link_.beginSession();
    if (!loadImage() || !openPort()) return r_;
    link_.resetCounters();
    if (handshake() && login()) transfer();
    file_.close();
    return r_;
}

}  // namespace

SessionResult runSession(SessionLink& link, QFile& file, const SessionRequest& request,
                         SessionObserver& observer) {
    return Session(link, file, request, observer).run();
}

}  // namespace quarn
