#pragma once
// The link to the unit: its serial port, the time-out ticker, the one-second
// delay, the session's flags and counters, the monitor texts, and the three
// exchanges (handshake, login, block transfer). The bytes, the waits and the
// time-outs of the exchanges are written down in docs/protocol.md. No widgets, no program
// globals: every input is handed in (the port, the download length, whether
// the owner is closing), and nothing here shows a message box. A window
// mirrors the monitor texts into its labels through onMonitor and does its
// part of the bad-reply exit through onBadReply.
//
// Outcome of each exchange: its return value, and the flags as the window
// reads them after it returns:
//   Comm_Timeout  true = the exchange failed (no complete reply in time, or a wrong reply)
//   Program_kill  true = a stop was requested (Cancel, or the owner closing)
//   both false    = success
// The flags and counters are public because the download window's
// procedures read them; only the link writes them. Code without a window
// (the session engine, the probes, the gang) uses SessionLink
// (link/session_link.h) instead, which keeps them private.
// Owners stop a session with requestStop(), from any thread; every wait (the
// exchanges' and the one-second pause) returns at the next pass of its loop.
// closing() tells that the owner is going away (the window unloading); the
// waits end then and touch neither the closed port nor the owner afterwards.
//
// Waits yield to the event loop on every pass and test the flags afterwards.
// A pass blocks until the next event (a tick, serial data, a click), so an
// idle wait costs no CPU; the ticker guarantees such an event. A link lives on
// one thread and its waits run that thread's events only, so several links
// on several threads run side by side without slowing one another.

#include <QByteArray>
#include <QCryptographicHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "link/serial_port.h"

class QIODevice;

namespace quarn {

// The ticker and delay intervals. Tests install a faster clock before the
// link is made; the programs keep the defaults.
struct LinkClock {
    int tickMs = 250;
    int delayMs = 1000;
};
void setLinkClock(const LinkClock& clock);
LinkClock linkClock();

// What the transmit and receive monitors show.
struct MonitorTexts {
    QString lastTransmit = QStringLiteral(" ");
    QString transmit = QStringLiteral(" ");
    QString transmitCount = QStringLiteral("0");
    QString lastRecieve = QStringLiteral("  ");
    QString recieve = QStringLiteral(" ");
    QString recieveCount = QStringLiteral("0");
};

// How an exchange ended.
enum class LinkResult {
    Ok,          // the unit answered as expected
    NoReply,     // no complete reply within the time-out period (or the port was lost)
    WrongReply,  // the unit answered with a wrong byte
    Stopped,     // a stop was requested
    Closing,     // the owner is closing
};

// Where the session stands, for progress displays.
enum class LinkStage { Idle, QuietLine, Handshake, Pause, Login, Transfer, Done };

// One progress event: where a session stands. Sent at each stage change, each
// refused block and each block answered.
struct SessionProgress {
    LinkStage stage = LinkStage::Idle;
    int block = 0;     // the block being sent (1-based), 0 before the first
    int total = 0;     // blocks the length makes
    int repeats = 0;   // refused blocks sent again
    qint64 bytes = 0;  // 64 per block sent, each block once however often it went out
    // Blocks the unit has answered: all sent once done, else those before this one.
    int answered() const {
        return stage == LinkStage::Done ? static_cast<int>(bytes / 64) : qMax(0, block - 1);
    }
};

// A byte value as the monitors show it: upper-case hexadecimal, no leading zero.
QString hexText(uint8_t value);

class DownloadLink : public QObject {
    Q_OBJECT
public:
    static const QByteArray kPassword;

    enum class OpenResult { Opened, NoPortNumber, Failed };

    explicit DownloadLink(QObject* parent = nullptr);

    SerialPort MSComm1;
    QTimer Timer2;
    QTimer DelayTimer;

    int16_t Timeout_timer = 8;
    int16_t Timeout_count = 0;
    bool Comm_Timeout = false;
    bool Program_kill = false;
    QString Transmit_string;
    QString Recieve_string;
    int16_t Checksum = 0;
    int32_t Transmit_counter = 0;
    // Wider than 16 bits: a unit that keeps refusing blocks may drive it
    // past 32767, and the monitor then goes on counting.
    int32_t Recieve_counter = 0;
    MonitorTexts monitor;

    // Progress of the transfer: the block being sent (1-based, 0 before the
    // first), how many the length makes, refused blocks sent again, and the
    // data of every block sent, each block once however often it went out.
    LinkStage stage = LinkStage::Idle;
    int blockNumber = 0;
    int blockTotal = 0;
    int repeats = 0;
    int blocksSent = 0;
    // A block refused this many times in a row ends the transfer as a wrong
    // reply, with nothing more sent (0 = never: the window keeps 0).
    int maxRepeats = 0;

    std::function<void()> onMonitor;   // monitor texts changed
    std::function<void()> onBadReply;  // bad-reply exit: the owner's message line and windows
    std::function<void(const SessionProgress&)> onProgress;  // see SessionProgress
    std::function<void()> yield;                             // one pass of the event loop
    std::function<bool()> closing;  // the owner is closing: waits end, nothing more is touched

    // Starts the time-out ticker; it runs until the link is destroyed.
    void startTicker();
    void Timer2_Timer();
    void DelayTimer_Timer();

    // Closes a port left open, then opens COMn (n = comPort) at "9600,N,8,1"
    // with RTS raised. NoPortNumber: comPort was outside 1..4 and nothing was
    // opened (the caller tells the user). Failed: the open failed; the reason
    // is in MSComm1.errorString().
    OpenResult OpenCom(int16_t comPort);
    // The same for a device path instead of a COM number.
    OpenResult OpenDevice(const QString& device);

    // Waits one DelayTimer interval while events run; returns early when the
    // owner is closing (Closing) or a stop was requested (Stopped).
    LinkResult Download_Delay();

    // Any thread: the running exchange ends as by Cancel (Program_kill), and
    // every wait returns at its next pass. On the link's own thread the flag
    // rises at once; from another it rises on the link's thread, and the call
    // that raises it wakes the wait.
    void requestStop();
    // A new session: the stop flag down again (the stop of a session before
    // it is forgotten).
    void beginSession();
    // The last failed transfer ended because a block was refused maxRepeats
    // times in a row.
    bool refusedTooOften() const { return refusedTooOften_; }
    // The time-out period in seconds.
    double timeoutSeconds() const;

    LinkResult SendHandshake();
    LinkResult SendPassWord();
    // Sends the blocks that downloadLength makes from file (open, at its
    // first byte). On a bad reply it closes file and calls onBadReply.
    LinkResult SendFile(QIODevice& file, int16_t downloadLength);

    // Where the session stands now.
    SessionProgress progress() const;
    // Empties the monitors and the progress for a new session.
    void clearMonitors();
    // The outcome of the last exchange, from the flags.
    LinkResult result() const;
    // SHA-256 of the data of the blocks sent so far, each block once.
    QByteArray sentDigest() const { return digest_.result(); }

private:
    OpenResult openSelected();
    void setStage(LinkStage s);
    void notifyProgress();
    void flush();
    void notifyMonitor();
    void showTransmission();
    void showTransmitCounter();
    void showReply();
    void beginExchange();
    LinkResult sendAndWait(const QByteArray& bytes, const QString& text,
                           const QByteArray& expected);
    // Restarts the time-out period, then waits until n reply bytes are
    // buffered, a stop is requested or the time-out rises; a lost port
    // raises the time-out at once.
    void waitForBytes(int n);
    // The transfer's wait for one reply byte: true when one is buffered and no stop was requested.
    bool waitForReply();
    uint8_t readReply();
    void sendByte(uint8_t b);
    LinkResult wrongReply();
    LinkResult sendFileBody(QIODevice& file, int16_t downloadLength);
    // The exchange's outcome, written to the quarn.link category.
    LinkResult logged(const char* exchange, LinkResult result) const;
    LinkResult badReplyExit(QIODevice& file);

    // The transfer's steps.
    bool startTransfer();
    int fillBlock(QIODevice& file, uint8_t* block, int32_t& readCount, int16_t downloadLength);
    void sendBlock(const uint8_t* block);
    bool confirmBlock();
    void sendEnd();

    bool wrongReply_ = false;
    bool refusedTooOften_ = false;
    QCryptographicHash digest_{QCryptographicHash::Sha256};
};

}  // namespace quarn
