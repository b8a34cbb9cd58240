#include "link/download_link.h"

#include <QCoreApplication>
#include <QIODevice>

#include "app/globals.h"
#include "app/message_box.h"

namespace quarn {

namespace {
LinkClock g_clock;

constexpr uint8_t kStart = 0x01;
constexpr uint8_t kOpener = 0x03;
constexpr uint8_t kAccepted = 0x03;
constexpr uint8_t kRefused = 0xFF;
constexpr uint8_t kConfirm = 0x07;
constexpr uint8_t kEnd = 0x0F;
constexpr uint8_t kLoginAccepted = 0x88;
constexpr int kBlockSize = 64;
constexpr int kListedPositions = 10;  // the monitor lists block positions 1..9

uint8_t readFileByte(QIODevice& file) {
    // The length rule reads one byte past a file of exactly Download_length
    // bytes; that byte goes out as 0x00, like padding.
    char c = 0;
    return file.getChar(&c) ? static_cast<uint8_t>(c) : 0;
}
}  // namespace

void setLinkClock(const LinkClock& clock) { g_clock = clock; }
LinkClock linkClock() { return g_clock; }

QString hexText(uint8_t value) { return QString::number(value, 16).toUpper(); }

const QByteArray DownloadLink::kPassword = QByteArrayLiteral("LANTERNS");

DownloadLink::DownloadLink(QObject* parent) : QObject(parent), MSComm1(this) {
    Timer2.setInterval(0);
    DelayTimer.setInterval(g_clock.delayMs);
    connect(&Timer2, &QTimer::timeout, this, &DownloadLink::Timer2_Timer);
    connect(&DelayTimer, &QTimer::timeout, this, &DownloadLink::DelayTimer_Timer);
    yield = [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); };
}

void DownloadLink::startTicker() {
    Timer2.setInterval(g_clock.tickMs);
    Timer2.start();
}

void DownloadLink::Timer2_Timer() {
    ++Timeout_count;
    if (Timeout_count == 255) Timeout_count = 0;
    if (Timeout_count == Timeout_timer) {
        Comm_Timeout = true;
        Timeout_count = 0;
    }
}

void DownloadLink::DelayTimer_Timer() { DelayTimer.stop(); }

DownloadLink::OpenResult DownloadLink::OpenCom() {
    if (MSComm1.portOpen()) MSComm1.setPortOpen(false);
    if (Com_port < 1 || Com_port > 4) {
        MsgBox(QStringLiteral("No com port selected."), kStyleNone, QStringLiteral("ERROR!"));
        return OpenResult::NoPortNumber;
    }
    MSComm1.setCommPort(Com_port);
    MSComm1.setSettings(QStringLiteral("9600,N,8,1"));
    MSComm1.setRTSEnable(true);
    return MSComm1.setPortOpen(true) ? OpenResult::Opened : OpenResult::Failed;
}

void DownloadLink::Download_Delay() {
    DelayTimer.setInterval(g_clock.delayMs);
    DelayTimer.start();
    do {
        yield();
    } while (DelayTimer.isActive() && !Program_end);
    DelayTimer.stop();
}

void DownloadLink::clearMonitors() {
    monitor.lastTransmit.clear();
    monitor.transmit.clear();
    monitor.transmitCount = QStringLiteral("0");
    monitor.lastRecieve.clear();
    monitor.recieve.clear();
    monitor.recieveCount = QStringLiteral("0");
    notifyMonitor();
}

void DownloadLink::flush() {
    MSComm1.setInputLen(0);
    MSComm1.input();
}

void DownloadLink::notifyMonitor() {
    if (onMonitor) onMonitor();
}

void DownloadLink::showTransmission() {
    monitor.lastTransmit = monitor.transmit;
    monitor.transmit = Transmit_string;
}

void DownloadLink::showTransmitCounter() { monitor.transmitCount = QString::number(Transmit_counter); }

void DownloadLink::showReply() {
    monitor.lastRecieve = monitor.recieve;
    monitor.recieve = Recieve_string;
    ++Recieve_counter;
    monitor.recieveCount = QString::number(Recieve_counter);
}

void DownloadLink::sendAndWait(const QByteArray& bytes, const QString& text,
                               const QByteArray& expected) {
    const int n = expected.size();
    flush();
    Transmit_string = text;
    MSComm1.output(bytes);
    showTransmission();
    ++Transmit_counter;
    showTransmitCounter();
    notifyMonitor();

    waitForBytes(n);
    if (MSComm1.inBufferCount() < n) return;

    Recieve_string.clear();
    for (int i = 0; i < n; ++i) {
        MSComm1.setInputLen(1);
        const QByteArray c = MSComm1.input();
        const uint8_t code = c.isEmpty() ? 0 : static_cast<uint8_t>(c[0]);
        if (i > 0) Recieve_string += QLatin1Char(',');
        Recieve_string += hexText(code);
        if (c.isEmpty() || c[0] != expected[i]) Comm_Timeout = true;
    }
    showReply();
    notifyMonitor();
}

void DownloadLink::SendHandshake() {
    Timeout_count = 0;
    Comm_Timeout = false;
    do {
        yield();
    } while (!Comm_Timeout && !Program_kill);
    if (Program_end) return;
    Comm_Timeout = false;
    const QByteArray request("\xAA\x55\xAA", 3);
    sendAndWait(request, QStringLiteral("AA,55,AA"), request);
}

void DownloadLink::SendPassWord() {
    QString text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += QLatin1Char(',');
        text += hexText(static_cast<uint8_t>(kPassword[i]));
    }
    sendAndWait(kPassword, text, QByteArray(1, static_cast<char>(kLoginAccepted)));
}

void DownloadLink::waitForBytes(int n) {
    // The request goes on the wire before the window repaints its monitors:
    // otherwise every exchange would wait for a repaint before it starts.
    MSComm1.sendQueued();
    Timeout_count = 0;
    Comm_Timeout = false;
    int count = 0;
    do {
        yield();
        count = MSComm1.inBufferCount();
    } while (count < n && !Program_kill && !Comm_Timeout);
}

bool DownloadLink::waitForReply() {
    waitForBytes(1);
    if (Program_kill) return false;
    return MSComm1.inBufferCount() >= 1;
}

uint8_t DownloadLink::readReply() {
    MSComm1.setInputLen(1);
    const QByteArray c = MSComm1.input();
    const uint8_t r = c.isEmpty() ? 0 : static_cast<uint8_t>(c[0]);
    Recieve_string = hexText(r);
    showReply();
    notifyMonitor();
    return r;
}

void DownloadLink::sendByte(uint8_t b) { MSComm1.output(QByteArray(1, static_cast<char>(b))); }

void DownloadLink::badReplyExit(QIODevice& file) {
    file.close();
    Comm_Timeout = true;
    if (onBadReply) onBadReply();
}

void DownloadLink::SendFile(QIODevice& file) {
    flush();
    sendByte(kStart);
    Transmit_string = hexText(kStart);
    showTransmission();
    ++Transmit_counter;
    showTransmitCounter();
    notifyMonitor();
    if (!waitForReply()) return;
    if (readReply() != kStart) {
        Comm_Timeout = true;
        return;
    }
    flush();

    int32_t readCount = 0;
    uint8_t block[kBlockSize];
    for (;;) {
        int pos = 0;
        Checksum = 0;
        sendByte(kOpener);
        ++Transmit_counter;
        showTransmitCounter();
        do {
            const uint8_t b = readFileByte(file);
            Checksum = static_cast<int16_t>(Checksum + b);
            if (Checksum > 255) Checksum = static_cast<int16_t>(Checksum - 256);
            block[pos++] = b;
            ++readCount;
        } while (pos < kBlockSize && readCount <= Download_length);
        while (pos < kBlockSize) block[pos++] = 0;

        uint8_t verdict = 0;
        do {
            sendByte(static_cast<uint8_t>(Checksum));
            Transmit_string.clear();
            for (pos = 0; pos < kBlockSize;) {
                sendByte(block[pos]);
                ++pos;
                ++Transmit_counter;
                if (pos < kListedPositions) Transmit_string += hexText(block[pos]) + QLatin1Char(',');
            }
            showTransmission();
            showTransmitCounter();
            notifyMonitor();
            if (!waitForReply()) return;
            verdict = readReply();
        } while (verdict == kRefused);

        if (verdict != kAccepted) return badReplyExit(file);
        flush();
        sendByte(kConfirm);
        if (!waitForReply()) return;
        if (readReply() != kConfirm) return badReplyExit(file);

        if (readCount >= Download_length) {
            sendByte(kEnd);
            Transmit_string = hexText(kEnd);
            showTransmission();
            ++Transmit_counter;
            showTransmitCounter();
            notifyMonitor();
            return;
        }
    }
}

}  // namespace quarn
