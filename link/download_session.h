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

#include "link/download_link.h"

namespace quarn {

enum class SessionOutcome { Good, Input, Port, Handshake, Login, Transfer, Interrupted };

class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void fileRefused(const QString& why) { Q_UNUSED(why); }
    // The COM number was outside 1..4; the session goes on regardless (and
    // its handshake then fails on the closed port).
    virtual void noPortNumber() {}
    virtual void portFailed(const QString& why) { Q_UNUSED(why); }
    virtual void handshakeFailed(LinkResult r) { Q_UNUSED(r); }
    virtual void handshakeOk() {}
    virtual void loginFailed(LinkResult r) { Q_UNUSED(r); }
    virtual void loginOk() {}
    // The file is already closed when this is called.
    virtual void transferFailed(LinkResult r) { Q_UNUSED(r); }
    virtual void good() {}
};

// What one session loads, and where.
struct SessionRequest {
    int16_t comPort = 0;  // COM1..COM4; used when device is empty
    QString device;       // a device path, or empty
    QString filePath;     // the download file
    int16_t downloadLength = 0;
    QByteArray image;  // the file's bytes when read already (readDownloadImage); empty: read here
};

// Opens the download file and checks that it holds every byte the transfer
// takes from it (a missing or short file would otherwise go out as zeros and
// be reported as a good download). False, with the reason, when it does not.
bool openDownloadFile(QFile& file, const QString& path, int16_t downloadLength, QString* why);

// Reads the bytes of path that a transfer of downloadLength takes (at most
// the whole blocks it sends) into *image. False, with the reason, when the
// file is missing, short or cannot be read.
bool readDownloadImage(const QString& path, int16_t downloadLength, QByteArray* image,
                       QString* why);

// Runs the session on link (ticker started, Program_kill cleared by the
// caller). Unless request.image holds it, the image is read through file,
// which is closed again before the port opens.
SessionOutcome runSession(DownloadLink& link, QFile& file, const SessionRequest& request,
                          SessionObserver& observer);

}  // namespace quarn
