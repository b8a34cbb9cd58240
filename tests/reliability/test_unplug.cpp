// The cable is pulled in the middle of a transfer (the simulator closes its
// end of the line instead of answering a block), with the program's real
// 2-second time-out: the lost port ends the wait for the verdict at once,
// without spinning a core, and with the stop box. With the cable back (the same
// COM1 name now leads to a new line), Cancel and Reload give a good download.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "link/download_link.h"
#include "tests/support/window_rig.h"
#include "ui/globals.h"

using namespace quarn;
using namespace testsupport;
using Rig = testsupport::WindowRig;

class TestUnplug : public QObject {
    Q_OBJECT
private slots:
    void init() {
        useRealClock();
        resetProgram();
    }
    void cleanup() {
        resetProgram();
        useFastClock();
    }
    void pulledDuringTransferThenPluggedIn();
};

// What happens from the first pass after the line went away to the stop box:
// how long, how many passes, how much CPU, and the flags the box found.
struct LossWatch {
    bool gone = false, ended = false;
    QElapsedTimer wall;
    double cpuAtGone = 0, cpuAtEnd = 0, waited = 0;
    int passes = 0;
    bool timedOut = false, stopped = true;

    void attach(Rig& rig) {
        rig.onEachPass([this, &rig] {
            if (gone) {
                ++passes;
            } else if (rig.port->unit().hungUp()) {
                gone = true;
                wall.start();
                cpuAtGone = cpuSeconds();
            }
        });
        auto recordBox = rig.boxes.onBox;
        rig.boxes.onBox = [this, &rig, recordBox](const Box& b) {
            if (gone && !ended) {
                ended = true;
                cpuAtEnd = cpuSeconds();
                waited = wall.elapsed() / 1000.0;
                timedOut = rig.f->link.Comm_Timeout;
                stopped = rig.f->link.Program_kill;
            }
            recordBox(b);
        };
    }
};

// The window after the lost port ended the transfer at block: the stop box
// and line, the port and the file closed, Reload the way on.
static void expectStopShown(Rig& rig, int block) {
    QCOMPARE(rig.f->Label2->text(), kStopBox);
    // The box says the cable went, during the block after the last answered one.
    qInfo("%s", qPrintable(rig.boxes.boxes[0].informative));
    QVERIFY2(rig.boxes.boxes[0].informative.startsWith(
                 QStringLiteral("The port was lost at block %1 of").arg(block)),
             qPrintable(rig.boxes.boxes[0].informative));
    QCOMPARE(indicatorName(indicatorOf(rig.f)), indicatorName(Indicator::Ready));
    QVERIFY(!rig.f->link.MSComm1.portOpen());
    QVERIFY(!rig.f->File1.isOpen());
    QVERIFY(rig.f->isLoaded());
    QVERIFY(!rig.f->Download_start);
    QVERIFY(rig.port->unit().sessions().empty());
}

// The cable goes back in; the technician repowers the unit and reloads: a good download.
static void plugInAndReload(Rig& rig) {
    QVERIFY(rig.port->unit().plugIn());
    QCOMPARE(QFileInfo(rig.port->linkPath()).symLinkTarget(),
             QString::fromStdString(rig.port->unit().devicePath()));
    QVERIFY(rig.f->ReloadCommand->isEnabled());
    rig.f->ReloadCommand->click();
    QCOMPARE(rig.boxes.prompts(), (QStringList{kStopBox, kRepowerBox, kEndMessage}));
    QCOMPARE(rig.linesAtBoxes.last(), kLineGood);
    QVERIFY(rig.port->unit().waitForSessions(1, 2000));
    QCOMPARE(rig.lastImage(), rig.expectedImage());
    QVERIFY(!rig.f->isLoaded());
    QCOMPARE(programEndCode(), 0);
}

void TestUnplug::pulledDuringTransferThenPluggedIn() {
    constexpr int kPulledAtBlock = 2;
    sim::Config cfg;
    cfg.faults[sim::Stage::Verdict] = makeFault(sim::FaultKind::HangUp, {}, 1, kPulledAtBlock);
    // The simulator's default idle reset is no longer than the program's
    // one-second pause before the login, and may drop the password (see
    // test_login_pause); keep it out of the way here.
    cfg.idleResetMs = 5000;
    Rig rig(cfg, 300);  // five blocks

    LossWatch loss;
    loss.attach(rig);

    rig.start();
    QVERIFY(rig.port->unit().hungUp());
    QVERIFY(loss.gone);
    QVERIFY(loss.ended);
    const double cpu = loss.cpuAtEnd - loss.cpuAtGone;
    const double waited = loss.waited;
    qInfo(
        "unplugged at block %d: the wait went on %.2f s after the line went away, in %d "
        "event-loop passes, using %.3f s of CPU (%.1f%% of a core)",
        kPulledAtBlock, waited, loss.passes, cpu, 100.0 * cpu / waited);
    QCOMPARE(rig.boxes.prompts(), QStringList{kStopBox});
    QVERIFY(loss.timedOut);
    QVERIFY(!loss.stopped);
    QVERIFY2(waited <= 0.5, "the lost port did not end the wait at once");
    QVERIFY2(cpu < 0.05, "the wait spun while the port was gone");
    QVERIFY2(loss.passes <= 40,
             "the wait spun while the port was gone");  // about one pass per 250 ms tick
    expectStopShown(rig, kPulledAtBlock + 1);
    if (QTest::currentTestFailed()) return;
    plugInAndReload(rig);
}

QTEST_MAIN(TestUnplug)
#include "test_unplug.moc"
