// The serial layer on real pseudo-terminals: what the callers rely on when
// the port opens, is refused, carries bytes, floods, or vanishes.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <clocale>
#include <cstring>

#include "link/download_link.h"
#include "link/serial_port.h"
#include "ports/port_advice.h"
#include "ports/port_holders.h"
#include "ports/port_map.h"
#include "tests/support/test_support.h"

using namespace quarn;
using namespace testsupport;

namespace {

// Runs the event loop the way the program's waits do, for ms milliseconds.
void waitEvents(int ms) {
    QTimer tick;
    tick.start(250);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool openPort(SerialPort& port, int com = 1) {
    port.setCommPort(static_cast<int16_t>(com));
    port.setSettings(QStringLiteral("9600,N,8,1"));
    port.setRTSEnable(true);
    return port.setPortOpen(true);
}

}  // namespace

class TestSerialPort : public QObject {
    Q_OBJECT
private slots:
    void settingsText_data();
    void settingsText();
    void devicePaths();
    void opensAPseudoTerminalDespiteRts();
    void bytesBothWays();
    void sendQueuedWritesWithoutTheEventLoop();
    void refusals_data();
    void refusals();
    void farEndGoneClosesThePortWithoutSpinning();
    void floodIsHeldBackAtTheCap();
    void closeDrains_data();
    void closeDrains();
    void portAdviceAsAnotherUser_data();
    void portAdviceAsAnotherUser();
    void lineFaultsEndTheSessionAtOnce_data();
    void lineFaultsEndTheSessionAtOnce();
};

void TestSerialPort::settingsText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("baud");
    QTest::newRow("the program's") << "9600,N,8,1" << true << 9600;
    QTest::newRow("even, 7 bits, 2 stop") << "19200,E,7,2" << true << 19200;
    QTest::newRow("lower-case parity") << "9600,n,8,1" << true << 9600;
    QTest::newRow("three fields") << "9600,N,8" << false << 0;
    QTest::newRow("word for rate") << "fast,N,8,1" << false << 0;
    QTest::newRow("bad parity") << "9600,X,8,1" << false << 0;
    QTest::newRow("nine bits") << "9600,N,9,1" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
}

void TestSerialPort::settingsText() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, baud);
    LineSettings s;
    QCOMPARE(parseSettings(text, &s), ok);
    if (ok) QCOMPARE(s.baud, baud);
}

void TestSerialPort::devicePaths() {
    // The layer asks the installed resolver, only for 1..4, and passes its
    // answer and its reason on unchanged.
    static QList<int> asked;
    setComResolver([](int com, QString* why) {
        asked << com;
        if (com == 2) return *why = QStringLiteral("nothing is assigned to COM2"), QString();
        return QStringLiteral("/dev/ttyX%1").arg(com);
    });
    QString why;
    QCOMPARE(SerialPort::devicePathFor(4, &why), QStringLiteral("/dev/ttyX4"));
    QCOMPARE(SerialPort::devicePathFor(2, &why), QString());
    QCOMPARE(why, QStringLiteral("nothing is assigned to COM2"));
    QCOMPARE(SerialPort::devicePathFor(0, &why), QString());
    QCOMPARE(why, QStringLiteral("no such port number 0"));
    QCOMPARE(SerialPort::devicePathFor(5), QString());
    QCOMPARE(asked, (QList<int>{4, 2}));
    setComResolver(resolveComDevice);
}

void TestSerialPort::opensAPseudoTerminalDespiteRts() {
    ScriptedUnit unit;
    SerialPort port;
    QVERIFY2(openPort(port), qPrintable(port.errorString()));
    QVERIFY(port.portOpen());
    QVERIFY(!port.lowLatency());  // a pseudo-terminal has no such setting: skipped quietly
    port.setPortOpen(false);
    QVERIFY(!port.portOpen());
    QVERIFY(openPort(port));  // and opens again after closing
}

void TestSerialPort::bytesBothWays() {
    ScriptedUnit unit;
    SerialPort port;
    QVERIFY(openPort(port));
    QByteArray all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    port.output(all);
    port.output(QByteArray(1, '\0'));
    QVERIFY(spinUntil(
        [&] {
            unit.readAll();
            return unit.log.size() >= 257;
        },
        2000));
    QCOMPARE(unit.log, all + QByteArray(1, '\0'));  // every value, in order, nothing added

    unit.write("\x01\x02\x03\x04\x05");
    QVERIFY(spinUntil([&] { return port.inBufferCount() == 5; }, 2000));
    port.setInputLen(1);
    QCOMPARE(port.input(), QByteArray("\x01"));
    QCOMPARE(port.inBufferCount(), int16_t(4));
    port.setInputLen(0);
    QCOMPARE(port.input(), QByteArray("\x02\x03\x04\x05"));  // a flush takes everything
    QCOMPARE(port.inBufferCount(), int16_t(0));
    QCOMPARE(port.input(), QByteArray());
}

void TestSerialPort::sendQueuedWritesWithoutTheEventLoop() {
    ScriptedUnit unit;
    SerialPort port;
    QVERIFY(openPort(port));
    port.output("\x03");
    port.output("\x10\x20");
    // No event loop from here on: only sendQueued() can have put them on the line.
    port.sendQueued();
    QElapsedTimer t;
    t.start();
    while (unit.readAll(), unit.log.size() < 3 && t.elapsed() < 1000) usleep(1000);
    QCOMPARE(unit.log, QByteArray("\x03\x10\x20"));
    port.sendQueued();  // nothing queued: nothing sent twice
    usleep(20000);
    unit.readAll();
    QCOMPARE(unit.log, QByteArray("\x03\x10\x20"));
}

void TestSerialPort::refusals_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");  // what the error text must say
    QTest::newRow("missing device") << "missing"
                                    << "nothing-here: No such file or directory";
    QTest::newRow("held by another open") << "held"
                                          << "Permission error while locking";
    QTest::newRow("held through a symlink") << "symlink"
                                            << "Permission error while locking";
    QTest::newRow("flock by another program") << "flock"
                                              << "in use by another program";
    QTest::newRow("port number 0") << "number"
                                   << "no such port number 0";
}

void TestSerialPort::refusals() {
    QFETCH(QString, how);
    QFETCH(QString, reason);
    ScriptedUnit unit;
    QTemporaryDir dir;
    SerialPort first, second;
    int fd = -1;
    int com = 1;
    if (how == "missing") {
        qputenv("QUARN_COM2", dir.filePath("nothing-here").toLocal8Bit());
        com = 2;
    } else if (how == "held") {
        QVERIFY(openPort(first));
    } else if (how == "symlink") {
        QVERIFY(openPort(first));
        const QString link = dir.filePath("COM1");
        QVERIFY(QFile::link(unit.slavePath(), link));
        qputenv("QUARN_COM2", link.toLocal8Bit());
        com = 2;
    } else if (how == "flock") {
        fd = ::open(unit.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    } else {
        com = 0;
    }
    QVERIFY(!openPort(second, com));
    QVERIFY(!second.portOpen());
    QVERIFY2(second.errorString().contains(reason), qPrintable(second.errorString()));
    if (fd >= 0) ::close(fd);
    qunsetenv("QUARN_COM2");
}

void TestSerialPort::farEndGoneClosesThePortWithoutSpinning() {
    ScriptedUnit unit;
    SerialPort port;
    QVERIFY(openPort(port));
    unit.write("\x42");
    QVERIFY(spinUntil([&] { return port.inBufferCount() == 1; }, 2000));
    unit.hangUp();
    const double cpu0 = cpuSeconds();
    waitEvents(1000);
    const double cpu = cpuSeconds() - cpu0;
    QVERIFY(!port.portOpen());
    QCOMPARE(port.inBufferCount(), int16_t(0));
    port.setInputLen(1);
    QCOMPARE(port.input(), QByteArray());
    port.output("\x01");  // writing to the closed port is ignored, not a crash
    QVERIFY2(cpu < 0.2, qPrintable(QStringLiteral("%1 s of CPU in a 1 s wait").arg(cpu)));
}

void TestSerialPort::floodIsHeldBackAtTheCap() {
    ScriptedUnit unit;
    SerialPort port;
    QVERIFY(openPort(port));
    const QByteArray chunk(4096, '\x55');
    qint64 written = 0;
    QElapsedTimer t;
    t.start();
    // Keep writing while the program runs its loop without reading: the
    // program's buffer stops at the cap and the kernel then holds the writer.
    while (t.elapsed() < 1500 && written < 4 * 1024 * 1024) {
        unit.write(chunk);
        written += chunk.size();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QVERIFY(port.bufferedBytes() <= SerialPort::kReadBufferCap);
    QCOMPARE(port.inBufferCount(), int16_t(32767));
    port.setInputLen(0);
    QVERIFY(port.input().size() <= SerialPort::kReadBufferCap);
}

// Bytes written just before the close leave before it: a far end that reads
// gets every one; one that reads nothing holds the close no longer than their
// wire time plus the margin.
void TestSerialPort::closeDrains_data() {
    QTest::addColumn<bool>("reads");
    QTest::newRow("far end reads") << true;
    QTest::newRow("far end stalls") << false;
}

void TestSerialPort::closeDrains() {
    QFETCH(bool, reads);
    const QByteArray bytes(100 * 1024, '\x5A');  // more than a pseudo-terminal holds
    std::unique_ptr<SimPort> reader;
    std::unique_ptr<ScriptedUnit> stalled;
    if (reads)
        reader = std::make_unique<SimPort>();
    else
        stalled = std::make_unique<ScriptedUnit>();
    SerialPort port;
    port.setCommPort(1);
    port.setSettings(QStringLiteral("921600,N,8,1"));
    QVERIFY(port.setPortOpen(true));
    port.output(bytes);
    QElapsedTimer t;
    t.start();
    port.setPortOpen(false);
    const qint64 bound = bytes.size() * 10 * 1000 / 921600 + SerialPort::kCloseDrainMs;
    QVERIFY2(t.elapsed() < bound + 500, qPrintable(QString::number(t.elapsed())));
    if (!reads) return;
    QVERIFY(
        spinUntil([&] { return reader->unit().received().size() >= size_t(bytes.size()); }, 2000));
    QCOMPARE(reader->unit().received().size(), size_t(bytes.size()));
}

// Refusals as a user who is not root sees them, under a German C library:
// the advice comes from the error codes, names the device's group (for the
// group root: a udev rule), and a port held by a program whose descriptors
// this user cannot read is in use, never free.
void TestSerialPort::portAdviceAsAnotherUser_data() {
    QTest::addColumn<QString>("owner");  // the device's group
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("held");  // by another user's program, with TIOCEXCL
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("state");
    QTest::newRow("group dialout") << "dialout" << 0660 << false << "Join the group dialout"
                                   << "not permitted";
    QTest::newRow("group root") << "root" << 0660 << false << "udev rule"
                                << "not permitted";
    QTest::newRow("held, holder hidden") << "root" << 0666 << true << "in use"
                                         << "in use (holder not visible)";
}

namespace {

// A child process (root) that holds path open exclusively until killed.
pid_t holdExclusively(const QByteArray& path) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 1 : 0;
        if (::write(ready[1], &ok, 1) != 1 || !ok) ::_exit(1);
        for (;;) ::pause();
    }
    char ok = 0;
    if (pid < 0 || ::read(ready[0], &ok, 1) != 1 || !ok) return -1;
    ::close(ready[0]);
    ::close(ready[1]);
    return pid;
}

// Runs fn with the effective user and group nobody and no other groups.
template <class Fn>
bool asNobody(Fn fn) {
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    if (::setgroups(0, nullptr) != 0 || ::setegid(65534) != 0 || ::seteuid(65534) != 0)
        return false;
    fn();
    return ::seteuid(0) == 0 && ::setegid(0) == 0 && ::setgroups(count, groups) == 0;
}

}  // namespace

void TestSerialPort::portAdviceAsAnotherUser() {
    QFETCH(QString, owner);
    QFETCH(int, mode);
    QFETCH(bool, held);
    QFETCH(QString, says);
    QFETCH(QString, state);
    if (::geteuid() != 0) QSKIP("needs root to act as another user");
    QTemporaryDir locales;
    QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")});
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    if (!::setlocale(LC_ALL, "de_DE.UTF-8"))
        qWarning("no German locale here: the advice is checked in English");
    ScriptedUnit unit;
    const QByteArray slave = QFile::encodeName(unit.slavePath());
    const group* g = ::getgrnam(qPrintable(owner));
    QVERIFY(g && ::chown(slave.constData(), 0, g->gr_gid) == 0 &&
            ::chmod(slave.constData(), mode_t(mode)) == 0);
    const pid_t holder = held ? holdExclusively(slave) : 0;
    QVERIFY(holder >= 0);
    SerialPort port;
    bool opened = true;
    QString advice, seen;
    QVERIFY(asNobody([&] {
        opened = openPort(port);
        advice = explainPortFailure(port.deviceName(), port.errorString(), port.fault());
        seen = portStates({unit.slavePath()}).value(0);
    }));
    ::setlocale(LC_ALL, "C");
    if (holder > 0) ::kill(holder, SIGKILL), ::waitpid(holder, nullptr, 0);
    QVERIFY(!opened);
    QVERIFY2(advice.contains(says), qPrintable(advice));
    QCOMPARE(seen, state);
}

// The port's descriptor, found through /proc, for swapping a failing one in.
int descriptorOf(const QString& device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        if (fd.symLinkTarget() == target) return fd.fileName().toInt();
    return -1;
}

// A fault of the line while the handshake waits for its reply: the exchange
// ends at once as a lost port, with the system's reason, not at the time-out.
void TestSerialPort::lineFaultsEndTheSessionAtOnce_data() {
    QTest::addColumn<bool>("writeFails");  // else: the far end hangs up
    QTest::addColumn<QString>("reason");
    QTest::newRow("write refused") << true << QString::fromLocal8Bit(std::strerror(EPIPE));
    QTest::newRow("far end gone") << false << QStringLiteral("the line hung up");
}

void TestSerialPort::lineFaultsEndTheSessionAtOnce() {
    QFETCH(bool, writeFails);
    QFETCH(QString, reason);
    ::signal(SIGPIPE, SIG_IGN);
    useFastClock();
    ScriptedUnit unit;
    DownloadLink link;
    QCOMPARE(link.OpenCom(1), DownloadLink::OpenResult::Opened);
    link.startTicker();
    int sockets[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    ::shutdown(sockets[0], SHUT_WR);  // writes fail with EPIPE; nothing to read
    if (writeFails) QVERIFY(::dup2(sockets[0], descriptorOf(unit.slavePath())) >= 0);
    bool hungUp = false;
    onEachPass(link, [&] {
        if (writeFails || hungUp || link.stage != LinkStage::Handshake) return;
        unit.hangUp();
        hungUp = true;
    });
    // 2 s for the quiet line, then 2 s for the reply: a wait for the reply's
    // time-out is plainly late.
    link.Timeout_timer = 100;
    QElapsedTimer t;
    t.start();
    QCOMPARE(link.SendHandshake(), LinkResult::NoReply);
    QVERIFY2(t.elapsed() < 3200, qPrintable(QString::number(t.elapsed())));
    QVERIFY(link.MSComm1.lost());
    QVERIFY(!link.MSComm1.portOpen());
    // The session's reason text ("The port was lost: ...") quotes this.
    const QString text = link.MSComm1.errorString();
    QVERIFY2(text.contains(reason), qPrintable(text));
    ::close(sockets[0]);
    ::close(sockets[1]);
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "test_serial_port.moc"
