#include "link/download_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIODevice>
#include <QThread>

#include "core/logging.h"
#include "image/blocks.h"

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
constexpr int kListedPositions = 10;  // the monitor lists block positions 1..9

const char* resultName(LinkResult r) {
    switch (r) {
        case LinkResult::Ok:
            return "ok";
        case LinkResult::NoReply:
            return "no reply";
        case LinkResult::WrongReply:
            return "wrong reply";
        case LinkResult::Stopped:
            return "stopped";
        case LinkResult::Closing:
            return "closing";
    }
    return "?";
}

// The bytes as the monitors write them: "AA 55 AA".
QByteArray hexBytes(const QByteArray& bytes) { return bytes.toHex(' ').toUpper(); }
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
    closing = [] { return false; };
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

DownloadLink::OpenResult DownloadLink::OpenCom(int16_t comPort) {
    if (MSComm1.portOpen()) MSComm1.setPortOpen(false);
    if (comPort < 1 || comPort > 4) return OpenResult::NoPortNumber;
    MSComm1.setCommPort(comPort);
    return openSelected();
}

DownloadLink::OpenResult DownloadLink::OpenDevice(const QString& device) {
    if (MSComm1.portOpen()) MSComm1.setPortOpen(false);
    MSComm1.setDevicePath(device);
    return openSelected();
}

DownloadLink::OpenResult DownloadLink::openSelected() {
    MSComm1.setSettings(QStringLiteral("9600,N,8,1"));
    MSComm1.setRTSEnable(true);
    return MSComm1.setPortOpen(true) ? OpenResult::Opened : OpenResult::Failed;
}

LinkResult DownloadLink::Download_Delay() {
    qCDebug(lcLink) << "pause" << g_clock.delayMs << "ms";
    setStage(LinkStage::Pause);
    DelayTimer.setInterval(g_clock.delayMs);
    DelayTimer.start();
    do {
        yield();
    } while (DelayTimer.isActive() && !closing() && !Program_kill);
    DelayTimer.stop();
    return closing() ? LinkResult::Closing : Program_kill ? LinkResult::Stopped : LinkResult::Ok;
}

void DownloadLink::clearMonitors() {
    monitor.lastTransmit.clear();
    monitor.transmit.clear();
    monitor.transmitCount = QStringLiteral("0");
    monitor.lastRecieve.clear();
    monitor.recieve.clear();
    monitor.recieveCount = QStringLiteral("0");
    stage = LinkStage::Idle;
    blockNumber = blockTotal = repeats = blocksSent = 0;
    digest_.reset();
    notifyMonitor();
}

LinkResult DownloadLink::result() const {
    if (closing()) return LinkResult::Closing;
    if (Program_kill) return LinkResult::Stopped;
    if (Comm_Timeout) return wrongReply_ ? LinkResult::WrongReply : LinkResult::NoReply;
    return LinkResult::Ok;
}

double DownloadLink::timeoutSeconds() const { return Timeout_timer * g_clock.tickMs / 1000.0; }

void DownloadLink::requestStop() {
    if (QThread::currentThread() == thread()) {
        Program_kill = true;
        return;
    }
    // The queued call both raises the flag on the link's thread and wakes its wait.
    QMetaObject::invokeMethod(
        this, [this] { Program_kill = true; }, Qt::QueuedConnection);
}

void DownloadLink::beginSession() { Program_kill = false; }

void DownloadLink::setStage(LinkStage s) {
    stage = s;
    notifyProgress();
}

SessionProgress DownloadLink::progress() const {
    return {stage, blockNumber, blockTotal, repeats, static_cast<qint64>(blocksSent) * 64};
}

void DownloadLink::notifyProgress() {
    if (onProgress) onProgress(progress());
}

void DownloadLink::beginExchange() {
    wrongReply_ = false;
    refusedTooOften_ = false;
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

void DownloadLink::showTransmitCounter() {
    monitor.transmitCount = QString::number(Transmit_counter);
}

void DownloadLink::showReply() {
    monitor.lastRecieve = monitor.recieve;
    monitor.recieve = Recieve_string;
    ++Recieve_counter;
    monitor.recieveCount = QString::number(Recieve_counter);
}

LinkResult DownloadLink::sendAndWait(const QByteArray& bytes, const QString& text,
                                     const QByteArray& expected) {
    const int n = expected.size();
    flush();
    qCDebug(lcLink).noquote() << "send" << hexBytes(bytes) << "expecting" << hexBytes(expected);
    Transmit_string = text;
    MSComm1.output(bytes);
    showTransmission();
    ++Transmit_counter;
    showTransmitCounter();
    notifyMonitor();

    waitForBytes(n);
    if (MSComm1.inBufferCount() < n) return result();

    Recieve_string.clear();
    for (int i = 0; i < n; ++i) {
        MSComm1.setInputLen(1);
        const QByteArray c = MSComm1.input();
        const uint8_t code = c.isEmpty() ? 0 : static_cast<uint8_t>(c[0]);
        if (i > 0) Recieve_string += QLatin1Char(',');
        Recieve_string += hexText(code);
        if (c.isEmpty() || c[0] != expected[i]) wrongReply();
    }
    qCDebug(lcLink).noquote()
        << "received" << QString(Recieve_string).replace(QLatin1Char(','), QLatin1Char(' '));
    showReply();
    notifyMonitor();
    return result();
}

LinkResult DownloadLink::SendHandshake() {
    beginExchange();
    qCDebug(lcLink) << "quiet line: one time-out period," << timeoutSeconds() << "s";
    setStage(LinkStage::QuietLine);
    Timeout_count = 0;
    Comm_Timeout = false;
    do {
        yield();
    } while (!Comm_Timeout && !Program_kill);
    if (closing()) return logged("handshake", LinkResult::Closing);
    Comm_Timeout = false;
    setStage(LinkStage::Handshake);
    const QByteArray request("\xAA\x55\xAA", 3);
    return logged("handshake", sendAndWait(request, QStringLiteral("AA,55,AA"), request));
}

LinkResult DownloadLink::SendPassWord() {
    beginExchange();
    setStage(LinkStage::Login);
    QString text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += QLatin1Char(',');
        text += hexText(static_cast<uint8_t>(kPassword[i]));
    }
    return logged("login",
                  sendAndWait(kPassword, text, QByteArray(1, static_cast<char>(kLoginAccepted))));
}

void DownloadLink::waitForBytes(int n) {
    // The request goes on the wire before the owner repaints its monitors:
    // otherwise every exchange would wait for a repaint before it starts.
    MSComm1.sendQueued();
    Timeout_count = 0;
    Comm_Timeout = false;
    int count = 0;
    QElapsedTimer waited;
    waited.start();
    do {
        yield();
        count = MSComm1.inBufferCount();
    } while (count < n && !Program_kill && !Comm_Timeout && !MSComm1.lost());
    // A lost port ends the exchange now: no reply can come any more.
    const bool lost = count < n && MSComm1.lost();
    if (lost) Comm_Timeout = true;
    qCDebug(lcLink).nospace() << "waited " << waited.elapsed() << " ms for " << n
                              << " byte(s): " << count << " in"
                              << (count >= n     ? ""
                                  : lost         ? ", port lost"
                                  : Program_kill ? ", stopped"
                                                 : ", time-out");
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
    qCDebug(lcLink).noquote() << "received" << hexBytes(QByteArray(1, char(r)));
    showReply();
    notifyMonitor();
    return r;
}

void DownloadLink::sendByte(uint8_t b) { MSComm1.output(QByteArray(1, static_cast<char>(b))); }

LinkResult DownloadLink::wrongReply() {
    Comm_Timeout = true;
    wrongReply_ = true;
    return result();
}

LinkResult DownloadLink::badReplyExit(QIODevice& file) {
    file.close();
    wrongReply();
    if (onBadReply) onBadReply();
    return result();
}

// The start byte and its echo. False when the transfer ends here.
bool DownloadLink::startTransfer() {
    flush();
    qCDebug(lcLink) << "send 01 (start), expecting 01";
    sendByte(kStart);
    Transmit_string = hexText(kStart);
    showTransmission();
    ++Transmit_counter;
    showTransmitCounter();
    notifyMonitor();
    if (!waitForReply()) return false;
    if (readReply() != kStart) {
        wrongReply();
        return false;
    }
    flush();
    return true;
}

// Sends the opener of a new block and fills the block from the file: at least
// one file byte, at most 64, and no more once the read count has passed the
// length; the rest is zero padding. Returns the checksum.
int DownloadLink::fillBlock(QIODevice& file, uint8_t* block, int32_t& readCount,
                            int16_t downloadLength) {
    qCDebug(lcLink).nospace() << "block " << blockNumber << " of " << blockTotal
                              << ": send 03 (opener)";
    sendByte(kOpener);
    ++Transmit_counter;
    showTransmitCounter();
    takeBlock(file, block, readCount, downloadLength);
    int sum = 0;  // the padding's zeros add nothing
    for (int pos = 0; pos < kBlockSize; ++pos) sum += block[pos];
    Checksum = static_cast<int16_t>(sum % 256);
    return Checksum;
}

// The checksum and the 64 data bytes (a repeat starts here too).
void DownloadLink::sendBlock(const uint8_t* block) {
    qCDebug(lcLink).noquote() << "send checksum" << hexBytes(QByteArray(1, char(Checksum)))
                              << "and data"
                              << hexBytes(
                                     QByteArray(reinterpret_cast<const char*>(block), kBlockSize))
                              << "expecting 03 or FF";
    sendByte(static_cast<uint8_t>(Checksum));
    Transmit_string.clear();
    for (int pos = 0; pos < kBlockSize;) {
        sendByte(block[pos]);
        ++pos;
        ++Transmit_counter;
        if (pos < kListedPositions) Transmit_string += hexText(block[pos]) + QLatin1Char(',');
    }
    showTransmission();
    showTransmitCounter();
    notifyMonitor();
}

// The confirm byte and its echo. False when the transfer ends here; a wrong
// echo is then marked as a wrong reply.
bool DownloadLink::confirmBlock() {
    flush();
    qCDebug(lcLink) << "send 07 (confirm), expecting 07";
    sendByte(kConfirm);
    if (!waitForReply()) return false;
    if (readReply() != kConfirm) {
        wrongReply_ = true;  // the caller takes the bad-reply exit, which raises the flags
        return false;
    }
    return true;
}

void DownloadLink::sendEnd() {
    qCDebug(lcLink) << "send 0F (end)";
    sendByte(kEnd);
    Transmit_string = hexText(kEnd);
    showTransmission();
    ++Transmit_counter;
    showTransmitCounter();
    notifyMonitor();
}

LinkResult DownloadLink::logged(const char* exchange, LinkResult result) const {
    qCDebug(lcLink).nospace() << exchange << ": " << resultName(result);
    return result;
}

LinkResult DownloadLink::SendFile(QIODevice& file, int16_t downloadLength) {
    return logged("transfer", sendFileBody(file, downloadLength));
}

LinkResult DownloadLink::sendFileBody(QIODevice& file, int16_t downloadLength) {
    beginExchange();
    blockTotal = blocksFor(downloadLength);
    setStage(LinkStage::Transfer);
    if (!startTransfer()) return result();

    int32_t readCount = 0;
    uint8_t block[kBlockSize];
    for (;;) {
        ++blockNumber;
        fillBlock(file, block, readCount, downloadLength);
        digest_.addData(QByteArrayView(reinterpret_cast<const char*>(block), kBlockSize));
        ++blocksSent;
        uint8_t verdict = kRefused;
        for (int refusals = 0;;) {
            sendBlock(block);
            if (!waitForReply()) return result();
            verdict = readReply();
            if (verdict != kRefused) break;
            if (maxRepeats > 0 && ++refusals >= maxRepeats) {
                refusedTooOften_ = true;
                return badReplyExit(file);
            }
            ++repeats;
            notifyProgress();
        }
        if (verdict != kAccepted) return badReplyExit(file);
        if (!confirmBlock()) return wrongReply_ ? badReplyExit(file) : result();
        notifyProgress();
        if (readCount >= downloadLength) {
            sendEnd();
            setStage(LinkStage::Done);
            return result();
        }
    }
}

}  // namespace quarn
