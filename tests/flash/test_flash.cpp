// quarn-flash through its real executable, against simulated units on
// pseudo-terminals: outcomes and exit statuses, records and the log, several
// units at once, SIGINT, and input refused before any port opens.
#include <signal.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <cstring>
#include <memory>

#include "core/version.h"
#include "ports/port_map.h"
#include "tests/support/unit_kinds.h"
#include "tests/support/unit_rigs.h"

using namespace testsupport;

namespace {

const QString kFlash = QStringLiteral(QUARN_FLASH_PATH);
constexpr int kLength = 2000;       // 32 blocks
constexpr int kLongLength = 24000;  // more than a file read buffers at once

struct Result {
    int exit = -1;
    QList<QJsonObject> records;  // from --json
    QByteArray out, err;
};

QList<QJsonObject> parseLines(const QByteArray& text) {
    QList<QJsonObject> list;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError e{};
        const QJsonDocument d = QJsonDocument::fromJson(line, &e);
        if (e.error != QJsonParseError::NoError || !d.isObject())
            qWarning("bad JSON line: %s", line.constData());
        list << (d.isObject() ? d.object() : QJsonObject{{"bad", QString::fromUtf8(line)}});
    }
    return list;
}

Result finish(QProcess& p, int ms = 30000) {
    Result r;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.records = parseLines(r.out);
    return r;
}

QByteArray sha256Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

sim::Config faulted(sim::Stage stage, sim::Fault fault, int baud = 0) {
    sim::Config c;
    c.faults[stage] = fault;
    c.baud = baud;
    return c;
}

}  // namespace

class TestFlash : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QByteArray data_ = patternBytes(kLength);
    QString file_;
    QString log_;

    QStringList args(const QStringList& ports, const QStringList& extra = {}) const {
        QStringList a{QStringLiteral("--file"),
                      file_,
                      QStringLiteral("--length"),
                      QString::number(kLength),
                      QStringLiteral("--json"),
                      QStringLiteral("--log"),
                      log_};
        for (const QString& p : ports) a << QStringLiteral("-p") << p;
        return a + extra;
    }
    void start(QProcess& p, const QStringList& a) {
        p.start(kFlash, a);
        QVERIFY(p.waitForStarted());
    }
    Result run(const QStringList& a) {
        QProcess p;
        p.start(kFlash, a);
        return finish(p);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        file_ = writeFile(dir_.path(), QStringLiteral("image.bin"), data_);
    }
    void init() {
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).remove(QLatin1Char('/'));
        log_ =
            dir_.filePath(QStringLiteral("log-%1-%2.jsonl").arg(QTest::currentTestFunction(), tag));
    }

    // COM1 mapped to a simulated unit: exit 0, the record, the image, the log.
    void goodUnit() {
        SimPort unit({}, 1);
        const Result r = run(args({QStringLiteral("COM1")}, {"--station", "bay-3", "--operator",
                                                             "ann", "--serial", "COM1=SN-17"}));
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.records.size(), 1);
        const QJsonObject o = r.records[0];
        const QByteArray image = toQByteArray(sim::expectedImage(toBytes(data_), kLength));
        QVERIFY(unit.unit().waitForSessions(1, 2000));  // the end byte may still be on its way
        QCOMPARE(unit.unit().sessions().size(), size_t(1));
        QCOMPARE(toQByteArray(unit.unit().sessions()[0].image), image);
        const QStringList keys{"approved", "blocks",       "bytes",   "device",  "file",
                               "id",       "image_sha256", "length",  "message", "operator",
                               "outcome",  "port",         "repeats", "seconds", "serial",
                               "sha256",   "slot",         "started", "station", "version"};
        QCOMPARE(o.keys(), keys);
        QVERIFY(o["approved"].isNull());  // the approved list was not asked
        QCOMPARE(o["station"].toString() + o["operator"].toString() + o["serial"].toString(),
                 QStringLiteral("bay-3annSN-17"));
        QCOMPARE(o["slot"].toString(), o["device"].toString());  // a pty has no stable link
        QCOMPARE(o["version"].toString(), QStringLiteral(QUARN_VERSION));
        QVERIFY(!QUuid::fromString(o["id"].toString()).isNull());
        QCOMPARE(o["image_sha256"].toString(), o["sha256"].toString());
        QCOMPARE(o["outcome"].toString(), QStringLiteral("good"));
        QCOMPARE(o["message"].toString(), QString());
        QCOMPARE(o["port"].toString(), QStringLiteral("COM1"));
        QCOMPARE(o["device"].toString(), QString::fromStdString(unit.unit().devicePath()));
        QCOMPARE(o["file"].toString(), file_);
        QCOMPARE(o["length"].toInt(), kLength);
        QCOMPARE(o["blocks"].toInt(), 32);
        QCOMPARE(o["bytes"].toInt(), image.size());
        QCOMPARE(o["repeats"].toInt(), 0);
        QCOMPARE(o["sha256"].toString().toLatin1(), sha256Hex(image));
        QVERIFY(QDateTime::fromString(o["started"].toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(o["started"].toString().endsWith(QLatin1Char('Z')));
        QVERIFY(o["seconds"].toDouble() > 2.5);  // the quiet line, the pause and the blocks
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), r.out);
        // Standard error is no terminal here: plain lines, quarters, the summary.
        QVERIFY(!r.err.contains('\x1b') && !r.err.contains('\r'));
        QVERIFY2(r.err.contains("COM1: 16 of 32 blocks (50%)"), r.err.constData());
        QVERIFY(r.err.contains("outcome"));
    }

    // One unit per failure, all at once: each its exit status and record.
    void failures() {
        struct Row {
            const char* outcome;
            int exit;
            sim::Config config;
            QStringList extra;
            const char* message;
        };
        sim::Config refusing;
        refusing.refuseBlock = 2;
        refusing.refuseTimes = 1000;
        std::vector<Row> rows{
            {"port", 2, {}, {}, "Cannot open"},
            {"handshake",
             3,
             faulted(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence)),
             {},
             "No reply"},
            {"login",
             4,
             faulted(sim::Stage::Login, makeFault(sim::FaultKind::WrongByte, QByteArray(1, 0))),
             {},
             "last reply 0"},
            {"transfer",
             5,
             faulted(sim::Stage::Verdict, makeFault(sim::FaultKind::WrongByte, "\x44", -1, 4)),
             {},
             "at block 5 of 32 (last reply 44)"},
            {"transfer",
             5,
             refusing,
             {"--max-repeats", "3"},
             "refused block 3 of 32 3 times in a row"},
        };
        std::vector<std::unique_ptr<SimPort>> units;
        std::vector<std::unique_ptr<QProcess>> procs;
        for (size_t i = 0; i < rows.size(); ++i) {
            units.push_back(std::make_unique<SimPort>(rows[i].config, 11 + int(i)));
            const QString port = i == 0 ? dir_.filePath("no-such-device") : units[i]->linkPath();
            procs.push_back(std::make_unique<QProcess>());
            start(*procs[i], args({port}, rows[i].extra));
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            const Result r = finish(*procs[i]);
            const Row& row = rows[i];
            QCOMPARE(r.exit, row.exit);
            QCOMPARE(r.records.size(), 1);
            QCOMPARE(r.records[0]["outcome"].toString(), QString::fromLatin1(row.outcome));
            // Which firmware a failed session was loading, all the same.
            QCOMPARE(r.records[0]["image_sha256"].toString().toLatin1(),
                     sha256Hex(toQByteArray(sim::expectedImage(toBytes(data_), kLength))));
            QVERIFY2(r.records[0]["message"].toString().contains(QLatin1String(row.message)),
                     qPrintable(r.records[0]["message"].toString()));
        }
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(parseLines(log.readAll()).size(), int(rows.size()));
        // --max-repeats 3: block 3 went out three times, then nothing more.
        const sim::Bytes wire = units[4]->unit().received();
        QCOMPARE(wire.size(), size_t(3 + 8 + 1 + 2 * 67 + 1 + 3 * 65));
    }

    // Four units: two good, one silent, one unplugged mid-transfer. The good
    // ones are not held up by the others; exit 6; four records.
    void fourAtOnce() {
        SimPort good1({}, 1),
            silent(faulted(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence)), 2),
            good2({}, 3),
            unplugged(faulted(sim::Stage::Verdict, makeFault(sim::FaultKind::HangUp, {}, -1, 10)),
                      4);
        const Result r = run(args({"COM1", "COM2", "COM3", "COM4"}));
        QCOMPARE(r.exit, 6);
        QCOMPARE(r.records.size(), 4);
        QMap<QString, QJsonObject> byPort;
        for (const QJsonObject& o : r.records) byPort[o["port"].toString()] = o;
        QCOMPARE(byPort["COM1"]["outcome"].toString(), QStringLiteral("good"));
        QCOMPARE(byPort["COM2"]["outcome"].toString(), QStringLiteral("handshake"));
        QCOMPARE(byPort["COM3"]["outcome"].toString(), QStringLiteral("good"));
        QCOMPARE(byPort["COM4"]["outcome"].toString(), QStringLiteral("transfer"));
        QVERIFY(byPort["COM4"]["message"].toString().contains("lost"));
        // Every unit starts at once (the units are not taken in turn), and
        // the two good ones take about as long as each other: neither is held
        // up by the silent or the unplugged unit.
        auto started = [&](const char* port) {
            return QDateTime::fromString(byPort[port]["started"].toString(), Qt::ISODateWithMs);
        };
        for (const char* port : {"COM2", "COM3", "COM4"})
            QVERIFY2(qAbs(started("COM1").msecsTo(started(port))) < 500, port);
        const double s1 = byPort["COM1"]["seconds"].toDouble();
        const double s3 = byPort["COM3"]["seconds"].toDouble();
        QVERIFY2(qMax(s1, s3) < qMin(s1, s3) * 1.3 + 0.3,
                 qPrintable(QString("COM1 %1 s, COM3 %2 s").arg(s1).arg(s3)));
        QCOMPARE(toQByteArray(good1.unit().sessions().at(0).image),
                 toQByteArray(sim::expectedImage(toBytes(data_), kLength)));
        QVERIFY(good2.unit().waitForSessions(1, 2000));
        QCOMPARE(good2.unit().sessions().size(), size_t(1));
    }

    // A stop signal during the blocks of two paced units (SIGHUP: a closed
    // terminal): exit 130, no end byte, both records interrupted.
    void stopSignals_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void stopSignals() {
        QFETCH(int, signal);
        sim::Config paced;
        paced.baud = 9600;
        SimPort a(paced, 21), b(paced, 22);
        QProcess p;
        start(p, args({a.linkPath(), b.linkPath()}));
        QVERIFY(spinUntil(
            [&] {
                return a.unit().received().size() > 12 + 5 * 67 &&
                       b.unit().received().size() > 12 + 67;
            },
            15000));
        ::kill(static_cast<pid_t>(p.processId()), signal);
        const Result r = finish(p);
        QCOMPARE(r.exit, 130);
        QCOMPARE(r.records.size(), 2);
        for (const QJsonObject& o : r.records) {
            QCOMPARE(o["outcome"].toString(), QStringLiteral("interrupted"));
            QVERIFY(o["blocks"].toInt() > 0 && o["blocks"].toInt() < 32);
            QVERIFY(o["message"].toString().contains("stopped"));
        }
        // A unit counts a session only at the end byte.
        QCOMPARE(a.unit().sessions().size(), size_t(0));
        QCOMPARE(b.unit().sessions().size(), size_t(0));
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(parseLines(log.readAll()).size(), 2);
    }

    // --watch: an empty socket is listened on; a unit that appears is loaded
    // once, "remove the unit" while it answers; a signal then ends the run
    // with 0 (nothing was loading), or, during the blocks of the next unit,
    // with 130 and an interrupted record.
    void watch() {
        sim::Config paced;
        paced.baud = 9600;
        SimPort a(paced, 23);
        a.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence));
        a.unit().setFault(sim::Stage::Login, makeFault(sim::FaultKind::Silence));
        QProcess p;
        start(p, args({a.linkPath()}, {QStringLiteral("--watch")}));
        QTest::qWait(3000);  // past a whole quiet line and handshake, with nobody there
        a.unit().clearFaults();
        a.unit().repower();
        QVERIFY(a.unit().waitForSessions(1, 15000));
        QVERIFY(spinUntil([&] { return p.peek(1 << 16).contains("\"outcome\":\"good\""); }, 3000));
        QTest::qWait(7000);  // at least two probes, each answered
        ::kill(static_cast<pid_t>(p.processId()), SIGHUP);
        Result r = finish(p);
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.records.size(), 1);
        QVERIFY(a.unit().waitForSessions(1, 2000));
        QCOMPARE(a.unit().sessions().size(), size_t(1));
        for (const char* line :
             {"waiting for a unit", "16 of 32 blocks (50%)", ": good", "remove the unit"})
            QVERIFY2(r.err.contains(line), r.err.constData());
        QVERIFY(r.err.indexOf("remove the unit") > r.err.indexOf(": good"));

        a.unit().clearLog();
        start(p, args({a.linkPath()}, {QStringLiteral("--watch")}));
        QVERIFY(spinUntil([&] { return a.unit().received().size() > 12 + 5 * 67; }, 15000));
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        r = finish(p);
        QCOMPARE(r.exit, 130);
        QCOMPARE(r.records.size(), 1);
        QCOMPARE(r.records[0]["outcome"].toString(), QStringLiteral("interrupted"));
    }

    // --watch at an operator's pace: the loaded unit taken out as its record
    // appears and the next one put in 3 s later is loaded too, each once.
    void watchSwapInThreeSeconds() {
        SimPort a({}, 23);
        QProcess p;
        start(p, args({a.linkPath()}, {QStringLiteral("--watch")}));
        QVERIFY(spinUntil([&] { return p.peek(1 << 16).contains("\"outcome\":\"good\""); }, 15000));
        a.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence));
        a.unit().setFault(sim::Stage::Login, makeFault(sim::FaultKind::Silence));
        QTest::qWait(3000);
        a.unit().clearFaults();
        a.unit().repower();
        const bool second = a.unit().waitForSessions(2, 10000);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        const Result r = finish(p);
        QVERIFY2(second, r.err.constData());
        QCOMPARE(r.records.size(), 2);
        QCOMPARE(a.unit().logins(), 2);
    }

    // --watch with units of every kind side by side, each with no probe reply
    // lost, one, and two not in a row: a unit left in its socket is logged
    // into once, and the next one put in after it is loaded once.
    void watchEveryKindOncePerInsertion() {
        QTemporaryDir dir;
        KindRack rack(dir.path());
        QProcess p;
        start(p, args(rack.ports(), {QStringLiteral("--watch")}));
        const KindRack::Insertions run = rack.runInsertions();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        finish(p);
        QVERIFY2(run.loadedFirst && run.first == rack.expected(1), qPrintable(run.first));
        QVERIFY2(run.loadedSecond && run.second == rack.expected(2), qPrintable(run.second));
    }

    // --watch on a COM number looks the port up before every attempt: when
    // the link behind COM4 is pointed at another pseudo-terminal (an adapter
    // back on another device node after a hub reset), the unit there is
    // loaded. Its record could not reach the log (a file stands where the
    // log's folder should be): the watch ends with 7, as a single run does.
    void watchFollowsPort() {
        SimPort empty(faulted(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence)), 4);
        log_ = writeFile(dir_.path(), QStringLiteral("not-a-folder"), {}) + "/log.jsonl";
        QProcess p;
        start(p, args({QStringLiteral("COM4")}, {QStringLiteral("--watch")}));
        QVERIFY(spinUntil([&] { return !empty.unit().received().empty(); }, 10000));
        sim::Config moved;
        moved.symlink = empty.linkPath().toStdString();  // the link now leads to this unit
        sim::UnitSim unit(moved);
        QVERIFY(unit.start());
        QVERIFY(unit.waitForSessions(1, 20000));
        QVERIFY(spinUntil([&] { return p.peek(1 << 16).contains("\"outcome\":\"good\""); }, 3000));
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        const Result r = finish(p);
        QCOMPARE(r.records.size(), 1);
        QCOMPARE(r.records[0]["device"].toString(), QString::fromStdString(unit.devicePath()));
        QCOMPARE(r.exit, 7);
        QVERIFY2(r.err.contains("cannot write the log"), r.err.constData());
    }

    // --watch stopped while the log takes no record (a file stands where its
    // folder should be): the log is tried once more, a record it still
    // refuses goes to standard error as a JSON line, and the status is 7,
    // even with a unit loading at the signal; a log that takes records again
    // by the signal gets the record.
    void watchStopWithHeldRecord_data() {
        QTest::addColumn<bool>("loading");
        QTest::addColumn<bool>("writable");
        QTest::newRow("unit loading, log refused") << true << false;
        QTest::newRow("log back before the signal") << false << true;
    }
    void watchStopWithHeldRecord() {
        QFETCH(bool, loading);
        QFETCH(bool, writable);
        SimPort unit(faulted(sim::Stage::Verdict, {}, loading ? 9600 : 0), 23);
        const QString blocker =
            writeFile(dir_.path(), QStringLiteral("held-%1").arg(writable), "not a folder");
        log_ = blocker + QStringLiteral("/log.jsonl");
        QStringList a = args({unit.linkPath()}, {QStringLiteral("--watch")});
        a.removeAll(QStringLiteral("--json"));
        QProcess p;
        start(p, a);
        p.setReadChannel(QProcess::StandardError);
        if (loading)
            QVERIFY(spinUntil([&] { return unit.unit().received().size() > 12 + 5 * 67; }, 15000));
        else
            QVERIFY(spinUntil([&] { return p.peek(1 << 16).contains(": good"); }, 15000));
        if (writable) QVERIFY(QFile::remove(blocker) && QDir().mkpath(blocker));
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        const Result r = finish(p);
        QList<QJsonObject> spilled;
        for (const QByteArray& line : r.err.split('\n'))
            if (line.startsWith('{')) spilled << QJsonDocument::fromJson(line).object();
        QFile log(log_);
        const QList<QJsonObject> logged =
            log.open(QIODevice::ReadOnly) ? parseLines(log.readAll()) : QList<QJsonObject>{};
        QCOMPARE(r.exit, 7);
        QCOMPARE(spilled.size() + logged.size(), 1);
        const QList<QJsonObject> records = writable ? logged : spilled;
        QVERIFY2(records.size() == 1 && records[0]["outcome"] == (loading ? "interrupted" : "good"),
                 r.err.constData());
    }

    // Standard output fails after the first record (its reader went away, or
    // it is a full device): the second unit still loads, both records reach
    // the log, the failure is said once, and the status is the units' own.
    void failingOutput_data() {
        QTest::addColumn<bool>("closedPipe");
        QTest::newRow("reader gone") << true;
        QTest::newRow("/dev/full") << false;
    }
    void failingOutput() {
        QFETCH(bool, closedPipe);
        sim::Config paced;
        paced.baud = 9600;
        SimPort fast({}, 23), slow(paced, 24);
        QProcess p, head;
        if (closedPipe) {
            p.setStandardOutputProcess(&head);
            head.start(QStringLiteral("head"), {QStringLiteral("-c"), QStringLiteral("10")});
        } else {
            p.setStandardOutputFile(QStringLiteral("/dev/full"));
        }
        start(p, args({fast.linkPath(), slow.linkPath()}));
        const Result r = finish(p);
        head.waitForFinished();
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.err.count("standard output failed"), 1);
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QJsonObject> lines = parseLines(log.readAll());
        QCOMPARE(lines.size(), 2);
        for (const QJsonObject& o : lines)
            QCOMPARE(o["outcome"].toString(), QStringLiteral("good"));
        QVERIFY(slow.unit().waitForSessions(1, 2000));
        QCOMPARE(slow.unit().sessions().size(), size_t(1));
    }

    // The download file rewritten or emptied during the transfer, past what
    // a file read buffers: the unit gets the file as it was when the program
    // started, and the record's digest is of that.
    void imageFixedAtStart_data() {
        QTest::addColumn<QByteArray>("later");
        QTest::newRow("rewritten") << patternBytes(kLongLength, 99);
        QTest::newRow("emptied") << QByteArray();
    }
    void imageFixedAtStart() {
        QFETCH(QByteArray, later);
        const QByteArray first = patternBytes(kLongLength);
        const QString path = writeFile(dir_.path(), "changing.bin", first);
        sim::Config paced;
        paced.baud = 57600;
        SimPort unit(paced, 26);
        QProcess p;
        start(p, {"--file", path, "--length", QString::number(kLongLength), "--json", "--log", log_,
                  "-p", unit.linkPath()});
        QVERIFY(spinUntil([&] { return unit.unit().received().size() > 12 + 10 * 67; }, 15000));
        writeFile(dir_.path(), "changing.bin", later);
        const Result r = finish(p);
        QCOMPARE(r.exit, 0);
        const QByteArray image = toQByteArray(sim::expectedImage(toBytes(first), kLongLength));
        QCOMPARE(toQByteArray(unit.unit().sessions().at(0).image), image);
        QCOMPARE(r.records.value(0)["sha256"].toString().toLatin1(), sha256Hex(image));
    }

    // Reading COM numbers writes the settings file only when a new port got
    // a number; a file that cannot be written is said once, with the reason.
    void settingsFile_data() {
        QTest::addColumn<QString>("where");  // a mount option, or a folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << "size=4k" << QString::fromLocal8Bit(std::strerror(ENOSPC));
        QTest::newRow("read-only") << "ro" << QString::fromLocal8Bit(std::strerror(EROFS));
        QTest::newRow("no folder")
            << "/proc/quarn-config" << QString::fromLocal8Bit(std::strerror(ENOENT));
        QTest::newRow("nothing new") << "" << QString();
    }
    void settingsFile() {
        QFETCH(QString, where);
        QFETCH(QString, reason);
        if (quarn::discoverPorts().isEmpty()) QSKIP("no serial port here to be numbered");
        QTemporaryDir config;
        QString dir = where.startsWith('/') ? where : config.path();
        auto unmount = qScopeGuard([&] {
            if (!where.isEmpty() && !where.startsWith('/'))
                QProcess::execute("umount", {config.path()});
        });
        if (!where.isEmpty() && !where.startsWith('/')) {
            if (QProcess::execute("mount", {"-t", "tmpfs", "-o", where, "tmpfs", config.path()}))
                QSKIP("no tmpfs can be mounted here");
            if (where != "ro") writeFile(config.path(), "filler", QByteArray(4096, 'f'));
        }
        auto flash = [&] {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QUARN_CONFIG_DIR", dir);
            p.setProcessEnvironment(env);
            p.start(kFlash,
                    {"--file", file_, "--length", "64", "--no-log", "-p", "COM2", "-p", "COM3"});
            return finish(p);
        };
        if (where.isEmpty()) {
            flash();  // numbers the machine's ports
            const QFileInfo before(dir + "/quarn-download.conf");
            QVERIFY(before.exists());
            QTest::qWait(20);
            flash();
            const QFileInfo after(dir + "/quarn-download.conf");
            QCOMPARE(after.lastModified(), before.lastModified());
            QCOMPARE(after.birthTime(), before.birthTime());
            return;
        }
        const Result r = flash();
        QCOMPARE(r.err.count("could not be written"), 1);
        QVERIFY2(
            r.err.contains(("quarn-download.conf could not be written: " + reason).toLocal8Bit()),
            r.err.constData());
    }

    // A log that cannot take the record: one line on standard error naming
    // it, the record on standard output all the same, exit 7 unless a unit
    // failed; a short write on a full file system leaves no half line behind.
    void logFailures_data() {
        QTest::addColumn<QString>("where");  // "tmpfs" (mounted full), or a log path
        QTest::addColumn<bool>("unitFails");
        QTest::addColumn<int>("exit");
        QTest::newRow("full tmpfs") << "tmpfs" << false << 7;
        QTest::newRow("full tmpfs, unit fails") << "tmpfs" << true << 3;
        QTest::newRow("/dev/full") << "/dev/full" << false << 7;
        QTest::newRow("log not creatable") << "/proc/quarn.jsonl" << false << 7;
    }
    void logFailures() {
        QFETCH(QString, where);
        QFETCH(bool, unitFails);
        QFETCH(int, exit);
        const QByteArray earlier = "{\"pad\":\"" + QByteArray(4000 - 11, 'x') + "\"}\n";
        QTemporaryDir mountPoint;
        QString logPath = where;
        if (where == QLatin1String("tmpfs")) {
            // Two pages: one taken by a filler, one by the log's earlier lines.
            if (QProcess::execute(
                    "mount", {"-t", "tmpfs", "-o", "size=8k", "tmpfs", mountPoint.path()}) != 0)
                QSKIP("no tmpfs can be mounted here");
            logPath = writeFile(mountPoint.path(), "log.jsonl", earlier);
            writeFile(mountPoint.path(), "filler", QByteArray(4096, 'f'));
        }
        auto unmount = qScopeGuard([&] {
            if (where == QLatin1String("tmpfs")) QProcess::execute("umount", {mountPoint.path()});
        });
        SimPort unit(unitFails ? faulted(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence))
                               : sim::Config{},
                     25);
        QStringList a = args({unit.linkPath()});
        a[a.indexOf("--log") + 1] = logPath;
        const Result r = run(a);
        QCOMPARE(r.exit, exit);
        QCOMPARE(r.records.size(), 1);
        QCOMPARE(r.err.count(("cannot write the log " + logPath).toLocal8Bit()), 1);
        if (where == QLatin1String("tmpfs")) {
            QVERIFY(r.err.contains(qPrintable(QString::fromLocal8Bit(std::strerror(ENOSPC)))));
            QFile log(logPath);
            QVERIFY(log.open(QIODevice::ReadOnly));
            QCOMPARE(log.readAll(), earlier);
        }
    }

    // The log moved aside while --watch runs (log rotation): the next unit's
    // record goes to a new file at the log's path, none into the moved one.
    void watchLogMoved() {
        SimPort first({}, 26);
        SimPort second({}, 27);  // an empty socket until the log has moved
        second.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence));
        second.unit().setFault(sim::Stage::Login, makeFault(sim::FaultKind::Silence));
        QProcess p;
        start(p, args({first.linkPath(), second.linkPath()}, {QStringLiteral("--watch")}));
        const auto good = [&](int n) {
            return spinUntil([&] { return p.peek(1 << 16).count("\"outcome\":\"good\"") >= n; },
                             15000);
        };
        QVERIFY(good(1));
        QVERIFY(QFile::rename(log_, log_ + ".1"));
        second.unit().clearFaults();
        second.unit().repower();
        QVERIFY(good(2));
        ::kill(static_cast<pid_t>(p.processId()), SIGHUP);
        QCOMPARE(finish(p).exit, 0);
        for (const auto& [path, port] :
             {std::pair{log_ + ".1", first.linkPath()}, std::pair{log_, second.linkPath()}}) {
            QFile log(path);
            QVERIFY(log.open(QIODevice::ReadOnly));
            const QList<QJsonObject> records = parseLines(log.readAll());
            QCOMPARE(records.size(), 1);
            QCOMPARE(records[0]["port"].toString(), port);
        }
    }

    // A log whose last line was cut short (power lost): said once on standard
    // error by its line number; the next record is a whole line of its own.
    void logCutShort() {
        writeFile(dir_.path(), QFileInfo(log_).fileName(), "{\"id\":1}\n{\"id\":2,\"ser");
        SimPort unit({}, 28);
        const Result r = run(args({unit.linkPath()}));
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.err.count(qPrintable("line 2 of " + log_ + " was cut short")), 1);
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), 4);  // the last one empty: the log ends in a newline
        QCOMPARE(lines[1], QByteArray("{\"id\":2,\"ser"));
        QCOMPARE(QJsonDocument::fromJson(lines[2]).object(), r.records.value(0));
    }

    // Input errors: exit 1, no record, not a byte on the port.
    void inputErrors() {
        SimPort unit({}, 31);
        const QString port = unit.linkPath();
        const QString device = QString::fromStdString(unit.unit().devicePath());
        QDir(dir_.path()).mkpath("bad");
        const QString bad =
            writeFile(dir_.filePath("bad"), "Init.txt", "a\r\nb\r\nc\r\nno terminator\r\n");
        const QString shortFile = writeFile(dir_.path(), "short.bin", QByteArray(100, 'x'));
        const QString missing = dir_.filePath("missing.bin");
        const QList<std::pair<QStringList, const char*>> rows{
            {{"--bogus", "--file", file_, "--length", "64", "-p", port}, "Unknown option"},
            {{"--file", file_, "--length", "64"}, "no port"},
            {{"--file", file_, "--length", "64", "-p", port, "-p", device}, "same device"},
            {{"--file", file_, "--length", "64", "-p", "COM5"}, "\"COM5\" is no port"},
            {{"--file", file_, "--length", "64", "-p", port, "-p", "com0"}, "\"com0\" is no port"},
            {{"--file", file_, "--length", "64", "-p", ""}, "\"\" is no port"},
            {{"-p", port, bad}, "Invalid Init File"},
            {{"-p", port, dir_.filePath("bad")}, "Invalid Init File"},
            {{"--file", file_, "--length", "40000", "-p", port}, "-32768 to 32767"},
            {{"--file", file_, "--length", "ten", "-p", port}, "-32768 to 32767"},
            {{"--file", missing, "--length", "64", "-p", port}, "not found"},
            {{"--file", shortFile, "--length", "640", "-p", port}, "too short"},
            {{"--file", file_, "--length", "64", "-p", port, "--serial", "SN1"}, "PORT=SN"},
            {{"--file", file_, "--length", "64", "-p", port, "--serial", "COM4=SN1"}, "not one of"},
            {{"--file", file_, "--length", "64", "-p", port, "--serial", port + "=SN1", "--watch"},
             "--serial names one unit; --watch loads many"},
            {{"--file", file_, "--length", "64", "-p", port, "--max-attempts", "-1"},
             "--max-attempts wants a whole number >= 0"},
        };
        for (const auto& [a, why] : rows) {
            const Result r = run(a + QStringList{"--json", "--log", log_});
            QCOMPARE(r.exit, 1);
            QVERIFY2(r.err.contains(why), r.err.constData());
            QVERIFY(r.out.isEmpty());
        }
        QVERIFY(!QFile::exists(log_) || QFileInfo(log_).size() == 0);
        QTest::qWait(100);
        QCOMPARE(unit.unit().received().size(), size_t(0));
    }

    // The retest limit from the log (no database configured): a serial
    // number that failed three times here is held, exit 9, and its unit
    // hears nothing; held and interrupted records and another unit's
    // failures count as no attempt; --max-attempts 0 lifts the limit.
    void retestLimit() {
        const auto line = [](const char* serial, const char* outcome) {
            return QJsonDocument(
                       QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                   {"serial", serial},
                                   {"outcome", outcome}})
                       .toJson(QJsonDocument::Compact) +
                   '\n';
        };
        const QByteArray three =
            line("SN-1", "transfer") + line("SN-1", "login") + line("SN-1", "handshake");
        const QByteArray noAttempts = line("SN-1", "transfer") + line("SN-1", "held") +
                                      line("SN-1", "held") + line("SN-1", "interrupted") +
                                      line("SN-2", "port") + line("SN-2", "port") +
                                      line("SN-2", "port");
        const struct {
            QByteArray log;
            QStringList extra;
            int exit;
        } rows[] = {{three, {}, 9}, {noAttempts, {}, 0}, {three, {"--max-attempts", "0"}, 0}};
        std::vector<std::unique_ptr<SimPort>> units;
        std::vector<std::unique_ptr<QProcess>> procs;
        for (const auto& row : rows) {
            const int i = int(units.size());
            units.push_back(std::make_unique<SimPort>(sim::Config{}, 61 + i));
            const QString port = units.back()->linkPath();
            QStringList a = args({port}, row.extra + QStringList{"--serial", port + "=SN-1"});
            a[a.indexOf("--log") + 1] =
                writeFile(dir_.path(), QStringLiteral("retest-%1.jsonl").arg(i), row.log);
            procs.push_back(std::make_unique<QProcess>());
            start(*procs.back(), a);
        }
        for (size_t i = 0; i < procs.size(); ++i) {
            const Result r = finish(*procs[i]);
            QCOMPARE(r.exit, rows[i].exit);
            QCOMPARE(r.records.size(), 1);
            if (r.exit == 0) continue;
            QCOMPARE(r.records[0]["outcome"].toString(), QStringLiteral("held"));
            QCOMPARE(r.records[0]["bytes"].toInt(), 0);
            const QString why = "retest limit: to repair: 3 attempts; attempts from the local log";
            QCOMPARE(r.records[0]["message"].toString(), why);
            QVERIFY2(r.err.contains(why.toUtf8()), r.err.constData());
            QTest::qWait(100);
            QCOMPARE(units[i]->unit().received().size(), size_t(0));
        }
    }

    // One log, eight processes appending at once and one killed with -9
    // mid-run: every line whole and valid JSON, one per finished unit.
    void sharedLog() {
        sim::Config paced;
        paced.baud = 9600;
        std::vector<std::unique_ptr<SimPort>> units;
        std::vector<std::unique_ptr<QProcess>> procs;
        for (int i = 0; i < 9; ++i) {
            units.push_back(std::make_unique<SimPort>(i == 8 ? paced : sim::Config{}, 41 + i));
            procs.push_back(std::make_unique<QProcess>());
            start(*procs.back(), args({units.back()->linkPath()}));
        }
        QVERIFY(spinUntil([&] { return units[8]->unit().received().size() > 12 + 67; }, 15000));
        procs[8]->kill();
        for (int i = 0; i < 8; ++i) QCOMPARE(finish(*procs[i]).exit, 0);
        finish(*procs[8]);
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.endsWith('\n'));
        const QList<QJsonObject> lines = parseLines(text);
        QCOMPARE(lines.size(), 8);
        for (const QJsonObject& o : lines)
            QCOMPARE(o["outcome"].toString(), QStringLiteral("good"));
    }
};

QTEST_GUILESS_MAIN(TestFlash)
#include "test_flash.moc"
