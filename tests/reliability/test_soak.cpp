// A long run of sessions in one process, the way a technician works through a
// bad afternoon: a session fails, Reload (after repowering the unit), another
// failure, Cancel and Reload, ... and now and then a good download, which ends
// the program; the next one starts in a fresh window. Open descriptors and
// resident memory must come back to where they were after a warm-up.

#include <malloc.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPixmapCache>
#include <QPushButton>
#include <QtTest>

#include "link/download_link.h"
#include "tests/support/window_rig.h"
#include "ui/globals.h"

using namespace quarn;
using namespace testsupport;
using Rig = testsupport::WindowRig;

#ifndef QUARN_SOAK_SESSIONS
#define QUARN_SOAK_SESSIONS 200
#endif

namespace {

using K = sim::FaultKind;
using S = sim::Stage;

// One cycle of sessions: four kinds of failure, then a good download.
enum class Kind { HandshakeSilent, LoginRefused, VerdictSilent, CancelInTransfer, Good };
const Kind kCycle[] = {Kind::HandshakeSilent, Kind::LoginRefused, Kind::VerdictSilent,
                       Kind::CancelInTransfer, Kind::Good};
constexpr int kCycleLength = int(std::size(kCycle));
constexpr int kWarmUpCycles = 2;

// Resident memory with Qt's pixmap cache emptied and freed memory handed back.
// Every fresh window paints its controls with new palettes, and the style
// caches those pixmaps up to the cache's limit (10 MiB): bounded, and not the
// program's, but it would hide a leak of the program's own.
long settledResidentKb() {
    QPixmapCache::clear();
    malloc_trim(0);
    return residentKb();
}

QString boxOf(Kind k) {
    switch (k) {
        case Kind::HandshakeSilent:
            return kHandshakeBox;
        case Kind::LoginRefused:
            return kLoginBox;
        case Kind::VerdictSilent:
        case Kind::CancelInTransfer:
            return kStopBox;
        case Kind::Good:
            return kEndMessage;
    }
    return {};
}

void arrangeUnit(sim::UnitSim& unit, Kind k) {
    unit.clearFaults();
    unit.clearLog();
    if (k == Kind::HandshakeSilent) unit.setFault(S::Handshake, makeFault(K::Silence));
    if (k == Kind::LoginRefused)
        unit.setFault(S::Login, makeFault(K::WrongByte, QByteArray("\x00", 1)));
    if (k == Kind::VerdictSilent) unit.setFault(S::Verdict, makeFault(K::Silence, {}, -1, 1));
}

}  // namespace

class TestSoak : public ProgramTest {
    Q_OBJECT
public:
    TestSoak() : ProgramTest(useBriskClock) {}

private slots:
    void sessionsThroughReload();
};

// Session i of a cycle, of its kind, started as the technician would: the
// first by the start, the others by Reload after repowering. Counts it.
static void oneSession(Rig& rig, int i, int& count) {
    const Kind kind = kCycle[i];
    arrangeUnit(rig.port->unit(), kind);
    rig.clearBoxes();
    const size_t complete = rig.port->unit().sessions().size();
    if (i == 0) {
        rig.start();
    } else {
        // Reload is disabled after a login failure and a failed
        // transfer: the technician gets it back with Cancel.
        if (!rig.f->ReloadCommand->isEnabled()) rig.f->StopCommand->click();
        QVERIFY(rig.f->ReloadCommand->isEnabled());
        rig.f->ReloadCommand->click();
    }
    ++count;
    QStringList want{boxOf(kind)};
    if (i > 0) want.prepend(kRepowerBox);
    QCOMPARE(rig.boxes.prompts(), want);
    if (kind == Kind::Good) {
        QCOMPARE(rig.linesAtBoxes.last(), kLineGood);
        QVERIFY(rig.port->unit().waitForSessions(complete + 1, 2000));
        QCOMPARE(rig.lastImage(), rig.expectedImage());
        QVERIFY(!rig.f->isLoaded());
        QCOMPARE(programEndCode(), 0);
    } else {
        QVERIFY(!rig.reportedGood());
        QCOMPARE(rig.port->unit().sessions().size(), complete);
        QVERIFY(rig.f->isLoaded());
        QVERIFY(!rig.f->File1.isOpen());
    }
}

// One cycle of sessions in a freshly loaded window; a cancel-in-transfer
// session is cancelled once its blocks go out.
static void oneCycle(Rig& rig, int& run, int& good, int& failed) {
    rig.load();
    auto cancelInTransfer = std::make_shared<bool>(false);
    rig.onEachPass([&rig, cancelInTransfer] {
        if (*cancelInTransfer && rig.f->link.Transmit_counter > 3) {
            *cancelInTransfer = false;
            rig.f->StopCommand->click();
        }
    });
    for (int i = 0; i < kCycleLength; ++i) {
        *cancelInTransfer = kCycle[i] == Kind::CancelInTransfer;
        oneSession(rig, i, kCycle[i] == Kind::Good ? good : failed);
        if (QTest::currentTestFailed()) return;
        ++run;
    }
}

void TestSoak::sessionsThroughReload() {
    const int cycles = QUARN_SOAK_SESSIONS / kCycleLength;
    QVERIFY(cycles > kWarmUpCycles);
    Rig rig({}, 190);
    int run = 0, good = 0, failed = 0;
    const int fdsStart = openDescriptors();
    const long rssStart = residentKb();
    int fdsBefore = 0;
    long rssBefore = 0, settledBefore = 0;
    QElapsedTimer timer;
    timer.start();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle == kWarmUpCycles) {
            fdsBefore = openDescriptors();
            rssBefore = residentKb();
            settledBefore = settledResidentKb();
        }
        oneCycle(rig, run, good, failed);
        if (QTest::currentTestFailed()) return;
        resetProgram();
    }
    const int fdsAfter = openDescriptors();
    const long rssAfter = residentKb();
    const long settledAfter = settledResidentKb();
    qInfo(
        "soak: %d sessions (%d good with an exact image, %d failed with their box) in %.1f s; "
        "open descriptors %d at the start, %d after %d warm-up sessions, %d at the end; "
        "resident memory %ld KiB at the start, %ld KiB after the warm-up, %ld KiB at the end; "
        "with the pixmap cache emptied %ld KiB after the warm-up, %ld KiB at the end",
        run, good, failed, timer.elapsed() / 1000.0, fdsStart, fdsBefore,
        kWarmUpCycles * kCycleLength, fdsAfter, rssStart, rssBefore, rssAfter, settledBefore,
        settledAfter);
    QCOMPARE(fdsAfter, fdsBefore);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine: resident memory says nothing here.
    qInfo("resident memory not judged under AddressSanitizer");
#else
    QVERIFY2(rssAfter - rssBefore <= 4 * 1024, "resident memory grew by more than 4 MiB");
    QVERIFY2(settledAfter - settledBefore <= 1024, "resident memory grew by more than 1 MiB");
#endif
}

QTEST_MAIN(TestSoak)
#include "test_soak.moc"
