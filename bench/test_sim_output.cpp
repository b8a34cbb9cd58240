// The reader of the simulator's output: whole lines only, however the bytes
// arrive, and the figures taken from the session lines.

#include <QtTest>

#include "bench/sim_output.h"

class TestSimOutput : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
};

namespace {
const QByteArray kStart = "device: /dev/pts/7 link: /tmp/q/COM1\n";
const QByteArray kSession1 =
    "session 1: blocks 512, repeats 0, corrupted 0, bytes 32768, transfer 0.0931 s, wire 35.1365 "
    "s\n";
const QByteArray kSession2 =
    "session 2: blocks 2, repeats 3, corrupted 1, bytes 128, transfer 1.5000 s, wire 0.4000 s\n";
}  // namespace

void TestSimOutput::lines_data() {
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("chunk");  // bytes fed at a time; 0 = all at once
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<double>("lastTransfer");
    QTest::addColumn<double>("lastWire");
    QTest::addColumn<int>("others");

    const QByteArray both = kStart + kSession1 + kSession2;
    QTest::newRow("all at once") << both << 0 << "/dev/pts/7"
                                 << "/tmp/q/COM1" << 2 << 1.5 << 0.4 << 0;
    QTest::newRow("byte by byte") << both << 1 << "/dev/pts/7"
                                  << "/tmp/q/COM1" << 2 << 1.5 << 0.4 << 0;
    QTest::newRow("odd pieces") << both << 7 << "/dev/pts/7"
                                << "/tmp/q/COM1" << 2 << 1.5 << 0.4 << 0;
    QTest::newRow("last line not ended yet")
        << kStart + kSession1 + kSession2.chopped(1) << 0 << "/dev/pts/7"
        << "/tmp/q/COM1" << 1 << 0.0931 << 35.1365 << 0;
    QTest::newRow("no link") << QByteArray("device: /dev/pts/3\n") << 0 << "/dev/pts/3"
                             << "" << 0 << 0.0 << 0.0 << 0;
    QTest::newRow("new device after a hang-up") << kStart + "device: /dev/pts/9 link: /tmp/q/COM1\n"
                                                << 3 << "/dev/pts/9"
                                                << "/tmp/q/COM1" << 0 << 0.0 << 0.0 << 0;
    QTest::newRow("malformed session line is no session")
        << kStart + "session 1: blocks 512, transfer fast\n\n"
        << 0 << "/dev/pts/7"
        << "/tmp/q/COM1" << 0 << 0.0 << 0.0 << 1;
}

void TestSimOutput::lines() {
    QFETCH(QByteArray, output);
    QFETCH(int, chunk);
    QFETCH(QString, device);
    QFETCH(QString, link);
    QFETCH(int, sessions);
    QFETCH(double, lastTransfer);
    QFETCH(double, lastWire);
    QFETCH(int, others);

    bench::SimOutput out;
    const int step = chunk > 0 ? chunk : int(output.size());
    for (int at = 0; at < output.size(); at += step) out.feed(output.mid(at, step));

    QCOMPARE(out.device(), device);
    QCOMPARE(out.link(), link);
    QCOMPARE(int(out.sessions().size()), sessions);
    QCOMPARE(out.otherLines().size(), others);
    if (sessions > 0) {
        const bench::SimSession& s = out.sessions().back();
        QCOMPARE(s.number, sessions);
        QCOMPARE(s.transferSeconds, lastTransfer);
        QCOMPARE(s.wireSeconds, lastWire);
    }
    if (sessions == 2) {
        const bench::SimSession& s = out.sessions()[1];
        QCOMPARE(s.blocks, 2);
        QCOMPARE(s.repeats, 3);
        QCOMPARE(s.corrupted, 1);
        QCOMPARE(s.bytes, qint64(128));
    }
}

QTEST_GUILESS_MAIN(TestSimOutput)
#include "test_sim_output.moc"
