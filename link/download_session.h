#pragma once
// One download session, in the order every front end runs it: the download
// file checked and opened, the port opened, the quiet line and the handshake,
// the one-second pause, the login, the blocks, and the outcome. The download
// window and quarn-flash both run this; what differs is how each shows what
// happens, which is the observer's business.
//
// The observer is told each step's outcome at the moment the sequence reaches
// it, before the session itself closes the port or the file after a failure,
// so a window can keep its order of effects (indicator, box, buttons, then
// the port closed). A session whose owner is closing (link.closing()) ends at
// once, without telling the observer, as soon as an exchange returns.
//
// What is sent is the image: the download file's bytes read into memory once,
// before the port opens, so a file rewritten or failing during the transfer
// changes nothing on the wire, and the record's digest is of what was sent.
// The download file is closed on every way out.

#include <QFile>
#include <QString>
#include <cstdint>

#include "image/download_image.h"
#include "link/session_link.h"
#include "record/outcome.h"

namespace quarn {

// How a session ends (SessionOutcome) is the record's: record/outcome.h.

// Why a session did not end good, as a code; SessionResult::reasonText says it in words.
enum class SessionReason {
    None,
    FileRefused,      // the download file is missing, short or unreadable (detail: why)
    PortFailed,       // the port did not open (detail: the serial layer's reason)
    NoReply,          // no complete reply within the time-out period
    WrongReply,       // the unit refused or answered a wrong byte
    RefusedTooOften,  // a block refused maxRepeats times in a row
    PortLost,         // the port vanished (detail: the serial layer's reason)
    Stopped,          // a stop was requested
};

// Everything a front end shows or records of one session. Made by the
// engine only; the observer gets it as it stands at each step.
struct SessionResult {
    record::SessionOutcome outcome = record::SessionOutcome::Input;
    LinkStage stage = LinkStage::Idle;  // where it ended
    int block = 0;                      // the block being sent (1-based), 0 before the first
    int total = 0;                      // blocks the length makes
    int blocksSent = 0;                 // blocks sent, each once however often it went out
    int repeats = 0;                    // refused blocks sent again
    qint64 bytes = 0;                   // 64 per block sent
    QByteArray sha256;                  // raw SHA-256 of those bytes in order
    QByteArray
        imageSha256;    // raw SHA-256 of the whole image set out to send (empty before it is read)
    QString lastReply;  // the last reply, as the receive monitor showed it
    QString port;       // COMn or the device path, as requested
    QString device;     // the device it led to (empty when none)
    SessionReason reason = SessionReason::None;
    QString detail;  // the system's words behind the reason (file, port), else empty
    PortFault portFault = PortFault::None;  // PortFailed, PortLost: what the error codes said
    QString reasonText;   // the reason in English words, as records keep it ("" when good)
    QString reasonShown;  // the same in the operator's language, for the screen
    bool good() const { return outcome == record::SessionOutcome::Good; }
};

// Each step's news, at the moment the sequence reaches it. The result is the
// session as it stands then.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void fileRefused(const SessionResult& r) { Q_UNUSED(r); }
    // The COM number was outside 1..4; the session goes on regardless (and
    // its handshake then fails on the closed port).
    virtual void noPortNumber() {}
    virtual void portFailed(const SessionResult& r) { Q_UNUSED(r); }
    virtual void handshakeFailed(const SessionResult& r) { Q_UNUSED(r); }
    virtual void handshakeOk() {}
    virtual void loginFailed(const SessionResult& r) { Q_UNUSED(r); }
    virtual void loginOk() {}
    virtual void transferFailed(const SessionResult& r) { Q_UNUSED(r); }
    virtual void good() {}
};

// What one session loads, and where.
struct SessionRequest {
    int16_t comPort = 0;  // COM1..COM4; used when device is empty
    QString device;       // a device path, or empty
    DownloadImage image;  // what is sent; read here when it is not read already
};

// Runs the session on link (ticker started). A stop requested before this
// call is forgotten: each session starts unstopped. Unless request.image
// is read already, it is read through file, which is closed again before the
// port opens. A port left open by a failed transfer stays open (the window
// closes it on its next session or unload); after a failed handshake or login
// it is closed.
SessionResult runSession(SessionLink& link, QFile& file, const SessionRequest& request,
                         SessionObserver& observer);

}  // namespace quarn
