// The push of a station's log to PostgreSQL (quarn-records push, quarn-flash's
// background push, the station's pusher) against a server of the test's own:
// every column arrives, nothing twice, nothing lost when the server is down,
// busy or the push is killed, the log's rotations followed, damaged and
// refused lines named and passed, and a download never held up.
#include <signal.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "push/push.h"
#include "push/push_cancel.h"
#include "push/pusher.h"
#include "tests/support/records_rig.h"
#include "tests/support/test_support.h"

using namespace testsupport;

namespace {

const QString kFlash = flashPath();
const QString kRecords = recordsPath();

}  // namespace

class TestPush : public RecordsRig {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init() { QVERIFY(freshDatabase()); }

    // A real quarn-flash run: its push in the background brings the record
    // with every column, each equal to the logged key.
    void flashRecordArrives() {
        SimPort unit({}, 1);
        const Run r = flash(QStringLiteral("COM1"), pg_->url());
        QCOMPARE(r.exit, 0);
        QVERIFY(QTest::qWaitFor([&] { return rows() == 1; }, 20000));
        const QJsonObject logged = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const QJsonObject row =
            QJsonDocument::fromJson(
                pg_->sql(QStringLiteral("SELECT row_to_json(s) FROM quarn_sessions s")).toUtf8())
                .object();
        // The record's keys, and what the server says of it.
        QStringList columns = logged.keys() << "first_pass"
                                            << "pushed_by"
                                            << "received_at"
                                            << "server_approved";
        columns.sort();
        QCOMPARE(row.keys(), columns);
        QCOMPARE(row["first_pass"].toBool(), true);
        QCOMPARE(row["pushed_by"].toString(), QStringLiteral("quarn"));
        QCOMPARE(row["server_approved"], QJsonValue(false));  // the list is empty
        for (const QString& key : logged.keys()) {
            if (key == QLatin1String("started")) continue;
            // Only "approved" is null, as the check was off.
            QVERIFY2(
                row[key].isNull() == (key == QLatin1String("approved")) && row[key] == logged[key],
                qPrintable(key));
        }
        QCOMPARE(QDateTime::fromString(row["started"].toString(), Qt::ISODateWithMs),
                 QDateTime::fromString(logged["started"].toString(), Qt::ISODateWithMs));
        QCOMPARE(row["serial"].toString(), QStringLiteral("SN-9"));
    }

    // quarn-flash --watch pushes, as it starts, what an earlier run left
    // waiting in the log, before any unit is loaded.
    void watchPushesWhatWaits() {
        writeLog(sampleRecords(3));
        sim::Config empty;  // the socket is empty: nothing answers
        empty.faults[sim::Stage::Handshake] = makeFault(sim::FaultKind::Silence);
        SimPort socket(empty, 1);
        const QString file = writeFile(dir_.path(), QStringLiteral("fw.bin"), patternBytes(1000));
        QProcess p;
        start(p, kFlash,
              {"--file", file, "--length", "1000", "--log", log_, "-p", "COM1", "--watch"},
              pg_->url());
        QVERIFY(QTest::qWaitFor([&] { return rows() == 3; }, 20000));
        ::kill(pid_t(p.processId()), SIGTERM);
        QCOMPARE(finish(p).exit, 0);
    }

    // Sent twice (the sent position lost): the rows stay one per record.
    void secondPushAddsNothing() {
        writeLog(sampleRecords(50));
        QCOMPARE(pushFigures(push().out), (QList<int>{50, 50, 0}));
        QCOMPARE(pushFigures(push().out), (QList<int>{0, 0, 0}));
        QVERIFY(QFile::remove(log_ + QStringLiteral(".sent")));
        const Run again = push();
        QCOMPARE(again.exit, 0);
        QCOMPARE(pushFigures(again.out), (QList<int>{50, 0, 0}));
        QCOMPARE(rows(), 50);
    }

    // A log replaced by another (rotated) is sent from its top.
    void replacedLog() {
        writeLog(sampleRecords(5));
        QCOMPARE(push().exit, 0);
        const QString next = log_ + QStringLiteral(".new");
        QVERIFY(QFile::rename(log_, next));
        writeLog(sampleRecords(8));
        QVERIFY(QFile::remove(next));
        QCOMPARE(pushFigures(push().out), (QList<int>{8, 8, 0}));
    }

    // Server down: exit 2, the records wait; back up: all of them go.
    void serverDown() {
        writeLog(sampleRecords(20));
        QVERIFY(pg_->stop());
        const Run down = push();
        QVERIFY(pg_->start());
        QCOMPARE(down.exit, 2);
        QVERIFY2(down.err.contains("nothing is lost"), qPrintable(down.err));
        QCOMPARE(pushFigures(down.out), (QList<int>{0, 0, 20}));
        QCOMPARE(push().exit, 0);
        QCOMPARE(rows(), 20);
    }

    // kill -9 after the first commit; the next push completes: exactly 10,000.
    void killedPush() {
        writeLog(sampleRecords(10000));
        QProcess p;
        start(p, kRecords, {"push", "--log", log_}, pg_->url());
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(log_ + ".sent"); }, 30000));
        p.kill();
        p.waitForFinished();
        QVERIFY(serverIdle());  // a batch sent whole before the kill ends as the server runs it
        const int before = rows();
        QVERIFY2(before > 0 && before < 10000, qPrintable(QString::number(before)));
        const Run again = push();
        QCOMPARE(again.exit, 0);
        QCOMPARE(rows(), 10000);
        QVERIFY(pushFigures(again.out)[1] == 10000 - before);
    }

    // Two pushers of one log at once: one sends, the other leaves the log to
    // it (or finds nothing left); each record is sent once.
    void twoPushers() {
        writeLog(sampleRecords(10000));
        QProcess a, b;
        start(a, kRecords, {"push", "--log", log_}, pg_->url());
        start(b, kRecords, {"push", "--log", log_}, pg_->url());
        const Run ra = finish(a), rb = finish(b);
        QCOMPARE(ra.exit + rb.exit, 0);
        int sent = 0;
        for (const Run* r : {&ra, &rb})
            sent += r->out.contains("another push of") ? 0 : pushFigures(r->out)[0];
        QCOMPARE(sent, 10000);
        QCOMPARE(rows(), 10000);
    }

    // Damaged lines are named and skipped; a line still being written waits.
    void damagedLines() {
        const QList<QByteArray> good = sampleRecords(3).split('\n');
        writeLog(good[0] + "\n{\"id\": \"half a rec\n" + good[1] +
                 "\n[1, 2]\n{\"id\": \"no-uuid\"}\n" + good[2]);
        const Run r = push();
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.err.contains(" line 2: damaged") && r.err.contains(" line 4: damaged") &&
                     r.err.contains(" line 5: damaged"),
                 qPrintable(r.err));
        QCOMPARE(r.err.count(QStringLiteral(": damaged record")), 3);
        QCOMPARE(pushFigures(r.out), (QList<int>{2, 2, 0}));  // the last line is not whole yet
        writeLog("\n");
        QCOMPARE(pushFigures(push().out), (QList<int>{1, 1, 0}));
        QCOMPARE(rows(), 3);
    }

    // The station's pusher: a failed push says so and tries again by itself.
    void pusherRetries() {
        writeLog(sampleRecords(5));
        QVERIFY(pg_->stop());
        quarn::push::Pusher pusher(log_, pg_->url());
        pusher.retryMs = 300;
        QSignalSpy failed(&pusher, &quarn::push::Pusher::pushFailed);
        QCOMPARE(pusher.pending(), 5);
        pusher.pushSoon();
        QVERIFY(failed.wait(15000));
        QVERIFY(pg_->start());
        QVERIFY(QTest::qWaitFor([&] { return pusher.pending() == 0; }, 15000));
        QCOMPARE(rows(), 5);
    }

    // --retry: one push of a log tries again until the server is back, holding
    // the log; a second one at the same time (logrotate's prerotate push)
    // wakes it, waits its time limit, and says the records still wait with
    // exit 2: logrotate must not rotate the log then.
    void retryingPush() {
        writeLog(sampleRecords(5));
        QVERIFY(pg_->stop());
        QProcess retrier;
        start(retrier, kRecords, {"push", "--log", log_, "--retry", "1"}, pg_->url());
        retrier.setReadChannel(QProcess::StandardError);
        QVERIFY(retrier.waitForReadyRead(10000));
        qputenv("QUARN_PUSH_TIME_LIMIT", "2");
        const Run second = records({"push", "--log", log_}, pg_->url());
        QVERIFY(pg_->start());
        QCOMPARE(second.exit, 2);
        QVERIFY2(second.err.contains("another push of " + log_ +
                                     " is running and 5 record(s) still wait"),
                 qPrintable(second.err));
        const Run first = finish(retrier);
        QCOMPARE(first.exit, 0);
        QVERIFY2(first.err.contains("trying again in 1 s"), qPrintable(first.err));
        QCOMPARE(rows(), 5);
    }

    // A database that is down or never answers: quarn-flash ends in its normal
    // time with exit 0, says how many records wait, and they go later.
    void flashWithDatabaseDown_data() {
        QTest::addColumn<bool>("silent");
        QTest::newRow("server stopped") << false;
        QTest::newRow("server silent") << true;
    }
    void flashWithDatabaseDown() {
        QFETCH(bool, silent);
        SimPort unit({}, 2);
        const Run alone = flash(QStringLiteral("COM2"), QString());
        SilentServer quiet;
        const QString db =
            silent ? QStringLiteral("postgresql://127.0.0.1:%1/x").arg(quiet.port) : pg_->url();
        if (!silent) QVERIFY(pg_->stop());
        const Run r = flash(QStringLiteral("COM2"), db);
        if (!silent) QVERIFY(pg_->start());
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.ms < alone.ms + 4000,
                 qPrintable(QString("%1 ms, alone %2 ms").arg(r.ms).arg(alone.ms)));
        QVERIFY2(r.err.contains("2 record(s) wait for the database"), qPrintable(r.err));
        QVERIFY(pushersOf(log_).size() <= 1);
        QVERIFY(endPushers(log_));  // it would try again only in a minute
        QCOMPARE(push().exit, 0);
        QCOMPARE(rows(), 2);
    }

    // A table another session holds locked: the push gives up after its time
    // limit (exit 2, "busy"), and the next one sends every record once.
    void lockedTable() {
        writeLog(sampleRecords(3));
        QCOMPARE(push().exit, 0);
        writeLog(sampleRecords(4));
        QVERIFY(pg_->lockTable(QStringLiteral("quarn_sessions"), 20));
        qputenv("QUARN_PUSH_TIME_LIMIT", "1");
        QElapsedTimer clock;
        clock.start();
        const Run busy = push();
        QCOMPARE(busy.exit, 2);
        QVERIFY2(busy.err.contains("the database is busy: "), qPrintable(busy.err));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        pg_->unlockTable();
        QCOMPARE(pushFigures(push().out), (QList<int>{4, 4, 0}));
        QCOMPARE(rows(), 7);
    }

    // While the table is locked, downloads and pushes leave one waiting
    // pusher of the log; once the lock is gone it sends every record once.
    void oneWaitingPusher() {
        writeLog(sampleRecords(2));
        QCOMPARE(push().exit, 0);
        QVERIFY(pg_->lockTable(QStringLiteral("quarn_sessions"), 60));
        writeLog(sampleRecords(3));
        qputenv("QUARN_PUSH_TIME_LIMIT", "1");
        QProcess waiting;
        start(waiting, kRecords, {"push", "--log", log_, "--retry", "1"}, pg_->url());
        waiting.setReadChannel(QProcess::StandardError);
        QVERIFY(waiting.waitForReadyRead(20000));  // its first attempt found the table busy
        SimPort unit({}, 1);
        for (int run = 0; run < 2; ++run) {
            const Run r = flash(QStringLiteral("COM1"), pg_->url());
            QCOMPARE(r.exit, 0);
            QVERIFY2(r.err.contains(quarn::recordlog::handedText(log_)), qPrintable(r.err));
        }
        const Run other = push();  // the table still locked: its records still wait
        QCOMPARE(other.exit, 2);
        QVERIFY2(other.err.contains("another push of " + log_ + " is running and 5 record(s)"),
                 qPrintable(other.out + other.err));
        QCOMPARE(pushersOf(log_).size(), 1);
        pg_->unlockTable();
        QCOMPARE(finish(waiting).exit, 0);
        QCOMPARE(rows(), 7);
        QCOMPARE(pushFigures(push().out), (QList<int>{0, 0, 0}));
    }

    // The station's pusher closed while its push waits on a locked table:
    // closing takes less than 5 s, and the next push sends everything once.
    void pusherStopsAtOnce() {
        writeLog(sampleRecords(3));
        QCOMPARE(push().exit, 0);
        writeLog(sampleRecords(5));
        QVERIFY(pg_->lockTable(QStringLiteral("quarn_sessions"), 20));
        auto pusher = std::make_unique<quarn::push::Pusher>(log_, pg_->url());
        pusher->pushSoon();
        const QString waits =
            QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'");
        QVERIFY(QTest::qWaitFor([&] { return pg_->sql(waits) == QLatin1String("1"); }, 10000));
        QElapsedTimer clock;
        clock.start();
        pusher.reset();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        pg_->unlockTable();
        QCOMPARE(pushFigures(push().out), (QList<int>{5, 5, 0}));
        QCOMPARE(rows(), 8);
    }

    // The pusher passes on each damaged line with its number.
    void pusherWarns() {
        writeLog(sampleRecords(1) + "{\"id\": \"half\n" + sampleRecords(1));
        quarn::push::Pusher pusher(log_, pg_->url());
        QSignalSpy warned(&pusher, &quarn::push::Pusher::warning);
        pusher.pushSoon();
        QVERIFY(QTest::qWaitFor([&] { return pusher.pending() == 0; }, 15000));
        QCOMPARE(warned.size(), 1);
        QVERIFY2(warned[0][0].toString().contains(" line 2: damaged"),
                 qPrintable(warned[0][0].toString()));
    }

    // A log rotated (moved to LOG.1) with records not yet sent: they go
    // first, then the new log from its top, each record once.
    void rotatedLog() {
        writeLog(sampleRecords(5));
        QCOMPARE(push().exit, 0);
        writeLog(sampleRecords(3));
        QVERIFY(QFile::rename(log_, log_ + QStringLiteral(".1")));
        writeLog(sampleRecords(4));
        QCOMPARE(quarn::recordlog::pendingCount(log_), 7);
        QCOMPARE(pushFigures(push().out), (QList<int>{7, 7, 0}));
        QCOMPARE(rows(), 12);
        writeLog(sampleRecords(2));
        QCOMPARE(pushFigures(push().out), (QList<int>{2, 2, 0}));
    }

    // However the log was rotated (first records rotated before any push,
    // two rotations between pushes, rotated files compressed as the
    // logrotate of docs/quarn-records.md does), every rotated file's records
    // arrive, each once, and nothing waits after the push.
    void rotationsNeverSkipped_data() {
        QTest::addColumn<QByteArray>(
            "steps");  // w: 5 records, p: a push, r: rotated, z: compressed
        QTest::newRow("first records rotated") << QByteArray("wrw");
        QTest::newRow("two rotations") << QByteArray("wpwrwrw");
        QTest::newRow("compressed") << QByteArray("wpwrwzwzw");
    }
    void rotationsNeverSkipped() {
        QFETCH(QByteArray, steps);
        // logrotate's rotation: LOG.N to LOG.N+1, LOG to LOG.1; compressed,
        // LOG.2 (delaycompress) to LOG.2.gz.
        auto rotate = [&](bool compress) {
            for (int n = 8; n >= 1; --n)
                for (const char* gz : {"", ".gz"})
                    QFile::rename(log_ + QStringLiteral(".%1%2").arg(n).arg(gz),
                                  log_ + QStringLiteral(".%1%2").arg(n + 1).arg(gz));
            QVERIFY(QFile::rename(log_, log_ + QStringLiteral(".1")));
            if (compress) QCOMPARE(QProcess::execute("gzip", {log_ + QStringLiteral(".2")}), 0);
        };
        int written = 0, sent = 0;
        for (const char step : steps) {
            if (step == 'w') writeLog(sampleRecords(5)), written += 5;
            if (step == 'p') {
                QCOMPARE(push().exit, 0);
                sent = written;
            }
            if (step == 'r' || step == 'z') rotate(step == 'z');
        }
        QCOMPARE(quarn::recordlog::pendingCount(log_), written - sent);
        const Run r = push();
        QVERIFY2(r.exit == 0 && pushFigures(r.out).value(2) == 0, qPrintable(r.out + r.err));
        QCOMPARE(rows(), written);
    }

    // logrotate renames the log between two batches of a push that then
    // fails: the mark names the renamed file still, and the next push sends
    // its rest, then the new log.
    void rotationMidPush() {
        const QList<QByteArray> lines = sampleRecords(3000).split('\n');
        QByteArray text;  // a damaged line opens batches two and three: the push's hooks
        for (int i = 0; i < 3000; ++i)
            text += (i % 1000 || !i ? "" : "damaged\n") + lines[i] + '\n';
        writeLog(text);
        auto cancel = std::make_shared<quarn::push::PushCancel>();
        int warnings = 0;
        auto warn = [&](const QString&) {
            if (++warnings == 1)
                QFile::rename(log_, log_ + QStringLiteral(".1"));  // batch one in flight
            else
                cancel->cancel();  // batch one in, the push fails in batch two or three
        };
        using Status = quarn::push::PushResult::Status;
        QCOMPARE(quarn::push::pushLog({log_, pg_->url(), 1000, warn, {}, cancel}).status,
                 Status::Cancelled);
        // Batch two was in flight beside batch one: in or not when the cancel came.
        QVERIFY(serverIdle());
        const int before = rows();
        QVERIFY2(before == 1000 || before == 1999, qPrintable(QString::number(before)));
        writeLog(sampleRecords(5));
        const QList<int> figures = pushFigures(push().out);
        QCOMPARE(figures.value(1), 3005 - before);
        QCOMPARE(figures.value(2), 0);
        QCOMPARE(rows(), 3005);
    }

    // A push by hand finds the log held by a pusher waiting out its minute
    // with the server down: once the server is back, it wakes that pusher,
    // which sends the records at once (well before its minute is up).
    void handPushWakesWaiting() {
        writeLog(sampleRecords(4));
        QVERIFY(pg_->stop());
        QProcess waiting;
        start(waiting, kRecords, {"push", "--log", log_, "--retry", "60"}, pg_->url());
        waiting.setReadChannel(QProcess::StandardError);
        QVERIFY(waiting.waitForReadyRead(10000));  // its first attempt failed
        QVERIFY(pg_->start());
        const Run hand = push();
        QCOMPARE(hand.exit, 0);
        QVERIFY2(hand.out.contains(quarn::recordlog::handedText(log_)), qPrintable(hand.out));
        QVERIFY(waiting.waitForFinished(10000));
        QCOMPARE(waiting.exitCode(), 0);
        QCOMPARE(rows(), 4);
    }

    // A station's pusher waiting out its minute with the server down: a push
    // by hand sends the records and wakes it, so its count of records
    // waiting is right at once, not a minute later.
    void handPushWakesPusher() {
        writeLog(sampleRecords(4));
        QVERIFY(pg_->stop());
        quarn::push::Pusher pusher(log_, pg_->url());
        QSignalSpy failed(&pusher, &quarn::push::Pusher::pushFailed);
        pusher.pushSoon();
        QVERIFY(failed.wait(15000));
        QVERIFY(pg_->start());
        QCOMPARE(push().exit, 0);
        QVERIFY(QTest::qWaitFor([&] { return pusher.pending() == 0; }, 10000));
        QCOMPARE(rows(), 4);
    }

    // Lines the server refuses never block the log: an id PostgreSQL cannot
    // read is a damaged line; a row a constraint refuses is kept whole in
    // LOG.rejected, warned about with its line number, and passed; the rest
    // arrive, and the next push sends and keeps nothing again.
    void refusedLines() {
        writeLog(sampleRecords(2));
        QCOMPARE(push().exit, 0);
        QCOMPARE(pg_->sql("ALTER TABLE quarn_sessions ADD CONSTRAINT sane CHECK (serial <> 'X')"),
                 QString());
        const QByteArray refused = recordLine({{"serial", "X"}});
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        writeLog(sampleRecords(3) + recordLine({{"id", id + "-0"}}) + refused + sampleRecords(4));
        const Run r = push();
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.err.contains(" line 6: damaged") && r.err.contains(" line 7: refused by the"),
                 qPrintable(r.err));
        QCOMPARE(pushFigures(r.out), (QList<int>{7, 7, 0}));
        QCOMPARE(rows(), 9);
        QFile rejected(log_ + QStringLiteral(".rejected"));
        QVERIFY(rejected.open(QIODevice::ReadOnly));
        const QByteArray kept = rejected.readAll();
        QCOMPARE(kept.count('\n'), 1);
        const QString entry = QFileInfo(log_).fileName() + ":7\t23514 ";
        QVERIFY2(kept.startsWith(entry.toUtf8()) && kept.contains("violates check constraint") &&
                     kept.endsWith('\t' + refused),
                 kept);
        QCOMPARE(pushFigures(push().out), (QList<int>{0, 0, 0}));
        rejected.seek(0);
        QCOMPARE(rejected.readAll(), kept);
        // Refused rows in two batches in flight at once (batches of three):
        // each kept once, in the order of the log, the rest in.
        writeLog(sampleRecords(2) + refused + sampleRecords(1) + refused + sampleRecords(3));
        quarn::push::PushRequest threes;
        threes.logPath = log_, threes.databaseUrl = pg_->url(), threes.batchSize = 3;
        const quarn::push::PushResult two = quarn::push::pushLog(threes);
        QCOMPARE(int(two.status), int(quarn::push::PushResult::Status::Done));
        QCOMPARE(QList<qint64>({two.sent, two.inserted, two.rejected, two.pending}),
                 QList<qint64>({6, 6, 2, 0}));
        QCOMPARE(rows(), 15);
        rejected.seek(0);
        const QList<QByteArray> lines = rejected.readAll().split('\n');
        QCOMPARE(lines.size(), 4);  // three entries and what follows the last newline
        QVERIFY2(lines[1].contains(":14\t23514 ") && lines[2].contains(":16\t23514 "),
                 lines[1] + lines[2]);
        QCOMPARE(pushFigures(push().out), (QList<int>{0, 0, 0}));
    }
};

QTEST_MAIN(TestPush)
#include "test_push.moc"
