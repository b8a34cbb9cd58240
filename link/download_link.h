#pragma once
// The link to the unit as the download window holds it: its serial port, the
// time-out ticker, the one-second delay, the session's flags and counters,
// the monitor texts, and the three exchanges (handshake, login, block
// transfer). No widgets: the window mirrors the monitor texts into its labels
// through onMonitor and does its part of the bad-reply exit through onBadReply.
//
// Outcome flags, read by the caller after each exchange returns:
//   Comm_Timeout  true = the exchange failed (no complete reply in time, or a wrong reply)
//   Program_kill  true = a stop was requested (Cancel, or the window closing)
//   both false    = success
// Program_end (a global) tells that the window is closing; the waits end then
// and touch neither the closed port nor the window afterwards.
//
// Waits yield to the event loop on every pass and test the flags afterwards.
// A pass blocks until the next event (a tick, serial data, a click), so an
// idle wait costs no CPU; the 250 ms ticker guarantees such an event.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "link/serial_port.h"

class QIODevice;

namespace quarn {

// The ticker and delay intervals. Tests install a faster clock before the
// download window loads; the program keeps the defaults.
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
    // Wider than the 16 bits of the original: a unit that keeps refusing
    // blocks may drive it past 32767, and the monitor then goes on counting.
    int32_t Recieve_counter = 0;
    MonitorTexts monitor;

    std::function<void()> onMonitor;   // monitor texts changed
    std::function<void()> onBadReply;  // bad-reply exit: message line and windows
    std::function<void()> yield;       // one pass of the event loop

    // Starts the time-out ticker (at the window's load); it runs until the link is destroyed.
    void startTicker();
    void Timer2_Timer();
    void DelayTimer_Timer();

    // Closes a port left open, then opens port Com_port at "9600,N,8,1" with
    // RTS raised. NoPortNumber: Com_port was outside 1..4 and "No com port
    // selected." was shown. Failed: the open failed; no box was shown, the
    // reason is in MSComm1.errorString().
    OpenResult OpenCom();

    // Waits one DelayTimer interval while events run; returns early only when
    // the window is closing.
    void Download_Delay();

    void SendHandshake();
    void SendPassWord();
    // Sends Download_length bytes of file (open, at its first byte) in blocks.
    // On a bad reply it closes file and calls onBadReply.
    void SendFile(QIODevice& file);

    // Empties the monitors for a new session.
    void clearMonitors();

private:
    void flush();
    void notifyMonitor();
    void showTransmission();
    void showTransmitCounter();
    void showReply();
    void sendAndWait(const QByteArray& bytes, const QString& text, const QByteArray& expected);
    // Restarts the time-out period, then waits until n reply bytes are
    // buffered, a stop is requested or the time-out rises.
    void waitForBytes(int n);
    // The transfer's wait for one reply byte: true when one is buffered and no stop was requested.
    bool waitForReply();
    uint8_t readReply();
    void sendByte(uint8_t b);
    void badReplyExit(QIODevice& file);
};

}  // namespace quarn
