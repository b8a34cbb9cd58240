// A noisy line: the simulator corrupts one data byte of a block now and then
// on its way in. The unit refuses such a block by its checksum and the program
// sends it again, so every session must still end good with an exact image;
// a session may only fail with its box (a reply lost to a time-out), never
// report good with a wrong image. A few hundred seeded sessions.

#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

#include "link/download_link.h"
#include "tests/support/window_rig.h"
#include "ui/globals.h"

using namespace quarn;
using namespace testsupport;
using Rig = testsupport::WindowRig;

#ifndef QUARN_NOISE_SESSIONS
#define QUARN_NOISE_SESSIONS 250
#endif

class TestLineNoise : public ProgramTest {
    Q_OBJECT
public:
    TestLineNoise() : ProgramTest(useBriskClock) {}

private slots:
    void seededSessions();
};

// A session the noise defeated: one failure box, no image, the window still there.
static void expectFailureShown(Rig& rig, const QString& what) {
    QCOMPARE(rig.boxes.boxes.size(), 1);
    const QString box = rig.boxes.boxes[0].prompt;
    QVERIFY2(box == kHandshakeBox || box == kLoginBox || box == kStopBox, qPrintable(box));
    QVERIFY2(rig.port->unit().sessions().empty(), qPrintable(what));
    QVERIFY(rig.f->isLoaded());
    QVERIFY(!rig.f->File1.isOpen());
    qInfo("%s: failed with \"%s\"", qPrintable(what), qPrintable(box));
}

void TestLineNoise::seededSessions() {
    const int sessions = QUARN_NOISE_SESSIONS;
    int good = 0, failed = 0, corrupted = 0, refusals = 0, blocks = 0;
    QElapsedTimer timer;
    timer.start();
    for (int seed = 1; seed <= sessions; ++seed) {
        resetProgram();
        sim::Config cfg;
        cfg.noiseSeed = static_cast<uint32_t>(seed);
        cfg.noiseRate = 0.2 + 0.1 * (seed % 4);      // 0.2 to 0.5
        const int length = 128 + (seed * 37) % 173;  // 128 to 300 bytes
        Rig rig(cfg, length);
        rig.start();
        const QString what =
            QStringLiteral("seed %1, noise %2, length %3").arg(seed).arg(cfg.noiseRate).arg(length);

        if (rig.reportedGood()) {
            ++good;
            QVERIFY2(rig.port->unit().waitForSessions(1, 2000), qPrintable(what));
            const sim::SessionSummary s = rig.port->unit().sessions().back();
            QVERIFY2(toQByteArray(s.image) == rig.expectedImage(), qPrintable(what));
            QCOMPARE(rig.boxes.prompts(), QStringList{kEndMessage});
            QCOMPARE(rig.linesAtBoxes.value(0), kLineGood);
            // Every refusal was caused by a corruption, and the program sent
            // exactly one repeat per refusal: start, a block is opener +
            // checksum + 64 bytes (counted as 65), a repeat 64 more, the end.
            QCOMPARE(s.repeats, s.corrupted);
            QCOMPARE(rig.f->link.Transmit_counter, 2 + 1 + 65 * s.blocks + 64 * s.repeats + 1);
            QCOMPARE(rig.f->link.Recieve_counter, 2 + 1 + 2 * s.blocks + s.repeats);
            corrupted += s.corrupted;
            refusals += s.repeats;
            blocks += s.blocks;
        } else {
            ++failed;
            expectFailureShown(rig, what);
        }
    }
    const double seconds = timer.elapsed() / 1000.0;
    qInfo(
        "line noise: %d sessions, %d good with an exact image, %d failed with a box; "
        "%d blocks accepted, %d corrupted blocks seen, %d refused and sent again; %.1f s",
        sessions, good, failed, blocks, corrupted, refusals, seconds);
    // The noise really bit, and recovery from it is the rule, not the exception.
    QVERIFY(corrupted >= sessions / 2);
    QVERIFY(good >= sessions * 9 / 10);
}

QTEST_MAIN(TestLineNoise)
#include "test_line_noise.moc"
