// COM numbers mapped to ports: the rules on made-up machines through the
// discovery seam, the commands on settings files in a temporary folder (the
// user's settings are never touched), port states on real pseudo-terminals,
// and the real discovery of this machine.

#include <fcntl.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>

#include "core/message_box.h"
#include "core/paths.h"
#include "core/settings.h"
#include "ports/port_commands.h"
#include "ports/port_holders.h"
#include "ports/port_map.h"

using namespace quarn;
using Machine = QList<PortRecord>;
Q_DECLARE_METATYPE(Machine)
Q_DECLARE_METATYPE(QList<Machine>)

namespace {

PortRecord onBoard(const QString& device) {
    return {device, device, {}, {}, {}, 0, 0, false, true};
}

PortRecord adapter(const QString& device, const QString& serial) {
    const QString id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0";
    return {device, id, "FT232R USB UART", "FTDI", serial, 0x0403, 0x6001, true};
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// What a command prints on its two streams.
struct Streams {
    QString out, err;
    QTextStream o{&out}, e{&err};
};

// A pseudo-terminal whose far end nobody has opened; returns its device path.
QString newPty(int* master) {
    *master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (*master < 0 || ::grantpt(*master) != 0 || ::unlockpt(*master) != 0) return QString();
    return QString::fromLatin1(::ptsname(*master));
}

}  // namespace

class TestPortMap : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    int serial_ = 0;
    QString freshSettingsPath() { return dir_.filePath(QString("s%1.conf").arg(++serial_)); }

private slots:
    void init() { QFile::remove(settingsFilePath()); }

    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("QUARN_CONFIG_DIR", dir_.path().toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
        for (int com = 1; com <= kComCount; ++com)
            qunsetenv(qPrintable(QString("QUARN_COM%1").arg(com)));
        QVERIFY(settingsFilePath().startsWith(dir_.path()));
    }

    void rules_data() {
        QTest::addColumn<QList<Machine>>("steps");  // the machine as discovered, start after start
        QTest::addColumn<QStringList>("devices");   // what COM1..COM4 then resolve to
        QTest::addColumn<QString>("why");  // when given: the reason for the first COM with none
        const PortRecord s0 = onBoard("/dev/ttyS0"), s1 = onBoard("/dev/ttyS1");
        const PortRecord a0 = adapter("/dev/ttyUSB0", "A"), a1 = adapter("/dev/ttyUSB1", "A"),
                         a2 = adapter("/dev/ttyUSB2", "A"), b0 = adapter("/dev/ttyUSB0", "B"),
                         b1 = adapter("/dev/ttyUSB1", "B"), c0 = adapter("/dev/ttyUSB0", "C"),
                         acm = adapter("/dev/ttyACM0", "D");
        QTest::newRow("no ports")
            << QList<Machine>{{}} << QStringList{"", "", "", ""}
            << "nothing is assigned to COM1; this machine has no serial ports";
        QTest::newRow("on-board first, in device order")
            << QList<Machine>{{s1, acm, s0}}
            << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyACM0", ""}
            << "nothing is assigned to COM4; this machine has: /dev/ttyACM0 (FT232R USB UART), "
               "/dev/ttyS0, /dev/ttyS1";
        QTest::newRow("adapter moved to another socket")
            << QList<Machine>{{a0}, {a1}} << QStringList{"/dev/ttyUSB1", "", "", ""} << "";
        QTest::newRow("second adapter does not take the first's number")
            << QList<Machine>{{s0}, {s0, a0}, {s0, b0}, {s0, a1, b0}}
            << QStringList{"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB0", ""} << "";
        QTest::newRow("stored adapter gone")
            << QList<Machine>{{s0, s1, a0, b1}, {s0, s1, b1, c0}}
            << QStringList{"/dev/ttyS0", "/dev/ttyS1", "", "/dev/ttyUSB1"}
            << "COM3 is assigned to " + a0.stableName +
                   ", which is not plugged in; this machine has: /dev/ttyS0, /dev/ttyS1, "
                   "/dev/ttyUSB0 (FT232R USB UART), /dev/ttyUSB1 (FT232R USB UART)";
        QTest::newRow("fifth port gets no number, the adapter back gets its own")
            << QList<Machine>{{s0, s1, a0, b1}, {s0, s1, b1, c0}, {s0, s1, a2, b1, c0}}
            << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyUSB1"} << "";
    }

    void rules() {
        QFETCH(QList<Machine>, steps);
        QFETCH(QStringList, devices);
        QFETCH(QString, why);
        Settings settings(freshSettingsPath());
        for (const Machine& machine : steps) PortMap(settings, machine).numberNewPorts();
        const PortMap map(settings, steps.last());
        QStringList resolved;
        QString reason;
        for (int com = 1; com <= kComCount; ++com)
            resolved << map.resolve(com, reason.isEmpty() ? &reason : nullptr);
        QCOMPARE(resolved, devices);
        if (!why.isEmpty()) QCOMPARE(reason, why);
    }

    void environmentWinsOverEverything() {
        Settings settings(freshSettingsPath());
        PortMap map(settings, {adapter("/dev/ttyUSB0", "A")});
        map.numberNewPorts();
        writeFile(settingsFilePath(), "[ports\n");  // even over a damaged settings file
        qputenv("QUARN_COM1", "/tmp/quarn-com1");
        const QStringList seen{map.resolve(1), resolveComDevice(1), describeCom(map, 1)};
        qunsetenv("QUARN_COM1");
        QCOMPARE(seen, (QStringList{"/tmp/quarn-com1", "/tmp/quarn-com1",
                                    "COM1: /tmp/quarn-com1 (QUARN_COM1)"}));
        QCOMPARE(map.resolve(1), "/dev/ttyUSB0");
    }

    void damagedSettingsAreLeftAsTheyAre_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unclosed section")
            << QByteArray("[ports\nCOM1=/dev/ttyUSB0\n[other]\nk=v\n");
        QTest::newRow("binary") << QByteArray("\x01\x02\xff\xfe\x00zz\n", 8);
        QTest::newRow("no device path") << QByteArray("[ports]\nCOM1=hello\n");
        QTest::newRow("a list") << QByteArray("[ports]\nCOM2=/dev/a, /dev/b\n");
    }

    void damagedSettingsAreLeftAsTheyAre() {
        QFETCH(QByteArray, bytes);
        writeFile(settingsFilePath(), bytes);
        Streams io;
        QString why;
        QCOMPARE(listPortsCommand(io.o, io.e), 1);
        QCOMPARE(assignPortCommand("COM1=/dev/null", io.o, io.e), 1);
        QCOMPARE(resolveComDevice(1, &why), QString());
        QVERIFY2(why.contains(settingsFilePath()) && why.contains("left as it is"),
                 qPrintable(why));
        QVERIFY(describeCom(1).contains(why));
        QCOMPARE(io.err, why + '\n' + why + '\n');
        QCOMPARE(io.out, QString());
        QCOMPARE(readFile(settingsFilePath()), bytes);
    }

    void assign_data() {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QStringList>("after");  // COM1..COM4 stored after a later numbering pass
        QTest::addColumn<QString>("error");      // empty: exit 0
        const QString a = adapter("", "A").stableName, b = adapter("", "B").stableName;
        QTest::newRow("by device") << "COM1=/dev/ttyUSB0" << QStringList{a, b, "", ""} << "";
        QTest::newRow("by stable name, lower case")
            << "com3=" + a << QStringList{"", b, a, ""} << "";
        QTest::newRow("moves a port") << "COM1=/dev/ttyUSB1" << QStringList{b, a, "", ""} << "";
        QTest::newRow("removed stays removed") << "COM2=" << QStringList{a, "", "", ""} << "";
        QTest::newRow("device discovery does not list")
            << "COM4=/dev/null" << QStringList{a, b, "", "/dev/null"} << "";
        QTest::newRow("COM7") << "COM7=/dev/ttyUSB0" << QStringList{} << "use COM1 to COM4";
        QTest::newRow("malformed") << "COM1" << QStringList{} << "--assign expects COMn=DEVICE";
        QTest::newRow("missing device")
            << "COM1=/no/such/device" << QStringList{}
            << "no such device: /no/such/device; this machine has: /dev/ttyUSB0";
    }

    void assign() {
        QFETCH(QString, arg);
        QFETCH(QStringList, after);
        QFETCH(QString, error);
        const Machine machine{adapter("/dev/ttyUSB0", "A"), adapter("/dev/ttyUSB1", "B")};
        const QString path = freshSettingsPath();
        const QByteArray before =
            "[other]\nkey=kept\n\n[ports]\nCOM2=" + machine[1].stableName.toUtf8() + '\n';
        writeFile(path, before);
        Streams io;
        {
            Settings settings(path);
            QCOMPARE(assignPort(settings, machine, arg, io.o, io.e), error.isEmpty() ? 0 : 1);
        }
        if (!error.isEmpty()) {
            QVERIFY2(io.err.contains(error), qPrintable(io.err));
            QCOMPARE(readFile(path), before);
            return;
        }
        QVERIFY2(io.err.isEmpty() && !io.out.isEmpty(), qPrintable(io.err));
        Settings settings(path);
        PortMap map(settings, machine);
        map.numberNewPorts();
        QCOMPARE((QStringList{map.stored(1), map.stored(2), map.stored(3), map.stored(4)}), after);
        QVERIFY(readFile(path).contains("[other]\nkey=kept\n"));
    }

    void listingAndTooltips() {
        const Machine machine{onBoard("/dev/ttyS0"), adapter("/dev/ttyUSB0", "A"),
                              adapter("/dev/ttyUSB1", "B")};
        const QString gone = adapter("", "X").stableName;
        const QString path = freshSettingsPath();
        writeFile(path, "[ports]\nCOM1=/dev/ttyS0\nCOM2=" + machine[1].stableName.toUtf8() +
                            "\nCOM3=" + gone.toUtf8() +
                            "\nunnumbered=" + machine[2].stableName.toUtf8() + '\n');
        Settings settings(path);
        Streams io;
        QCOMPARE(listPorts(settings, machine, io.o, io.e), 0);
        const QStringList lines = io.out.split('\n', Qt::SkipEmptyParts);
        const QStringList patterns{
            "^COM +DEVICE +STABLE NAME .* STATE$",
            "^COM1 +/dev/ttyS0 ",
            "^COM2 +/dev/ttyUSB0 +" + QRegularExpression::escape(machine[1].stableName) +
                " +FT232R USB UART +FTDI +A +0403:6001 +\\S",
            "^COM3 +- +" + QRegularExpression::escape(gone) + " .* not plugged in$",
            "^COM4 .* not assigned$",
            "^- +/dev/ttyUSB1 "};
        QCOMPARE(lines.size(), patterns.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression(patterns[i]).match(lines[i]).hasMatch(),
                     qPrintable(lines[i]));

        const PortMap map(settings, machine);
        QCOMPARE(describeCom(map, 2), "COM2: /dev/ttyUSB0, FT232R USB UART, serial A");
        QCOMPARE(describeCom(map, 3), "COM3: " + gone + ", not plugged in");
        QCOMPARE(describeCom(map, 4), "COM4: nothing assigned");
    }

    void stableNames() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("by-id") && QDir(root.path()).mkpath("by-path"));
        for (const char* device : {"tty1", "tty2", "tty3"}) writeFile(root.filePath(device), "");
        for (const auto& [target, name] : {std::pair{"tty1", "by-path/pci-1"},
                                           {"tty1", "by-id/usb-One"},
                                           {"tty2", "by-path/pci-2"}})
            QVERIFY(QFile::link(root.filePath(target), root.filePath(name)));
        // The COM mapping names the adapter (by-id first), a slot names the
        // socket (by-path first); each falls back to the other, then the device.
        const struct {
            const char* device;
            LinkOrder order;
            const char* name;
        } rows[] = {{"tty1", LinkOrder::AdapterFirst, "by-id/usb-One"},
                    {"tty1", LinkOrder::SocketFirst, "by-path/pci-1"},
                    {"tty2", LinkOrder::AdapterFirst, "by-path/pci-2"},
                    {"tty3", LinkOrder::SocketFirst, "tty3"},
                    {"absent", LinkOrder::AdapterFirst, "absent"}};
        for (const auto& row : rows)
            QCOMPARE(stableLinkFor(root.filePath(row.device), row.order, root.path()),
                     root.filePath(row.name));
    }

    void portStates() {
        int masters[3];
        const QString freePty = newPty(&masters[0]), openPty = newPty(&masters[1]),
                      lockedPty = newPty(&masters[2]);
        QVERIFY(!freePty.isEmpty() && !openPty.isEmpty() && !lockedPty.isEmpty());
        const int slave = ::open(qPrintable(openPty), O_RDWR | O_NOCTTY);
        QVERIFY(slave >= 0);
        QProcess holder;
        holder.start("sleep", {"30"});
        QVERIFY(holder.waitForStarted());
        const qint64 holderPid = holder.processId();
        const QString lock = "/tmp/LCK.." + lockedPty.mid(5).replace('/', '_');
        writeFile(lock, QByteArray::number(holderPid).rightJustified(10) + '\n');

        const QStringList states =
            quarn::portStates({freePty, openPty, lockedPty, "/dev/no-such-port"});
        QFile::remove(lock);
        holder.kill();
        holder.waitForFinished();
        ::close(slave);
        for (int master : masters) ::close(master);
        QCOMPARE(states,
                 (QStringList{"free", QString("in use by test_port_map (pid %1)").arg(getpid()),
                              QString("in use by sleep (pid %1)").arg(holderPid), "missing"}));
    }

    // The window shows no standard error: a settings file that could not be
    // written when new ports got numbers is told in the next box, once.
    void unwritableSettingsInTheNextBox() {
        if (discoverPorts().isEmpty()) QSKIP("no serial port here to be numbered");
        QStringList informative;
        const MsgBoxHandler before = setMsgBoxHandler([&](const MsgBoxRequest& box) {
            informative << box.informative;
            return 1;
        });
        qputenv("QUARN_CONFIG_DIR", "/proc/quarn-unwritable");
        resolveComDevice(1);
        resolveComDevice(2);
        qunsetenv("QUARN_CONFIG_DIR");
        MsgBox("Invalid port on this machine", kStyleExclamation, "ERROR!", "why");
        MsgBox("Invalid port on this machine", kStyleExclamation, "ERROR!", "why");
        setMsgBoxHandler(before);
        QCOMPARE(informative.size(), 2);
        QVERIFY2(informative[0].startsWith("why\nThe settings file /proc/quarn-unwritable/"
                                           "quarn-download.conf could not be written: "),
                 qPrintable(informative[0]));
        QCOMPARE(informative[1], QStringLiteral("why"));
    }

    void realDiscovery() {
        for (const PortRecord& port : discoverPorts())
            QVERIFY2(port.device.startsWith("/dev/") && !port.stableName.isEmpty(),
                     qPrintable(port.device));
        Streams io;
        QCOMPARE(listPortsCommand(io.o, io.e), 0);
        QVERIFY2(io.out.count('\n') >= 1 + kComCount && io.err.isEmpty(),
                 qPrintable(io.out + io.err));
    }
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "test_port_map.moc"
