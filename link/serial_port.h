#pragma once
// The download window's serial port (MSComm1 in the design): the operations
// the program uses, with exactly the results its callers rely on, on top of
// QSerialPort. A port belongs to the thread that made it (the window's, or a
// gang unit's own thread): every call comes from that thread, whose event
// loop delivers the port's data.
//
// Contract
// - Port numbers 1..4 stand for COM1..COM4. What a number means on this
//   machine is not the serial layer's business: the program installs a
//   ComResolver (ports/ gives one) and the port asks it when it opens by
//   number; without one, no number leads anywhere. The path is resolved
//   (symlinks followed) when the port opens, so that two names of one device
//   share one lock.
// - setPortOpen(true) opens the device at the current settings, raises RTS
//   where the device supports it (a pseudo-terminal does not: that is not an
//   error) and asks the driver for low latency where it supports that. It
//   returns false, with the reason in errorString(), when the device is
//   missing, in use by another program (lock file or flock) or not permitted.
// - setPortOpen(false) closes the port after the bytes still queued have left
//   the driver (waiting at most their wire time plus kCloseDrainMs), then puts
//   the line's settings back as they were before the open, low latency
//   included.
// - When the far end disappears (USB adapter unplugged, the other side of a
//   pseudo-terminal closed), a write fails, or any other error of the line
//   is reported while the port is open, the port closes itself at once:
//   lost() turns true, errorString() is the system's reason, portOpen()
//   turns false, inBufferCount() is 0 and input() returns nothing.
// - Received bytes are held in a buffer capped at kReadBufferCap; beyond it
//   the rest waits in the kernel and holds the writer back, so a unit that
//   floods the line cannot grow the program's memory.
// - inBufferCount(): bytes received and not yet taken, at most 32767.
// - input(): with InputLen 0 takes everything waiting; with InputLen n > 0
//   takes at most n bytes. Bytes behind them stay buffered.
// - output(bytes): queues the bytes, in order, nothing added; they leave when
//   the event loop runs next, or at once on sendQueued(). Ignored while the
//   port is closed.
// - sendQueued(): hands every queued byte to the driver now, without
//   blocking; what the driver cannot take yet leaves with the event loop.
// - Received bytes arrive only while the event loop runs.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>

namespace quarn {

// Why the port did not open or was lost, decided from the error codes (errno,
// QSerialPort::SerialPortError), never from a message text, which the C
// library translates.
enum class PortFault { None, Missing, NotPermitted, InUse, Lost, Other };

struct LineSettings {
    int baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Parses "9600,N,8,1" style settings; false when the text is not of that form.
bool parseSettings(const QString& text, LineSettings* out);

// The device COMn stands for, or empty with the reason in *why. Called on
// the thread that opens the port; must be safe from any thread.
using ComResolver = QString (*)(int com, QString* why);
// Installed once at program start, before any port opens.
void setComResolver(ComResolver resolver);

class SerialPort : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kReadBufferCap = 64 * 1024;
    static constexpr int kCloseDrainMs = 250;

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    // The device that port number n (1..4) stands for; empty, with the reason
    // in *why, when nothing is assigned to it or n is outside 1..4.
    static QString devicePathFor(int n, QString* why = nullptr);

    // Selects COMn; the device is looked up when the port opens.
    void setCommPort(int16_t n) {
        commPort_ = n;
        devicePath_.clear();
    }
    int16_t commPort() const { return commPort_; }
    // Selects a device by its path instead of a COM number.
    void setDevicePath(const QString& path) { devicePath_ = path; }
    // The device the port opens (or has open): the path as selected.
    QString deviceName() const;

    // Returns false (settings unchanged) when the text is not of the "9600,N,8,1" form.
    bool setSettings(const QString& settings);
    QString settings() const { return settingsText_; }

    void setRTSEnable(bool on) { rtsEnable_ = on; }
    bool rtsEnable() const { return rtsEnable_; }

    bool portOpen() const { return port_.isOpen(); }
    bool setPortOpen(bool open);
    QString errorString() const { return error_; }
    PortFault fault() const { return fault_; }
    // The port closed itself because the far end vanished (since the last open).
    bool lost() const { return lost_; }

    int16_t inBufferCount() const;
    // Bytes held in the program's receive buffer (never above kReadBufferCap).
    qint64 bufferedBytes() const { return port_.isOpen() ? port_.bytesAvailable() : 0; }
    void setInputLen(int16_t n) { inputLen_ = n; }
    int16_t inputLen() const { return inputLen_; }
    QByteArray input();
    void output(const QByteArray& bytes);
    void sendQueued();

    // Whether the driver accepted the low-latency request at the last open.
    bool lowLatency() const { return lowLatency_; }

private:
    bool open();
    void close();
    void onError(QSerialPort::SerialPortError error);
    void loseConnection();
    void drain();
    void restoreLowLatency();
    // How long n bytes take on the line at the current settings.
    qint64 wireMs(qint64 n) const;
    void requestLowLatency();

    QSerialPort port_;
    int16_t commPort_ = 1;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    LineSettings line_;
    bool rtsEnable_ = false;
    int16_t inputLen_ = 0;
    bool lowLatency_ = false;
    int savedSerialFlags_ = 0;
    bool lost_ = false;
    bool opening_ = false;
    QString devicePath_;
    QString error_;
    PortFault fault_ = PortFault::None;
};

}  // namespace quarn
