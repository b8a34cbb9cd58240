// Every fault the simulator can act out, at every point of a session where the
// program waits for the unit: one whole session per row through the download
// window. The expected end state of each row follows from the sequencer's
// rules (see expectFor); a session reported good must have left exactly the
// expected image in the unit, and a session that failed must not report good.

#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <iterator>
#include <thread>
#include <vector>

#include "link/download_link.h"
#include "tests/support/window_rig.h"
#include "ui/globals.h"

using namespace quarn;
using namespace testsupport;
using Rig = testsupport::WindowRig;

namespace {

using K = sim::FaultKind;

// Where the program waits. PreSend is the quiet wait before the handshake:
// whatever arrives then must be dropped.
enum class At { PreSend, Handshake, Login, StartEcho, Verdict, ConfirmEcho };
// The faults; the two delays sit either side of the 140 to 160 ms time-out.
enum class Fault { Silence, WrongByte, ExtraBytes, DelayUnder, DelayOver, HangUp, Flood };
// Rows beyond the plain stage x fault grid.
enum class Twist { None, EarlyReplyThenSilence, ExtraAfterRefusal, ExtraAfterLastEcho };

constexpr int kLength = 150;    // 151 bytes: three blocks, the last one padded
constexpr int kFaultBlock = 1;  // per-block faults act on the middle block
constexpr int kLastBlock = 2;
constexpr int kDelayUnderMs = 60;
constexpr int kDelayOverMs = 400;
constexpr size_t kFloodBytes = 200000;       // three times the program's read buffer
constexpr size_t kPreSendFloodBytes = 2000;  // what 9600 baud carries in the 2 s pre-send wait

const At kStages[] = {At::PreSend,   At::Handshake, At::Login,
                      At::StartEcho, At::Verdict,   At::ConfirmEcho};
const Fault kFaults[] = {Fault::Silence,   Fault::WrongByte, Fault::ExtraBytes, Fault::DelayUnder,
                         Fault::DelayOver, Fault::HangUp,    Fault::Flood};

const char* stageName(At a) {
    switch (a) {
        case At::PreSend:
            return "pre-send wait";
        case At::Handshake:
            return "handshake reply";
        case At::Login:
            return "login reply";
        case At::StartEcho:
            return "start echo";
        case At::Verdict:
            return "verdict";
        case At::ConfirmEcho:
            return "confirm echo";
    }
    return "?";
}

const char* faultName(Fault f) {
    switch (f) {
        case Fault::Silence:
            return "silence";
        case Fault::WrongByte:
            return "wrong byte";
        case Fault::ExtraBytes:
            return "extra bytes";
        case Fault::DelayUnder:
            return "delay under the time-out";
        case Fault::DelayOver:
            return "delay over the time-out";
        case Fault::HangUp:
            return "hang-up";
        case Fault::Flood:
            return "flood";
    }
    return "?";
}

sim::Stage simStage(At a) {
    switch (a) {
        case At::PreSend:
        case At::Handshake:
            return sim::Stage::Handshake;
        case At::Login:
            return sim::Stage::Login;
        case At::StartEcho:
            return sim::Stage::StartEcho;
        case At::Verdict:
            return sim::Stage::Verdict;
        case At::ConfirmEcho:
            return sim::Stage::ConfirmEcho;
    }
    return sim::Stage::Handshake;
}

// A wrong reply for each stage: close to the right one where that is possible.
QByteArray wrongBytes(At a) {
    switch (a) {
        case At::PreSend:
            return QByteArray("\x00\x55\xAA", 3);  // taken as the reply, it would fail
        case At::Handshake:
            return QByteArray("\xAA\x55\xAB", 3);
        case At::Login:
            return QByteArray("\x08", 1);
        case At::StartEcho:
            return QByteArray("\x02", 1);
        case At::Verdict:
            return QByteArray("\x15", 1);
        case At::ConfirmEcho:
            return QByteArray("\x08", 1);
    }
    return {};
}

// Bytes behind a good reply, each chosen so that it would change the outcome
// if it were taken as the next reply instead of being dropped.
QByteArray extraBytes(At a) {
    switch (a) {
        case At::PreSend:
            return QByteArray("\x00", 1);
        case At::Handshake:
            return QByteArray("\x00", 1);  // a login refusal
        case At::Login:
            return QByteArray("\x02", 1);  // a wrong start echo
        case At::StartEcho:
            return QByteArray("\x15", 1);  // a bad verdict
        case At::Verdict:
            return QByteArray("\x15", 1);  // a wrong confirm echo
        case At::ConfirmEcho:
            return QByteArray("\x03", 1);  // an accept verdict, ahead of the unit's
    }
    return {};
}

bool perBlock(At a) { return a == At::Verdict || a == At::ConfirmEcho; }

// What the program makes of the unit's reply at a stage.
enum class Reply { InTime, Missing, Wrong };

// The whole expected end state of a session.
struct Expect {
    bool good = false;
    QString box;  // the one box of a failed session
    QString line;
    Indicator indicator = Indicator::Ready;
    bool reload = false;
    bool portOpen = false;
};

// The sequencer's rules, applied to one row.
// What the window shows when the exchange at stage got reply; lineGone: the
// port vanished, so it is closed at the end.
Expect expectAt(At stage, Reply reply, bool lineGone) {
    Expect e;
    if (reply == Reply::InTime) {
        e.good = true;
        e.line = kLineGood;
        e.indicator = Indicator::Ready;
        return e;
    }
    switch (stage) {
        case At::PreSend:
        case At::Handshake:
            e = {false, kHandshakeBox, kHandshakeBox, Indicator::Failure, true, false};
            break;
        case At::Login:
            e = {false, kLoginBox, kLoginBox, Indicator::Failure, true, false};
            break;
        case At::StartEcho:
        case At::Verdict:
        case At::ConfirmEcho:
            // Once the box is answered the message line repeats it, whether
            // the transfer ended plainly or by the bad-reply exit.
            e = {false, kStopBox, kStopBox, Indicator::Ready, true, !lineGone};
            break;
    }
    return e;
}

Expect expectFor(At at, Fault fault, Twist twist) {
    At stage = at;
    Reply reply = Reply::InTime;
    bool lineGone = fault == Fault::HangUp;
    if (at == At::PreSend) {
        // Everything that arrives before the request is dropped; the unit
        // then answers the request itself, unless it is no longer there or
        // the row makes it silent.
        stage = At::Handshake;
        if (fault == Fault::HangUp || twist == Twist::EarlyReplyThenSilence) reply = Reply::Missing;
    } else {
        switch (fault) {
            case Fault::Silence:
            case Fault::DelayOver:
            case Fault::HangUp:
                reply = Reply::Missing;
                break;
            case Fault::WrongByte:
            case Fault::Flood:
                reply = Reply::Wrong;
                break;
            case Fault::DelayUnder:
                reply = Reply::InTime;
                break;
            case Fault::ExtraBytes:
                // Dropped by the flush that follows the handshake reply, the
                // login reply, the start echo and an accept verdict. After a
                // confirm echo (or a refusal) nothing is flushed: the stray
                // accept is taken as the next verdict, and the unit's real
                // verdict then arrives where the confirm echo is awaited.
                if ((at == At::ConfirmEcho && twist != Twist::ExtraAfterLastEcho) ||
                    twist == Twist::ExtraAfterRefusal) {
                    stage = At::ConfirmEcho;
                    reply = Reply::Wrong;
                }
                break;
        }
    }

    return expectAt(stage, reply, lineGone);
}

struct Row {
    QString name;
    At at;
    Fault fault;
    Twist twist;
};

std::vector<Row> rows() {
    std::vector<Row> out;
    for (At at : kStages) {
        for (Fault fault : kFaults) {
            // Nothing is awaited in the pre-send wait, so a reply cannot be late there.
            if (at == At::PreSend && fault == Fault::DelayOver) continue;
            out.push_back({QStringLiteral("%1: %2").arg(stageName(at), faultName(fault)), at, fault,
                           Twist::None});
        }
    }
    out.push_back({QStringLiteral("pre-send wait: a whole reply, then a silent unit"), At::PreSend,
                   Fault::ExtraBytes, Twist::EarlyReplyThenSilence});
    out.push_back({QStringLiteral("verdict: a refusal with an accept behind it"), At::Verdict,
                   Fault::ExtraBytes, Twist::ExtraAfterRefusal});
    out.push_back({QStringLiteral("confirm echo: extra bytes after the last block's echo"),
                   At::ConfirmEcho, Fault::ExtraBytes, Twist::ExtraAfterLastEcho});
    return out;
}

sim::Fault simFault(const Row& r) {
    sim::Fault f;
    switch (r.fault) {
        case Fault::Silence:
            f.kind = K::Silence;
            break;
        case Fault::WrongByte:
            f = makeFault(K::WrongByte, wrongBytes(r.at));
            break;
        case Fault::ExtraBytes:
            f = makeFault(K::ExtraBytes, extraBytes(r.at));
            break;
        case Fault::DelayUnder:
            f.kind = K::Delay;
            f.delayMs = kDelayUnderMs;
            break;
        case Fault::DelayOver:
            f.kind = K::Delay;
            f.delayMs = kDelayOverMs;
            break;
        case Fault::HangUp:
            f.kind = K::HangUp;
            break;
        case Fault::Flood:
            f.kind = K::Flood;
            f.floodBytes = r.at == At::PreSend ? kPreSendFloodBytes : kFloodBytes;
            break;
    }
    if (perBlock(r.at))
        f.onlyBlock = r.twist == Twist::ExtraAfterLastEcho ? kLastBlock : kFaultBlock;
    if (r.at == At::PreSend || r.twist == Twist::ExtraAfterRefusal) f.times = 1;
    return f;
}

// How many bytes the simulator sends when it answers a handshake with fault f.
uint64_t replyBytes(const sim::Fault& f) {
    switch (f.kind) {
        case K::WrongByte:
            return f.bytes.size();
        case K::ExtraBytes:
            return 3 + f.bytes.size();
        case K::Flood:
            return f.floodBytes;
        default:
            return 3;
    }
}

// Makes the unit talk during the pre-send wait: a handshake written into the
// line from the program's side reaches the simulator, which answers it (with
// the row's fault) into the program's receive buffer; then the simulator is
// repowered so that it waits for the program's own handshake.
void talkDuringPreSend(Rig& rig, const sim::Fault& reflection, bool thenSilent) {
    sim::UnitSim& unit = rig.port->unit();
    const uint64_t before = unit.sentCount();
    const int fd = ::open(unit.devicePath().c_str(), O_WRONLY | O_NOCTTY);
    QVERIFY2(fd >= 0, "cannot open the line from the program's side");
    QCOMPARE(::write(fd, "\xAA\x55\xAA", 3), ssize_t(3));
    ::close(fd);
    const bool hangUp = reflection.kind == K::HangUp;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 2000 &&
           (hangUp ? !unit.hungUp() : unit.sentCount() < before + replyBytes(reflection)))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (hangUp) {
        QVERIFY(unit.hungUp());
        return;
    }
    QCOMPARE(unit.sentCount(), before + replyBytes(reflection));
    unit.repower();
    if (thenSilent) unit.setFault(sim::Stage::Handshake, makeFault(K::Silence));
}

}  // namespace

class TestFaultMatrix : public ProgramTest {
    Q_OBJECT
private slots:
    void initTestCase() { timer_.start(); }
    void cleanupTestCase() {
        qInfo(
            "fault matrix: %d sessions (%d stages x %d faults, less the rows that cannot occur, "
            "plus 3 more), %d good with an exact image, %d failed with their box, %.1f s",
            good_ + failed_, int(std::size(kStages)), int(std::size(kFaults)), good_, failed_,
            timer_.elapsed() / 1000.0);
    }

    void faultAtEachStage_data();
    void faultAtEachStage();

private:
    QElapsedTimer timer_;
    int good_ = 0;
    int failed_ = 0;
};

void TestFaultMatrix::faultAtEachStage_data() {
    QTest::addColumn<int>("index");
    const auto all = rows();
    for (size_t i = 0; i < all.size(); ++i) QTest::newRow(qPrintable(all[i].name)) << int(i);
}

// The simulated unit of a row: the fault at its stage (a pre-send fault that
// talks is acted by the test instead), and what the row's twist adds.
static sim::Config unitFor(const Row& row, const sim::Fault& fault, bool talksEarly) {
    sim::Config cfg;
    if (row.at != At::PreSend || talksEarly) cfg.faults[simStage(row.at)] = fault;
    if (row.at == At::ConfirmEcho && row.fault == Fault::ExtraBytes &&
        row.twist != Twist::ExtraAfterLastEcho) {
        // The unit's real verdict on the next block comes late enough to miss
        // the flush that follows the stray accept, as it does on a real line;
        // on a loaded machine it could otherwise arrive first and be flushed.
        cfg.faults[sim::Stage::Verdict] = makeFault(K::Delay, {}, -1, kFaultBlock + 1);
        cfg.faults[sim::Stage::Verdict].delayMs = 100;
    }
    if (row.twist == Twist::ExtraAfterRefusal) {
        cfg.refuseBlock = kFaultBlock;
        cfg.refuseTimes = 1;
    }
    return cfg;
}

void TestFaultMatrix::faultAtEachStage() {
    QFETCH(int, index);
    const Row row = rows()[size_t(index)];
    const Expect want = expectFor(row.at, row.fault, row.twist);

    const sim::Fault fault = simFault(row);
    const bool talksEarly = row.at == At::PreSend && row.fault != Fault::Silence;
    Rig rig(unitFor(row, fault, talksEarly), kLength);
    bool done = false;
    if (talksEarly) {
        rig.onEachPass([&] {
            if (done || rig.f->link.Transmit_counter != 0) return;
            done = true;
            talkDuringPreSend(rig, fault, row.twist == Twist::EarlyReplyThenSilence);
        });
    }

    rig.start();
    QTest::qWait(30);  // let anything still on its way reach the unit

    const QStringList prompts = rig.boxes.prompts();
    if (want.good) {
        ++good_;
        QCOMPARE(prompts, QStringList{kEndMessage});
        QCOMPARE(rig.linesAtBoxes.value(0), kLineGood);
        QVERIFY(rig.port->unit().waitForSessions(1, 2000));
        QCOMPARE(rig.lastImage(), rig.expectedImage());
        QVERIFY(!rig.f->isLoaded());
        QCOMPARE(programEndCode(), 0);
    } else {
        ++failed_;
        QCOMPARE(prompts, QStringList{want.box});
        QVERIFY(!rig.reportedGood());
        QVERIFY(rig.port->unit().sessions().empty());  // the unit never saw the end byte
        QVERIFY(rig.f->isLoaded());
        QCOMPARE(programEndCode(), -1);
        QVERIFY(!rig.f->Download_start);
        QCOMPARE(rig.f->ReloadCommand->isEnabled(), want.reload);
        QCOMPARE(rig.f->link.MSComm1.portOpen(), want.portOpen);
        // A unit that keeps talking cannot grow the program's memory.
        QVERIFY(rig.f->link.MSComm1.bufferedBytes() <= SerialPort::kReadBufferCap);
    }
    QCOMPARE(rig.f->Label2->text(), want.line);
    QCOMPARE(indicatorName(indicatorOf(rig.f)), indicatorName(want.indicator));
    QVERIFY(!rig.f->File1.isOpen());
    if (!want.good && row.fault == Fault::HangUp) QVERIFY(rig.port->unit().hungUp());
}

QTEST_MAIN(TestFaultMatrix)
#include "test_fault_matrix.moc"
