#include "link/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace quarn {

namespace {
std::atomic<ComResolver> g_resolver{nullptr};
}  // namespace

void setComResolver(ComResolver resolver) { g_resolver = resolver; }

bool parseSettings(const QString& text, LineSettings* out) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) return false;
    bool ok = false;
    LineSettings s;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) return false;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        return false;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8) return false;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return false;
    *out = s;
    return true;
}

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    port_.setReadBufferSize(kReadBufferCap);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

SerialPort::~SerialPort() { close(); }

QString SerialPort::devicePathFor(int n, QString* why) {
    const ComResolver resolve = g_resolver;
    if (n < 1 || n > 4 || !resolve) {
        if (why) *why = QStringLiteral("no such port number %1").arg(n);
        return QString();
    }
    return resolve(n, why);
}

bool SerialPort::setSettings(const QString& settings) {
    LineSettings parsed;
    if (!parseSettings(settings, &parsed)) return false;
    settingsText_ = settings;
    line_ = parsed;
    return true;
}

bool SerialPort::setPortOpen(bool open) {
    if (!open) {
        close();
        return true;
    }
    if (port_.isOpen()) return true;
    return this->open();
}

QString SerialPort::deviceName() const {
    return devicePath_.isEmpty() ? devicePathFor(commPort_) : devicePath_;
}

namespace {

// Qt gives PermissionError both for a device the user may not open and for
// one locked by another program; the device's access for this process's
// effective user tells them apart.
PortFault faultOfOpen(QSerialPort::SerialPortError error, const QString& device) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return PortFault::Missing;
        case QSerialPort::PermissionError:
            if (::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK,
                            AT_EACCESS) != 0 &&
                (errno == EACCES || errno == EPERM))
                return PortFault::NotPermitted;
            return PortFault::InUse;
        default:
            return PortFault::Other;
    }
}

}  // namespace

bool SerialPort::open() {
    error_.clear();
    fault_ = PortFault::None;
    lost_ = false;
    QString why;
    const QString path = devicePath_.isEmpty() ? devicePathFor(commPort_, &why) : devicePath_;
    if (path.isEmpty()) {
        error_ = why;
        fault_ = PortFault::Other;
        return false;
    }
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty()) {
        fault_ = PortFault::Missing;
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(ENOENT)));
        return false;
    }
    port_.setPortName(device);
    port_.setBaudRate(line_.baud);
    port_.setParity(line_.parity);
    port_.setDataBits(line_.dataBits);
    port_.setStopBits(line_.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    const QScopedValueRollback<bool> opening(opening_, true);
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = QStringLiteral("%1: %2").arg(path, port_.errorString());
        fault_ = faultOfOpen(port_.error(), device);
        port_.clearError();
        return false;
    }
    // Programs that do not use lock files often use flock; honour theirs too.
    if (::flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
        fault_ = errno == EWOULDBLOCK ? PortFault::InUse : PortFault::Other;
        error_ = QStringLiteral("%1: in use by another program (%2)")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        port_.close();
        port_.clearError();
        return false;
    }
    // Raising RTS fails on pseudo-terminals; the port is usable all the same.
    if (rtsEnable_) port_.setRequestToSend(true);
    port_.clearError();
    requestLowLatency();
    port_.clear(QSerialPort::Input);
    return true;
}

void SerialPort::requestLowLatency() {
    // USB serial adapters otherwise hold received bytes for up to 16 ms.
    lowLatency_ = false;
    const int fd = static_cast<int>(port_.handle());
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    const int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    lowLatency_ = ::ioctl(fd, TIOCSSERIAL, &info) == 0;
    if (lowLatency_) savedSerialFlags_ = before;
}

void SerialPort::restoreLowLatency() {
    if (!lowLatency_ || (savedSerialFlags_ & ASYNC_LOW_LATENCY)) return;
    const int fd = static_cast<int>(port_.handle());
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags = savedSerialFlags_;
    ::ioctl(fd, TIOCSSERIAL, &info);  // best effort: the port closes either way
}

qint64 SerialPort::wireMs(qint64 bytes) const {
    const qint64 bitsPerByte = 1 + line_.dataBits +
                               (line_.parity == QSerialPort::NoParity ? 0 : 1) +
                               (line_.stopBits == QSerialPort::OneStop ? 1 : 2);
    return bytes * bitsPerByte * 1000 / std::max(line_.baud, 1);
}

void SerialPort::drain() {
    // What was written leaves before the port closes (the end byte of a
    // transfer, say): first out of Qt's buffer, then out of the driver. The
    // wait is bounded by the wire time of what is pending plus kCloseDrainMs,
    // so a stuck line cannot hang the program; what is left then is dropped.
    const int fd = static_cast<int>(port_.handle());
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) queued = 0;
    const qint64 limit = wireMs(port_.bytesToWrite() + queued) + kCloseDrainMs;
    QElapsedTimer clock;
    clock.start();
    while (port_.bytesToWrite() > 0 && clock.elapsed() < limit)
        if (!port_.waitForBytesWritten(static_cast<int>(limit - clock.elapsed()))) break;
    if (!port_.isOpen()) return;  // the line failed meanwhile: nothing more to wait for
    // The driver's queue: sleep its wire time, then tcdrain for the last byte.
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && clock.elapsed() < limit)
        ::usleep(static_cast<useconds_t>(std::clamp<qint64>(wireMs(queued), 1, limit) * 1000));
    const bool drained =
        port_.bytesToWrite() == 0 && queued <= 0 && clock.elapsed() < limit && ::tcdrain(fd) == 0;
    // What could not leave is dropped, so that the close cannot block on it;
    // a failure here leaves nothing more to do than close.
    if (!drained) ::tcflush(fd, TCOFLUSH);
}

void SerialPort::close() {
    if (!port_.isOpen()) return;
    if (!lost_) drain();
    // Qt puts the line settings back as they were before the open.
    restoreLowLatency();
    port_.close();
    port_.clearError();
}

void SerialPort::onError(QSerialPort::SerialPortError error) {
    // Errors while opening are the open's business (a pseudo-terminal refuses
    // RTS); a bounded wait running out is no fault of the line.
    if (opening_ || error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    loseConnection();
}

void SerialPort::loseConnection() {
    // A vanished far end is reported again on every pass of the event loop;
    // closing at the first report lets waits end quietly.
    if (!port_.isOpen()) return;
    // A hung-up line reads as end of file, which sets no errno: Qt's text for
    // it would be whatever errno held before. The poll tells it apart.
    pollfd line{static_cast<int>(port_.handle()), POLLIN, 0};
    const bool hungUp = ::poll(&line, 1, 0) == 1 && (line.revents & POLLHUP);
    error_ = hungUp ? QStringLiteral("the line hung up") : port_.errorString();
    if (error_.isEmpty()) error_ = QStringLiteral("connection lost");
    lost_ = true;
    fault_ = PortFault::Lost;
    close();
}

int16_t SerialPort::inBufferCount() const {
    if (!port_.isOpen()) return 0;
    return static_cast<int16_t>(std::min<qint64>(port_.bytesAvailable(), 32767));
}

QByteArray SerialPort::input() {
    if (!port_.isOpen()) return QByteArray();
    if (inputLen_ <= 0) return port_.readAll();
    return port_.read(inputLen_);
}

void SerialPort::output(const QByteArray& bytes) {
    if (!port_.isOpen()) return;
    if (port_.write(bytes) != bytes.size()) loseConnection();
}

void SerialPort::sendQueued() {
    if (port_.isOpen() && port_.bytesToWrite() > 0) port_.flush();
}

}  // namespace quarn
