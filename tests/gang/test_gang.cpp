// Units side by side through the gang library, as a rack window drives it:
// each unit's progress events and record, and a stop from another thread.

#include <QEventLoop>
#include <QtTest>
#include <thread>

#include "gang/gang.h"
#include "gang/job_builder.h"
#include "gang/watch.h"
#include "tests/support/test_support.h"

using namespace quarn;
using namespace testsupport;
using record::outcomeName;

namespace {

constexpr int kLength = 640;  // ten whole blocks

struct Run {
    QList<record::UnitRecord> records;
    QList<QList<SessionProgress>> events;
};

// Runs the gang until every unit has finished; onProgress sees each event.
Run runGang(gang::Gang& g, std::function<void(int, const SessionProgress&)> onProgress = {}) {
    Run run;
    run.records.resize(g.size());
    run.events.resize(g.size());
    QEventLoop loop;
    QObject::connect(&g, &gang::Gang::progressed, [&](int slot, const SessionProgress& p) {
        run.events[slot] << p;
        if (onProgress) onProgress(slot, p);
    });
    QObject::connect(&g, &gang::Gang::unitFinished,
                     [&](int slot, const record::UnitRecord& r) { run.records[slot] = r; });
    QObject::connect(&g, &gang::Gang::allFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    g.startAll();
    loop.exec();
    return run;
}

int countOf(const QByteArray& wire, const QByteArray& what) { return int(wire.count(what)); }

const QByteArray kHandshake("\xAA\x55\xAA", 3);

}  // namespace

class TestGang : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString file_;

private slots:
    void initTestCase() {
        useFastClock();
        file_ = writeFile(dir_.path(), QStringLiteral("image.bin"), patternBytes(kLength + 1));
    }

    // A good unit and a silent one: each its own record, the good one's
    // events in order up to done, neither held up by the other.
    void recordsAndProgress() {
        sim::Config silent;
        silent.faults[sim::Stage::Handshake] = makeFault(sim::FaultKind::Silence);
        SimPort good({}, 1), quiet(silent, 2);
        gang::Gang g;
        g.add({"COM1", good.linkPath(), {}, DownloadImage(file_, kLength), 0, false, {}});
        g.add({"COM2", quiet.linkPath(), {}, DownloadImage(file_, kLength), 0, false, {}});
        g.add({"COM3",
               {},
               "nothing is assigned to COM3",
               DownloadImage(file_, kLength),
               0,
               false,
               {}});
        const Run run = runGang(g);
        QCOMPARE(g.running(), 0);
        QCOMPARE(outcomeName(run.records[0].outcome), QStringLiteral("good"));
        QCOMPARE(run.records[0].blocks, 10);
        QCOMPARE(outcomeName(run.records[1].outcome), QStringLiteral("handshake"));
        QVERIFY(run.records[1].message.startsWith(QStringLiteral("No reply from the unit")));
        QCOMPARE(outcomeName(run.records[2].outcome), QStringLiteral("port"));
        QCOMPARE(run.records[2].message, QStringLiteral("nothing is assigned to COM3"));
        const QList<SessionProgress>& ev = run.events[0];
        QVERIFY(!ev.isEmpty());
        QCOMPARE(int(ev.first().stage), int(LinkStage::QuietLine));
        QCOMPARE(int(ev.last().stage), int(LinkStage::Done));
        QCOMPARE(ev.last().bytes, qint64(10 * 64));
        QCOMPARE(ev.last().answered(), 10);
        for (int i = 1; i < ev.size(); ++i) QVERIFY(ev[i].bytes >= ev[i - 1].bytes);
        QVERIFY(run.events[2].isEmpty());
    }

    // requestStop() from a thread of its own while block 3 is out: nothing
    // more is sent (no end byte), the record says interrupted at that block.
    void stopFromAnotherThread() {
        // Paced as a real line is, so that the stop, which waits for block
        // 3's progress event to reach this thread, is not overtaken by the
        // last block on a loaded machine.
        sim::Config paced;
        paced.baud = 9600;
        SimPort unit(paced, 1);
        gang::Gang g;
        gang::Unit* u =
            g.add({"COM1", unit.linkPath(), {}, DownloadImage(file_, kLength), 0, false, {}});
        std::thread stopper;
        const Run run = runGang(g, [&](int, const SessionProgress& p) {
            if (p.block == 3 && !stopper.joinable())
                stopper = std::thread([u] { u->requestStop(); });
        });
        if (stopper.joinable()) stopper.join();
        QCOMPARE(outcomeName(run.records[0].outcome), QStringLiteral("interrupted"));
        QVERIFY2(
            run.records[0].message.startsWith(QStringLiteral("The download was stopped at block")),
            qPrintable(run.records[0].message));
        QVERIFY(run.records[0].blocks < 10);
        QVERIFY(unit.unit().sessions().empty());  // the unit never saw an end byte
        const QByteArray wire = toQByteArray(unit.unit().received());
        QVERIFY(!wire.endsWith('\x0F'));
    }

    // A unit taken out is seen gone at the pace it allows: taken out as its
    // session ends, within 3 s whatever its kind (the first probe decides);
    // later, within 2 s and the last probe's wait once it has answered a quick
    // probe mid-login, within about 5 s (two quiet lines, each with its
    // handshake) when it reads its password whatever it is.
    void watchSeesRemovalAtItsPace_data() {
        QTest::addColumn<bool>("readsPassword");
        QTest::addColumn<int>("outAfterMs");  // after the session's end
        QTest::addColumn<int>("seenWithinMs");
        QTest::newRow("takes a handshake, taken out at the session's end") << false << 0 << 3300;
        QTest::newRow("takes a handshake, taken out later") << false << 1500 << 2700;
        QTest::newRow("reads its password, taken out later") << true << 3000 << 6000;
    }
    void watchSeesRemovalAtItsPace() {
        QFETCH(bool, readsPassword);
        QFETCH(int, outAfterMs);
        QFETCH(int, seenWithinMs);
        sim::Config config;
        config.readsPassword = readsPassword;
        SimPort unit(config, 1);
        DownloadImage image(file_, kLength);
        QString why;
        QVERIFY2(image.read(&why), qPrintable(why));
        gang::JobBase base{image, 0, "bench", "ann", gang::defaultSerialRoot()};
        gang::Watch watch(0, [&] { return gang::buildJob(base, "COM1", {}); }, {500, 500, 200});
        QList<record::UnitRecord> records;
        connect(&watch, &gang::Watch::sessionEnded,
                [&](int, const record::UnitRecord& r) { records << r; });
        watch.start();
        QVERIFY(unit.unit().waitForSessions(1, 10000));
        QTest::qWait(outAfterMs);
        // Proven, or not, by then; a machine so busy that the proof's probe
        // went out late tries it again after the next answer.
        if (outAfterMs > 0)
            QVERIFY(spinUntil([&] { return watch.quickPace() != readsPassword; }, 8000));
        unit.unit().takeOut();
        QVERIFY(spinUntil([&] { return watch.phase() == gang::Watch::Phase::Listening; },
                          seenWithinMs));
        QCOMPARE(records.size(), 1);
        QCOMPARE(unit.unit().logins(), 1);
        watch.stop();
    }

    // A unit that needs a quiet line after its download cannot answer the
    // first probe after it. Once one such unit has shown it, the slot no
    // longer counts that probe's silence: the next unit, whose first answer
    // is lost, is still never loaded twice.
    void watchLearnsUnitsDeafAfterTheirDownload() {
        sim::Config config;
        config.readsPassword = config.deafAfterDownload = true;
        SimPort unit(config, 1);
        DownloadImage image(file_, kLength);
        QString why;
        QVERIFY2(image.read(&why), qPrintable(why));
        gang::JobBase base{image, 0, "bench", "ann", gang::defaultSerialRoot()};
        gang::Watch watch(0, [&] { return gang::buildJob(base, "COM1", {}); });
        QList<record::UnitRecord> records;
        connect(&watch, &gang::Watch::sessionEnded, [&](int, const record::UnitRecord& r) {
            records << r;
            if (records.size() == 2)
                unit.unit().setFault(sim::Stage::Handshake,
                                     makeFault(sim::FaultKind::Silence, {}, 1));
        });
        watch.start();
        QVERIFY(unit.unit().waitForSessions(1, 10000));
        QTest::qWait(3500);  // its first answer, after a quiet line
        unit.unit().takeOut();
        QVERIFY(spinUntil([&] { return watch.phase() == gang::Watch::Phase::Listening; }, 7000));
        unit.unit().putIn();
        QVERIFY(unit.unit().waitForSessions(2, 10000));
        QTest::qWait(7000);  // past the lost reply and a quiet line more
        QCOMPARE(records.size(), 2);
        QCOMPARE(unit.unit().logins(), 2);
        watch.stop();
    }

    // A unit that reads its password whatever it is, whose session failed on
    // a late verdict, sends that verdict after the session and hears no
    // handshake until its line has been quiet after it. With one probe reply
    // lost besides, it is still the same unit: never loaded twice.
    void watchWaitsOutALateReply() {
        sim::Config config;
        config.readsPassword = true;
        config.faults[sim::Stage::Verdict] = makeFault(sim::FaultKind::Delay, {}, 1, 2);
        config.faults[sim::Stage::Verdict].delayMs = 1000;  // the session gives up long before
        SimPort unit(config, 1);
        DownloadImage image(file_, kLength);
        QString why;
        QVERIFY2(image.read(&why), qPrintable(why));
        gang::JobBase base{image, 0, "bench", "ann", gang::defaultSerialRoot()};
        gang::Watch watch(0, [&] { return gang::buildJob(base, "COM1", {}); });
        QList<record::UnitRecord> records;
        connect(&watch, &gang::Watch::sessionEnded, [&](int, const record::UnitRecord& r) {
            records << r;
            unit.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence, {}, 1));
        });
        watch.start();
        QVERIFY(spinUntil([&] { return !records.isEmpty(); }, 10000));
        QCOMPARE(outcomeName(records[0].outcome), QStringLiteral("transfer"));
        QTest::qWait(9000);  // past the lost reply and two quiet lines more
        QCOMPARE(records.size(), 1);
        QCOMPARE(unit.unit().logins(), 1);
        watch.stop();
    }

    // The line the removal probes keep open hangs up (an adapter pulled):
    // that tells nothing about the unit; once the adapter is back, on a new
    // device node, the probes open it and find the same unit still there.
    void watchProbesThroughHangUp() {
        SimPort unit({}, 1);
        DownloadImage image(file_, kLength);
        QString why;
        QVERIFY2(image.read(&why), qPrintable(why));
        gang::JobBase base{image, 0, "bench", "ann", gang::defaultSerialRoot()};
        gang::Watch watch(0, [&] { return gang::buildJob(base, "COM1", {}); }, {200, 500, 200});
        watch.start();
        QVERIFY(spinUntil([&] { return watch.phase() == gang::Watch::Phase::Remove; }, 10000));
        unit.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::HangUp, {}, 1));
        QVERIFY(spinUntil([&] { return unit.unit().hungUp(); }, 3000));
        QTest::qWait(1500);  // the port gone: more than four probes' worth
        unit.unit().clearLog();
        QVERIFY(unit.unit().plugIn());
        QVERIFY(spinUntil(
            [&] { return countOf(toQByteArray(unit.unit().received()), kHandshake) >= 3; }, 3000));
        QCOMPARE(watch.phase(), gang::Watch::Phase::Remove);
        QCOMPARE(unit.unit().logins(), 1);
        watch.stop();
    }
};

QTEST_GUILESS_MAIN(TestGang)
#include "test_gang.moc"
