// The three exchanges with the unit, without a window: the bytes on the wire,
// the flags on return, the monitor texts and the counters, against the unit
// simulator on a pseudo-terminal or a far end the test drives byte by byte.

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "link/download_link.h"
#include "tests/support/test_support.h"

using namespace quarn;
using namespace testsupport;

namespace {

const QByteArray kHandshake("\xAA\x55\xAA", 3);

// A link as the download window holds it, on COM1, with the fast clock, and
// contents as the download file of downloadLength bytes.
struct Rig {
    DownloadLink link;
    QBuffer file;
    int16_t length = 0;
    int badReplies = 0;

    explicit Rig(const QByteArray& contents = QByteArray(64, 'x'), int downloadLength = 0) {
        length = static_cast<int16_t>(downloadLength);
        link.startTicker();
        link.onBadReply = [this] { ++badReplies; };
        file.setData(contents);
        file.open(QIODevice::ReadOnly);
    }
    bool open() { return link.OpenCom(1) == DownloadLink::OpenResult::Opened; }
    bool ok() const { return !link.Comm_Timeout && !link.Program_kill; }
    // Handshake and login, as the sequencer runs them before the transfer.
    bool login() {
        link.SendHandshake();
        if (!ok()) return false;
        link.SendPassWord();
        return ok();
    }
};

// Runs fn in the nth event-loop pass of the link's waits from now on, counting from 1.
void atPass(Rig& rig, int n, std::function<void()> fn) {
    auto passes = std::make_shared<int>(0);
    onEachPass(rig.link, [passes, n, fn] {
        if (++*passes == n) fn();
    });
}

// The end byte leaves when the event loop runs next, as in the program.
bool waitForSessions(sim::UnitSim& unit, size_t n, int ms = 3000) {
    return spinUntil([&] { return unit.sessions().size() >= n; }, ms);
}

QByteArray bytesOf(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// Plays a unit on the scripted far end from the link's own event-loop passes:
// echoes the start and confirm bytes and gives each block transmission the
// verdict verdictFor(n), n counting transmissions from 1.
void playUnit(Rig& rig, ScriptedUnit& unit, std::function<int(int)> verdictFor) {
    auto pending = std::make_shared<QByteArray>();
    auto transmissions = std::make_shared<int>(0);
    onEachPass(rig.link, [&unit, pending, transmissions, verdictFor] {
        *pending += unit.readAll();
        if (*pending == bytesOf({1}) || *pending == bytesOf({7})) {
            unit.write(*pending);
            pending->clear();
        } else if (pending->size() >= 65) {
            unit.write(bytesOf({verdictFor(++*transmissions)}));
            pending->clear();
        }
    });
}

}  // namespace

class TestExchanges : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useFastClock(); }

    void handshakeReplies_data();
    void handshakeReplies();
    void handshakeDropsBytesFromThePreSendWait();
    void handshakeStopDuringPreSendWaitStillSends();
    void loginReplies_data();
    void loginReplies();
    void replySplitAcrossReads();
    void replyCompleteInTheTimeoutPass_data();
    void replyCompleteInTheTimeoutPass();

    void transferLengths_data();
    void transferLengths();
    void refusedBlockIsSentAgain();
    void transferFailures_data();
    void transferFailures();
    void stopAtEachTransferWait_data();
    void stopAtEachTransferWait();
    void byteBehindARepeatVerdictIsTheNextReply();
    void monitorTexts();
    void checksumWrapsModulo256();
    void recieveCounterPast32767();
};

void TestExchanges::handshakeReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("monitor");
    QTest::newRow("accepted") << kHandshake << true << "AA,55,AA";
    QTest::newRow("last byte wrong") << bytesOf({0xAA, 0x55, 0xAB}) << false << "AA,55,AB";
    QTest::newRow("first byte zero") << bytesOf({0x00, 0x55, 0xAA}) << false << "0,55,AA";
    QTest::newRow("four bytes: first three decide")
        << bytesOf({0xAA, 0x55, 0xAA, 0x13}) << true << "AA,55,AA";
    QTest::newRow("two bytes: time-out") << bytesOf({0xAA, 0x55}) << false << "";
}

void TestExchanges::handshakeReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QString, monitor);
    ScriptedUnit unit;
    Rig rig;
    QVERIFY(rig.open());
    bool answered = false;
    onEachPass(rig.link, [&] {
        if (!answered && unit.readAll() == kHandshake) {
            unit.write(reply);
            answered = true;
        }
    });
    rig.link.SendHandshake();
    QVERIFY(answered);
    QCOMPARE(rig.ok(), ok);
    QCOMPARE(unit.log, kHandshake);
    QCOMPARE(rig.link.Transmit_counter, 1);
    QCOMPARE(rig.link.monitor.transmit, QStringLiteral("AA,55,AA"));
    if (monitor.isEmpty()) {
        // Nothing was read: the monitor keeps its text and the bytes stay buffered.
        QCOMPARE(rig.link.Recieve_counter, 0);
        QCOMPARE(rig.link.monitor.recieve, QStringLiteral(" "));
        QCOMPARE(rig.link.MSComm1.inBufferCount(), 2);
    } else {
        QCOMPARE(rig.link.Recieve_counter, 1);
        QCOMPARE(rig.link.monitor.recieve, monitor);
    }
}

void TestExchanges::handshakeDropsBytesFromThePreSendWait() {
    ScriptedUnit unit;
    Rig rig;
    QVERIFY(rig.open());
    atPass(rig, 2, [&] { unit.write(kHandshake); });  // early: must not count as the answer
    rig.link.SendHandshake();
    QVERIFY(rig.link.Comm_Timeout);
    QCOMPARE(rig.link.Recieve_counter, 0);
    QCOMPARE(unit.readAll(), kHandshake);  // the request still went out, after the flush
}

void TestExchanges::handshakeStopDuringPreSendWaitStillSends() {
    ScriptedUnit unit;
    Rig rig;
    QVERIFY(rig.open());
    atPass(rig, 1, [&] { rig.link.requestStop(); });
    QElapsedTimer t;
    t.start();
    rig.link.SendHandshake();
    QVERIFY(rig.link.Program_kill);
    QVERIFY(t.elapsed() < 100);  // the reply wait ended at its first pass, not by time-out
    QVERIFY(spinUntil([&] { return unit.readAll().size() + unit.log.size() >= 3; }, 1000));
    QCOMPARE(unit.log, kHandshake);
}

void TestExchanges::loginReplies_data() {
    QTest::addColumn<int>("kind");  // sim::FaultKind
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("monitor");
    QTest::newRow("accepted") << int(sim::FaultKind::None) << QByteArray() << true << "88";
    QTest::newRow("refused 0x08") << int(sim::FaultKind::WrongByte) << bytesOf({0x08}) << false
                                  << "8";
    QTest::newRow("extra bytes after 0x88")
        << int(sim::FaultKind::ExtraBytes) << bytesOf({1, 2, 3}) << true << "88";
    QTest::newRow("silence") << int(sim::FaultKind::Silence) << QByteArray() << false << "AA,55,AA";
}

void TestExchanges::loginReplies() {
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, monitor);
    sim::Config cfg;
    cfg.faults[sim::Stage::Login] = makeFault(static_cast<sim::FaultKind>(kind), bytes);
    SimPort port(cfg);
    Rig rig;
    QVERIFY(rig.open());
    rig.link.SendHandshake();
    QVERIFY(rig.ok());
    rig.link.SendPassWord();
    QCOMPARE(rig.ok(), ok);
    QCOMPARE(rig.link.monitor.transmit, QStringLiteral("4C,41,4E,54"));
    QCOMPARE(rig.link.monitor.lastTransmit, QStringLiteral("AA,55,AA"));
    QCOMPARE(rig.link.monitor.recieve, monitor);
    QCOMPARE(rig.link.Transmit_counter, 2);
    QVERIFY(spinUntil([&] { return port.unit().received().size() >= 11; }, 1000));
    QCOMPARE(toQByteArray(port.unit().received()), kHandshake + DownloadLink::kPassword);
}

void TestExchanges::replySplitAcrossReads() {
    ScriptedUnit unit;
    Rig rig;
    QVERIFY(rig.open());
    int passes = 0;
    bool sent = false;
    onEachPass(rig.link, [&] {
        if (!sent && unit.readAll() == kHandshake) sent = true, passes = 0;
        if (!sent) return;
        ++passes;  // one byte every other pass: the wait must keep collecting
        if (passes == 1) unit.write(bytesOf({0xAA}));
        if (passes == 3) unit.write(bytesOf({0x55}));
        if (passes == 5) unit.write(bytesOf({0xAA}));
    });
    rig.link.SendHandshake();
    QVERIFY(rig.ok());
    QCOMPARE(rig.link.monitor.recieve, QStringLiteral("AA,55,AA"));
}

void TestExchanges::replyCompleteInTheTimeoutPass_data() {
    QTest::addColumn<int>("stage");  // 0 handshake, 1 login
    QTest::newRow("handshake") << 0;
    QTest::newRow("login") << 1;
}

void TestExchanges::replyCompleteInTheTimeoutPass() {
    QFETCH(int, stage);
    ScriptedUnit unit;
    Rig rig;
    QVERIFY(rig.open());
    const QByteArray request = stage == 0 ? kHandshake : DownloadLink::kPassword;
    const QByteArray reply = stage == 0 ? kHandshake : bytesOf({0x88});
    bool replied = false;
    bool timedOutInSamePass = false;
    onEachPass(rig.link, [&] {
        if (!replied && unit.readAll().endsWith(request)) {
            unit.write(reply);
            replied = true;
        }
        // The reply is complete: let the time-out rise in this same pass.
        if (replied && !timedOutInSamePass && rig.link.MSComm1.inBufferCount() >= reply.size()) {
            for (int i = 0; i < rig.link.Timeout_timer; ++i) rig.link.Timer2_Timer();
            timedOutInSamePass = true;
        }
    });
    if (stage == 0)
        rig.link.SendHandshake();
    else
        rig.link.SendPassWord();
    QVERIFY(timedOutInSamePass);
    QVERIFY(rig.link.Comm_Timeout);         // the stage counts as failed ...
    QCOMPARE(rig.link.Recieve_counter, 1);  // ... although the reply was read and shown
    QCOMPARE(rig.link.monitor.recieve,
             stage == 0 ? QStringLiteral("AA,55,AA") : QStringLiteral("88"));
}

void TestExchanges::transferLengths_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("blocks");
    QTest::newRow("0") << 0 << 1 << 1;
    QTest::newRow("1") << 1 << 1 << 1;  // the second byte is read past the end: 0x00
    QTest::newRow("63") << 63 << 64 << 1;
    QTest::newRow("64") << 64 << 64 << 1;
    QTest::newRow("100") << 100 << 101 << 2;
    QTest::newRow("127") << 127 << 127 << 2;
    QTest::newRow("128") << 128 << 200 << 2;
    QTest::newRow("negative") << -7 << 10 << 1;
    QTest::newRow("32767") << 32767 << 32767 << 512;
}

void TestExchanges::transferLengths() {
    QFETCH(int, length);
    QFETCH(int, fileSize);
    QFETCH(int, blocks);
    const QByteArray file = patternBytes(fileSize, static_cast<uint32_t>(fileSize + 11));
    SimPort port;
    Rig rig(file, length);
    QVERIFY(rig.open());
    QVERIFY(rig.login());
    QElapsedTimer t;
    t.start();
    rig.link.SendFile(rig.file, rig.length);
    const qint64 ms = t.elapsed();
    QVERIFY(rig.ok());
    QVERIFY(waitForSessions(port.unit(), 1));
    const sim::SessionSummary s = port.unit().sessions().at(0);
    QCOMPARE(s.blocks, blocks);
    QCOMPARE(toQByteArray(s.image), toQByteArray(sim::expectedImage(toBytes(file), length)));
    const QByteArray wire = toQByteArray(port.unit().received()).mid(11);
    QCOMPARE(wire, expectedTransferWire(file, length));
    // start byte, per block opener + 64 data bytes, end byte; replies: start echo, 2 per block
    QCOMPARE(rig.link.Transmit_counter, 2 + 1 + blocks * 65 + 1);
    QCOMPARE(rig.link.Recieve_counter, 2 + 1 + blocks * 2);
    if (length == 32767) qInfo("transfer of 32768 bytes in 512 blocks: %lld ms", ms);
}

void TestExchanges::refusedBlockIsSentAgain() {
    sim::Config cfg;
    cfg.refuseBlock = 1;
    cfg.refuseTimes = 2;
    SimPort port(cfg);
    const QByteArray file = patternBytes(128);
    Rig rig(file, 128);
    QVERIFY(rig.open());
    QVERIFY(rig.login());
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.ok());
    QVERIFY(waitForSessions(port.unit(), 1));
    QCOMPARE(port.unit().sessions().at(0).repeats, 2);
    QCOMPARE(toQByteArray(port.unit().sessions().at(0).image), file);
    // Block 1 on the wire: the opener once, checksum and data three times.
    const QByteArray wire = toQByteArray(port.unit().received()).mid(11);
    const QByteArray block1 = file.mid(64, 64);
    uint8_t sum = 0;
    for (char c : block1) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    const QByteArray once = QByteArray(1, static_cast<char>(sum)) + block1;
    QCOMPARE(wire.mid(1 + 67), QByteArray("\x03", 1) + once + once + once + "\x07\x0F");
    QCOMPARE(rig.link.Transmit_counter, 2 + 1 + 65 + (1 + 3 * 64) + 1);
    QCOMPARE(rig.link.Recieve_counter, 2 + 1 + 2 + 4);
}

void TestExchanges::transferFailures_data() {
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("badReplies");
    QTest::addColumn<QString>("recieve");
    QTest::addColumn<QByteArray>("wireTail");  // what the program sent last
    using K = sim::FaultKind;
    using S = sim::Stage;
    QTest::newRow("wrong start echo")
        << int(S::StartEcho) << int(K::WrongByte) << bytesOf({2}) << 0 << "2" << bytesOf({1});
    QTest::newRow("silent start") << int(S::StartEcho) << int(K::Silence) << QByteArray() << 0
                                  << "88" << bytesOf({1});
    QTest::newRow("verdict 0x15") << int(S::Verdict) << int(K::WrongByte) << bytesOf({0x15}) << 1
                                  << "15" << QByteArray();
    QTest::newRow("silent verdict")
        << int(S::Verdict) << int(K::Silence) << QByteArray() << 0 << "1" << QByteArray();
    QTest::newRow("wrong confirm echo")
        << int(S::ConfirmEcho) << int(K::WrongByte) << bytesOf({8}) << 1 << "8" << bytesOf({7});
    QTest::newRow("silent confirm")
        << int(S::ConfirmEcho) << int(K::Silence) << QByteArray() << 0 << "3" << bytesOf({7});
}

void TestExchanges::transferFailures() {
    QFETCH(int, stage);
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(int, badReplies);
    QFETCH(QString, recieve);
    QFETCH(QByteArray, wireTail);
    sim::Config cfg;
    cfg.faults[static_cast<sim::Stage>(stage)] =
        makeFault(static_cast<sim::FaultKind>(kind), bytes);
    SimPort port(cfg);
    const QByteArray file = patternBytes(64);
    Rig rig(file, 64);
    QVERIFY(rig.open());
    QVERIFY(rig.login());
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.link.Comm_Timeout);
    QVERIFY(!rig.link.Program_kill);
    QCOMPARE(rig.badReplies, badReplies);
    QCOMPARE(rig.file.isOpen(), badReplies == 0);
    QCOMPARE(rig.link.monitor.recieve, recieve);
    QTest::qWait(50);
    const QByteArray wire = toQByteArray(port.unit().received());
    QVERIFY(!wire.endsWith('\x0F'));  // never the end byte after a failure
    if (wireTail.isEmpty())
        QVERIFY(wire.endsWith(file));  // nothing after the block
    else
        QVERIFY(wire.endsWith(wireTail));
    QVERIFY(port.unit().sessions().empty());
}

void TestExchanges::stopAtEachTransferWait_data() {
    QTest::addColumn<int>("stage");
    QTest::newRow("start echo") << int(sim::Stage::StartEcho);
    QTest::newRow("verdict") << int(sim::Stage::Verdict);
    QTest::newRow("confirm echo") << int(sim::Stage::ConfirmEcho);
}

void TestExchanges::stopAtEachTransferWait() {
    QFETCH(int, stage);
    sim::Config cfg;
    cfg.faults[static_cast<sim::Stage>(stage)] = makeFault(sim::FaultKind::Silence);
    SimPort port(cfg);
    Rig rig(patternBytes(64), 64);
    QVERIFY(rig.open());
    QVERIFY(rig.login());
    const size_t before = port.unit().received().size();
    // Replies so far: handshake and login; the start echo makes 3, the verdict 4.
    const int repliesBefore = stage == int(sim::Stage::StartEcho) ? 2
                              : stage == int(sim::Stage::Verdict) ? 3
                                                                  : 4;
    int passesThere = 0;
    onEachPass(rig.link, [&] {
        if (rig.link.Recieve_counter == repliesBefore && ++passesThere == 2)
            rig.link.requestStop();  // Cancel while waiting there
    });
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.link.Program_kill);
    QVERIFY(rig.file.isOpen());
    QTest::qWait(50);
    const QByteArray wire = toQByteArray(port.unit().received()).mid(static_cast<int>(before));
    const int expectedSize = stage == int(sim::Stage::StartEcho) ? 1
                             : stage == int(sim::Stage::Verdict) ? 67
                                                                 : 68;
    QCOMPARE(wire.size(), expectedSize);  // nothing after the stop was seen
}

void TestExchanges::byteBehindARepeatVerdictIsTheNextReply() {
    ScriptedUnit unit;
    const QByteArray file = patternBytes(64);
    Rig rig(file, 64);
    QVERIFY(rig.open());
    // The far end's script: how many bytes it waits for at each step, and its answer.
    const QList<QPair<int, QByteArray>> script = {
        {1, bytesOf({1})},            // start byte: echo
        {66, bytesOf({0xFF, 0x03})},  // opener, checksum, data: refusal with a stray 0x03 behind it
        {66, bytesOf({7, 0x03})},     // the repeat (65) and the confirm byte: echo, another stray
    };
    int step = 0;
    QByteArray pending;
    onEachPass(rig.link, [&] {
        pending += unit.readAll();
        if (step < script.size() && pending.size() >= script[step].first) {
            pending.remove(0, script[step].first);
            unit.write(script[step++].second);
        }
    });
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.ok());
    QVERIFY(spinUntil(
        [&] {
            unit.readAll();
            return unit.log.endsWith('\x0F');
        },
        1000));
    uint8_t sum = 0;
    for (char c : file) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    const QByteArray once = QByteArray(1, static_cast<char>(sum)) + file;
    // The stray 0x03 behind the refusal was taken as the verdict of the repeat.
    QCOMPARE(unit.log, bytesOf({1, 3}) + once + once + bytesOf({7, 0x0F}));
    QCOMPARE(rig.link.MSComm1.inBufferCount(), 1);  // the stray byte behind the echo stays buffered
}

void TestExchanges::monitorTexts() {
    ScriptedUnit unit;
    QByteArray block = bytesOf({0x10, 0x20, 0x0A, 0x00, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05});
    block += patternBytes(54);
    Rig rig(block, 64);
    QVERIFY(rig.open());
    QStringList transmitSeen, recieveSeen;
    rig.link.onMonitor = [&] {
        if (transmitSeen.isEmpty() || transmitSeen.last() != rig.link.monitor.transmit)
            transmitSeen << rig.link.monitor.transmit;
        if (recieveSeen.isEmpty() || recieveSeen.last() != rig.link.monitor.recieve)
            recieveSeen << rig.link.monitor.recieve;
    };
    playUnit(rig, unit, [](int) { return 0x03; });
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.ok());
    const QString blockText = QStringLiteral("20,A,0,FF,1,2,3,4,5,");
    QCOMPARE(transmitSeen, (QStringList{"1", blockText, "F"}));
    QCOMPARE(rig.link.monitor.lastTransmit, blockText);
    QCOMPARE(recieveSeen, (QStringList{" ", "1", "3", "7"}));  // from the text it had before
    QCOMPARE(rig.link.monitor.lastRecieve, QStringLiteral("3"));
    QCOMPARE(rig.link.monitor.transmitCount, QStringLiteral("67"));
    QCOMPARE(rig.link.monitor.recieveCount, QStringLiteral("3"));
}

void TestExchanges::checksumWrapsModulo256() {
    ScriptedUnit unit;
    Rig rig(bytesOf({0xFF, 0xFF, 0x03}), 2);  // three file bytes, then padding
    QVERIFY(rig.open());
    playUnit(rig, unit, [](int) { return 0x03; });
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.ok());
    QCOMPARE(unit.log.mid(1, 5), bytesOf({0x03, 0x01, 0xFF, 0xFF, 0x03}));
    QCOMPARE(rig.link.Checksum, int16_t(1));
}

void TestExchanges::recieveCounterPast32767() {
    // A unit that keeps refusing: the receive count goes on past 16 bits.
    ScriptedUnit unit;
    Rig rig(patternBytes(64), 64);
    QVERIFY(rig.open());
    rig.link.Recieve_counter = 32760;
    playUnit(rig, unit, [](int n) { return n <= 12 ? 0xFF : 0x03; });
    rig.link.SendFile(rig.file, rig.length);
    QVERIFY(rig.ok());
    QCOMPARE(rig.link.Recieve_counter, 32760 + 1 + 13 + 1);
    QCOMPARE(rig.link.monitor.recieveCount, QStringLiteral("32775"));
}

QTEST_GUILESS_MAIN(TestExchanges)
#include "test_exchanges.moc"
