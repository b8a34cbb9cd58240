#pragma once
// The link as the session engine and the probes see it: a DownloadLink behind
// a narrow interface with private state. The names the download window's
// procedures read (MSComm1, Timer2, Comm_Timeout, Program_kill,
// Recieve_string, the counters, ...) stay public on DownloadLink for the
// window alone; code without a window (the session engine, the probes, the
// gang's units and lines) reaches the link only through this class.
//
// A SessionLink either owns its DownloadLink (a gang unit, a probe line) or
// borrows the download window's for the length of one session. It lives on
// one thread, the link's; only requestStop() may be called from another.
//
// Waits. The open-line probe (probeOpenLine, link/unit_probe.h) waits for its
// reply against a deadline (waitUntil). The exchanges (handshake(), pause(),
// login(), transfer()) keep the window's sequence: their time-out is counted
// in ticks of the link's ticker, the pause ends on the delay timer, and a
// stop arrives as an event, so each wait runs the link thread's event loop
// pass by pass, nested under whatever called it. On the download window's
// thread that is required: the window keeps answering its buttons and
// repainting its monitors during an exchange. A gang unit runs the same
// exchanges on its own thread, where the nested loop carries only the unit's
// own port, timers and stop. Serial data reaches the port only through the
// event loop, so even the deadline wait blocks in it until the next event
// (never spinning), the deadline's own timer being the last such event.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <memory>

#include "link/download_link.h"

class QIODevice;

namespace quarn {

class SessionLink {
public:
    using OpenResult = DownloadLink::OpenResult;

    // A link of its own, on the calling thread.
    SessionLink();
    // The window's link, borrowed: it must outlive this object.
    explicit SessionLink(DownloadLink& borrowed);
    ~SessionLink();
    SessionLink(const SessionLink&) = delete;
    SessionLink& operator=(const SessionLink&) = delete;

    // The owner's part: what tells that it is going away, where progress
    // goes, how often a block may be refused in a row (0 = never ends).
    void setClosing(std::function<bool()> closing);
    bool closing() const;
    void setOnProgress(std::function<void(const SessionProgress&)> onProgress);
    void setMaxRepeats(int n);
    int maxRepeats() const;
    void startTicker();

    // A new session: monitors and progress emptied, counters at zero, the
    // stop of a session before forgotten.
    void clearMonitors();
    void resetCounters();
    void beginSession();
    // Any thread: see DownloadLink::requestStop.
    void requestStop();
    bool stopRequested() const;

    // The port.
    OpenResult openCom(int16_t comPort);
    OpenResult openDevice(const QString& device);
    bool portOpen() const;
    void closePort();
    void flushInput();
    // Everything received and not yet taken.
    QByteArray takeInput();
    // Queues the bytes and hands them to the driver now.
    void write(const QByteArray& bytes);
    int bytesWaiting() const;
    bool portLost() const;
    QString portError() const;
    PortFault portFault() const;
    QString deviceName() const;

    // The exchanges, as DownloadLink's SendHandshake, Download_Delay,
    // SendPassWord and SendFile.
    LinkResult handshake();
    LinkResult pause();
    LinkResult login();
    LinkResult transfer(QIODevice& file, int16_t downloadLength);

    // Passes of the link thread's event loop until done() holds, the
    // deadline passes, a stop is requested or the owner is closing. True
    // when done() holds at the end.
    bool waitUntil(const std::function<bool()>& done, QDeadlineTimer deadline);

    // The exchanges' results.
    SessionProgress progress() const;
    QByteArray sentDigest() const;
    QString lastReply() const;
    bool refusedTooOften() const;
    double timeoutSeconds() const;

private:
    std::unique_ptr<DownloadLink> owned_;
    DownloadLink& link_;
};

}  // namespace quarn
