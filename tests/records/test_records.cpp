// quarn-records and quarn-flash's push against a PostgreSQL server of the
// test's own: every column arrives, nothing twice, nothing lost when the
// server is down or the push is killed, damaged lines named, the report the
// same from the log and from the database, and a download never held up.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>
#include <QtTest>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "approval/approved_images.h"
#include "core/settings.h"
#include "database/database_url.h"
#include "database/push.h"
#include "database/push_cancel.h"
#include "database/pusher.h"
#include "image/blocks.h"
#include "station/shift_counters.h"
#include "tests/support/pg_server.h"
#include "tests/support/test_support.h"

using namespace testsupport;

namespace {

const QString kFlash = QStringLiteral(QUARN_FLASH_PATH);
const QString kRecords = QStringLiteral(QUARN_RECORDS_PATH);

struct Run {
    int exit = -1;
    QString out, err;
    qint64 ms = 0;
};

Run finish(QProcess& p) {
    Run r;
    if (!p.waitForFinished(120000)) p.kill(), p.waitForFinished();
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// The numbers of "N record(s) sent, M new; K wait".
QList<int> pushFigures(const QString& out) {
    static const QRegularExpression re(
        QStringLiteral("(\\d+) record\\(s\\) sent, (\\d+) new; (\\d+) wait"));
    const auto m = re.match(out);
    return m.hasMatch()
               ? QList<int>{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()}
               : QList<int>{-1, -1, -1};
}

// Processes of quarn-records pushing the log, found by their command lines.
QList<int> pushersOf(const QString& log) {
    QList<int> pids;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> args = f.readAll().split('\0');
        if (args.size() > 2 && args[0].endsWith("quarn-records") && args.contains("push") &&
            args.contains(QFile::encodeName(log)))
            pids << pid.toInt();
    }
    return pids;
}

// Ends the pushes of the log a program left behind.
bool endPushers(const QString& log) {
    for (int pid : pushersOf(log)) ::kill(pid, SIGTERM);
    return QTest::qWaitFor([&] { return pushersOf(log).isEmpty(); }, 10000);
}

// One record as sampleRecords makes it, with these keys changed.
QByteArray recordLine(const QJsonObject& changes) {
    QJsonObject o = QJsonDocument::fromJson(sampleRecords(1)).object();
    for (auto it = changes.begin(); it != changes.end(); ++it) o[it.key()] = it.value();
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

// A TCP port that takes connections into its backlog and never answers.
struct SilentServer {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    SilentServer() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(fd, 16) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(fd); }
};

}  // namespace

class TestRecords : public QObject {
    Q_OBJECT

    std::unique_ptr<PgServer> pg_;
    QTemporaryDir dir_;
    QString log_;

    void start(QProcess& p, const QString& program, const QStringList& args, const QString& db) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUARN_DB"), db);
        p.setProcessEnvironment(env);
        p.start(program, args);
        QVERIFY(p.waitForStarted());
    }
    Run records(const QStringList& args, const QString& db = {}) {
        QProcess p;
        start(p, kRecords, args, db);
        return finish(p);
    }
    Run push(const QString& user = QString()) {
        return records({QStringLiteral("push"), QStringLiteral("--log"), log_}, pg_->url(user));
    }
    // The schema and the roles applied as an administrator would, with
    // quarn-records' own SQL (twice: it may be run again), and one login
    // role of each kind: st1, eng1, view1.
    bool applyRoles() {
        const Run schema = records({"schema"}), roles = records({"schema", "--roles"});
        const QString out =
            pg_->sql(schema.out + roles.out + roles.out +
                     "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'st1') THEN"
                     " CREATE ROLE st1 LOGIN IN ROLE quarn_station;"
                     " CREATE ROLE eng1 LOGIN IN ROLE quarn_engineer;"
                     " CREATE ROLE view1 LOGIN IN ROLE quarn_viewer; END IF; END $$");
        if (schema.exit == 0 && roles.exit == 0 && !out.contains("ERROR")) return true;
        return qWarning("%s", qPrintable(out)), false;
    }
    // A folder with an Init.txt naming fw.bin, 1000 bytes; the sha256 a station computes.
    QString initFolder(QString* sha) {
        const QString folder = dir_.filePath(QStringLiteral("init"));
        QDir().mkpath(folder);
        const QByteArray fw = patternBytes(1000, 11);
        writeFile(folder, QStringLiteral("fw.bin"), fw);
        writeFile(folder, QStringLiteral("Init.txt"),
                  "QX-200\r\nline\r\nline\r\nStepEnd\r\nfw.bin\r\n1000\r\nDone\r\nQX-200 fw\r\n");
        *sha = QString::fromLatin1(quarn::imageSha256(fw, 1000).toHex());
        return folder;
    }
    // A station adds records and changes none; nobody stamps an approval
    // for another; a viewer only reads.
    void refusedStatements() {
        const std::pair<const char*, const char*> refused[] = {
            {"st1", "UPDATE quarn_sessions SET outcome = 'good'"},
            {"st1", "DELETE FROM quarn_sessions"},
            {"st1", "INSERT INTO quarn_sessions (id, first_pass) VALUES (gen_random_uuid(), true)"},
            {"st1", "SELECT count(*) FROM quarn_sessions"},
            {"st1", "INSERT INTO quarn_images (sha256) VALUES (repeat('c', 64))"},
            {"eng1",
             "INSERT INTO quarn_images (sha256, approved_by) VALUES (repeat('c', 64), 'x')"},
            {"eng1", "DELETE FROM quarn_images"},
            {"view1", "DELETE FROM quarn_sessions"},
        };
        for (const auto& [user, statement] : refused) {
            const QString out = pg_->sql(statement, user);
            QVERIFY2(out.contains("permission denied"), qPrintable(user + (": " + out)));
        }
    }
    QJsonArray images(const QString& user) {
        const Run r = records({"images", "--json", "--db", pg_->url(user)});
        return QJsonDocument::fromJson(r.out.toUtf8()).array();
    }
    static QJsonObject readJson(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                           : QJsonObject();
    }
    int rows() { return pg_->sql(QStringLiteral("SELECT count(*) FROM quarn_sessions")).toInt(); }
    void writeLog(const QByteArray& text) {
        QFile f(log_);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append) && f.write(text) == text.size());
    }
    // Every session but the asking one has ended: what a push left running
    // on the server (it runs a batch sent whole to its end) is over.
    bool serverIdle() {
        return QTest::qWaitFor(
            [&] {
                return pg_->sql(
                           "SELECT count(*) FROM pg_stat_activity WHERE backend_type ="
                           " 'client backend' AND pid <> pg_backend_pid()") == "0";
            },
            30000);
    }
    Run flash(const QString& port, const QString& db) {
        const QString file = writeFile(dir_.path(), QStringLiteral("fw.bin"), patternBytes(1000));
        QProcess p;
        start(p, kFlash,
              {"--file", file, "--length", "1000", "--json", "--log", log_, "-p", port, "--station",
               "bay-3", "--operator", "ann", "--serial", port + "=SN-9"},
              db);
        QElapsedTimer clock;
        clock.start();
        Run r = finish(p);
        r.ms = clock.elapsed();
        return r;
    }

private slots:
    void initTestCase() {
        pg_ = std::make_unique<PgServer>();
        QVERIFY2(pg_->ok(), qPrintable(pg_->error()));
    }
    void init() {
        qunsetenv("QUARN_PUSH_TIME_LIMIT");
        pg_->unlockTable();
        pg_->sql(QStringLiteral(
            "DROP VIEW IF EXISTS quarn_yield_daily; DROP TABLE IF EXISTS quarn_sessions, "
            "quarn_summary_hours, quarn_summary_attempts, quarn_summary_seconds, "
            "quarn_summary_causes, quarn_summary_sockets, quarn_images, quarn_socket_service;"
            " DROP FUNCTION IF EXISTS quarn_first_pass(), quarn_images_revoke()"));
        log_ = dir_.filePath(QStringLiteral("%1-%2.jsonl")
                                 .arg(QTest::currentTestFunction(), QTest::currentDataTag()));
    }

    // The URL forms, and what reaches the driver.
    void databaseUrl_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("parsed");  // host|port|db|user|options, or the error
        QTest::newRow("tcp") << "postgresql://qa@db.plant:5433/records"
                             << "db.plant|5433|records|qa|connect_timeout=10;keepalives_idle=30";
        QTest::newRow("socket") << "postgresql:///records?host=/run/postgresql"
                                << "/run/postgresql|-1|records||connect_timeout=10;keepalives";
        QTest::newRow("tls")
            << "postgres://qa@db/r?sslmode=verify-full&sslrootcert=/etc/"
               "my%20ca.pem&connect_timeout=3"
            << "db|-1|r|qa|sslmode='verify-full';sslrootcert='/etc/my ca.pem';connect_timeout='3';"
               "keepalives_idle=30";
        QTest::newRow("password") << "postgresql://qa:secret@db/r"
                                  << "no password";
        QTest::newRow("other scheme") << "mysql://db/r"
                                      << "no PostgreSQL URL";
    }
    void databaseUrl() {
        QFETCH(QString, url);
        QFETCH(QString, parsed);
        const quarn::records::DatabaseTarget t = quarn::records::parseDatabaseUrl(url);
        const QString got = t.error.isEmpty() ? QStringList{t.host, QString::number(t.port),
                                                            t.database, t.user, t.options.join(';')}
                                                    .join('|')
                                              : t.error;
        QVERIFY2(got.startsWith(parsed) || got.contains(parsed), qPrintable(got));
    }

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

    // The URL's options reach the server's client library: a bad one is
    // refused, and a server that never answers is given up after connect_timeout.
    void connectionOptions() {
        writeLog(sampleRecords(1));
        SilentServer quiet;
        const QString silent =
            QStringLiteral("postgresql://127.0.0.1:%1/x?connect_timeout=2").arg(quiet.port);
        for (const auto& [url, why] : {std::pair{pg_->url() + "&sslmode=bogus", "sslmode"},
                                       std::pair{silent, "timeout expired"}}) {
            QElapsedTimer clock;
            clock.start();
            const Run r = records({"push", "--log", log_}, url);
            QCOMPARE(r.exit, 2);
            QVERIFY2(r.err.contains(QLatin1String(why)), qPrintable(r.err));
            QVERIFY(clock.elapsed() < 6000);
        }
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

    // The report, from the log and from the database: the same figures.
    void report() {
        writeLog(sampleRecords(30, 3));
        QCOMPARE(push().exit, 0);
        // Then, pushed late: SN-3 (good at station-0) had been loaded before,
        // at station-2, so station-0 loses it as a unit; SN-0 again, later.
        auto again = [](const char* serial, const char* station, const char* started) {
            QJsonObject o = QJsonDocument::fromJson(sampleRecords(1)).object();
            o["serial"] = serial, o["station"] = station, o["started"] = started;
            return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
        };
        writeLog(again("SN-3", "station-2", "2026-11-30T06:00:00.000Z") +
                 again("SN-0", "station-1", "2026-12-01T07:00:00.000Z"));
        QCOMPARE(push().exit, 0);
        for (const char* by : {"day", "file", "slot", "operator", "station"}) {
            const Run fromLog = records({"report", "--log", log_, "--by", by, "--json"});
            const Run fromDb = records({"report", "--db", pg_->url(), "--by", by, "--json"});
            QCOMPARE(fromLog.exit + fromDb.exit, 0);
            // The same figures, but the server's verdict, which a log has not.
            QJsonArray db = QJsonDocument::fromJson(fromDb.out.toUtf8()).array(),
                       log = QJsonDocument::fromJson(fromLog.out.toUtf8()).array();
            for (QJsonArray* rows : {&db, &log})
                for (auto&& row : *rows) {
                    QJsonObject o = row.toObject();
                    QCOMPARE(o.take("approval_mismatch"),
                             rows == &db ? QJsonValue(0) : QJsonValue());
                    QJsonArray sockets = o.take("sockets").toArray();  // by slot
                    for (auto&& socket : sockets) {
                        QJsonObject each = socket.toObject();  // a log knows no service
                        QCOMPARE(each.take("since_service").isNull(), rows == &log);
                        socket = each;
                    }
                    if (!sockets.isEmpty()) o["sockets"] = sockets;
                    row = o;
                }
            QCOMPARE(db, log);
        }
        const Run fromDb = records({"report", "--db", pg_->url(), "--by", "station", "--json"});
        const QJsonObject first =
            QJsonDocument::fromJson(fromDb.out.toUtf8()).array()[0].toObject();
        // station-0 holds records 0, 3, ..., 27: 0, 21 failed; seconds 4 + i % 5.
        QCOMPARE(first["station"].toString(), QStringLiteral("station-0"));
        QCOMPARE(first["sessions"].toInt(), 10);
        QCOMPARE(first["good"].toInt(), 8);
        QCOMPARE(first["failed"].toObject()["transfer"].toInt(), 2);
        QCOMPARE(first["units"].toInt(), 9);
        QCOMPARE(pg_->sql("SELECT sum(sessions) || '|' || sum(good) FROM quarn_yield_daily"),
                 QStringLiteral("32|25"));
        QCOMPARE(first["first_pass_good"].toInt(), 7);
        QCOMPARE(
            QJsonDocument::fromJson(fromDb.out.toUtf8()).array()[1].toObject()["units"].toInt(),
            10);
        QCOMPARE(first["median_seconds"].toDouble(), 6.0);
        const Run since =
            records({"report", "--db", pg_->url(), "--since", "2026-12-01T06:00:20Z", "--json"});
        QCOMPARE(
            QJsonDocument::fromJson(since.out.toUtf8()).array()[0].toObject()["sessions"].toInt(),
            11);
        const Run none = records({"report", "--log", log_, "--since", "2026-12-02"});
        QVERIFY2(none.out.contains(QRegularExpression("\\nall +0 +0 ")), qPrintable(none.out));
    }

    // The station's pusher: a failed push says so and tries again by itself.
    void pusherRetries() {
        writeLog(sampleRecords(5));
        QVERIFY(pg_->stop());
        quarn::records::Pusher pusher(log_, pg_->url());
        pusher.retryMs = 300;
        QSignalSpy failed(&pusher, &quarn::records::Pusher::pushFailed);
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

    // Usage errors: exit 1.
    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"frob"};
        QTest::newRow("no database") << QStringList{"push"};
        QTest::newRow("password") << QStringList{"push", "--db", "postgresql://a:pw@h/d"};
        QTest::newRow("by what") << QStringList{"report", "--by", "colour"};
        QTest::newRow("db and log")
            << QStringList{"report", "--db", "postgresql:///d", "--log", "x"};
        QTest::newRow("since when") << QStringList{"report", "--since", "yesterday"};
        QTest::newRow("retry report") << QStringList{"report", "--retry", "5"};
    }
    void usage() {
        QFETCH(QStringList, args);
        QCOMPARE(records(args).exit, 1);
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
            QVERIFY2(r.err.contains(quarn::records::handedText(log_)), qPrintable(r.err));
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
        auto pusher = std::make_unique<quarn::records::Pusher>(log_, pg_->url());
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
        quarn::records::Pusher pusher(log_, pg_->url());
        QSignalSpy warned(&pusher, &quarn::records::Pusher::warning);
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
        QCOMPARE(quarn::records::pendingCount(log_), 7);
        QCOMPARE(pushFigures(push().out), (QList<int>{7, 7, 0}));
        QCOMPARE(rows(), 12);
        writeLog(sampleRecords(2));
        QCOMPARE(pushFigures(push().out), (QList<int>{2, 2, 0}));
    }

    // However the log was rotated (first records rotated before any push,
    // two rotations between pushes, rotated files compressed as the
    // README's logrotate does), every rotated file's records arrive, each
    // once, and nothing waits after the push.
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
        QCOMPARE(quarn::records::pendingCount(log_), written - sent);
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
        auto cancel = std::make_shared<quarn::records::PushCancel>();
        int warnings = 0;
        auto warn = [&](const QString&) {
            if (++warnings == 1)
                QFile::rename(log_, log_ + QStringLiteral(".1"));  // batch one in flight
            else
                cancel->cancel();  // batch one in, the push fails in batch two or three
        };
        using Status = quarn::records::PushResult::Status;
        QCOMPARE(quarn::records::pushLog({log_, pg_->url(), 1000, warn, {}, cancel}).status,
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
        QVERIFY2(hand.out.contains(quarn::records::handedText(log_)), qPrintable(hand.out));
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
        quarn::records::Pusher pusher(log_, pg_->url());
        QSignalSpy failed(&pusher, &quarn::records::Pusher::pushFailed);
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
        const quarn::records::PushResult two = quarn::records::pushLog({log_, pg_->url(), 3});
        QCOMPARE(int(two.status), int(quarn::records::PushResult::Status::Done));
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

    // report --by slot shows each socket's repeats and its sessions since
    // service, and flags both, from the summaries as from every row; only an
    // engineer records a service, stamped by the server.
    void socketsBySlot() {
        QVERIFY(applyRoles());
        const QString a = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.3:1.0-port0",
                      b = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4:1.0-port0";
        auto rows = [](const QString& slot, int n, int repeats, const QDateTime& at,
                       const char* outcome = "good") {
            QByteArray out;
            for (int i = 0; i < n; ++i)
                out += recordLine({{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                   {"station", "bay-1"},
                                   {"slot", slot},
                                   {"repeats", repeats},
                                   {"outcome", outcome},
                                   {"started", at.addSecs(i).toString(Qt::ISODateWithMs)}});
            return out;
        };
        const QDateTime old(QDate(2026, 12, 1), QTime(6, 0), Qt::UTC);
        writeLog(rows(a, 30, 2, old) + rows(a, 1, 50, old, "interrupted") + rows(b, 30, 0, old));
        QCOMPARE(push("st1").exit, 0);
        for (const char* user : {"st1", "view1"}) {
            const Run refused = records({"socket-service", "bay-1", a, "--db", pg_->url(user)});
            QVERIFY2(refused.exit == 3 && refused.err.contains("servicing a socket needs the role "
                                                               "quarn_engineer"),
                     qPrintable(refused.err));
        }
        const Run serviced =
            records({"socket-service", "bay-1", a, "--note", "pins", "--db", pg_->url("eng1")});
        QVERIFY2(serviced.exit == 0 && serviced.out.contains("serviced " + a + " at bay-1 by eng1"),
                 qPrintable(serviced.out + serviced.err));
        QVERIFY(pg_->sql("INSERT INTO quarn_socket_service (station, slot, serviced_by)"
                         " VALUES ('bay-1', 'x', 'ann')",
                         "eng1")
                    .contains("permission denied"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        writeLog(rows(a, 3, 2, now.addSecs(60)) + rows(a, 2, 2, now.addSecs(7200)));
        QCOMPARE(push("st1").exit, 0);
        QTemporaryDir config;
        writeFile(config.path(), "quarn-download.conf", "[plant]\nsocket-life=20\n");
        const QByteArray before = qgetenv("QUARN_CONFIG_DIR");
        qputenv("QUARN_CONFIG_DIR", config.path().toUtf8());
        const auto cleanup = qScopeGuard([&] { qputenv("QUARN_CONFIG_DIR", before); });
        auto bySlot = [&] {
            const Run r = records({"report", "--by", "slot", "--json", "--db", pg_->url("view1")});
            QMap<QString, QJsonObject> out;
            for (const QJsonValue& v : QJsonDocument::fromJson(r.out.toUtf8()).array())
                out[v["slot"].toString()] = v.toObject();
            return out;
        };
        QMap<QString, QJsonObject> report = bySlot();
        QCOMPARE(report[a]["repeats"].toInt(), 70);  // not the interrupted session's 50
        QCOMPARE(report[a]["repeats_per_session"].toDouble(), 2.0);
        const QJsonObject sa = report[a]["sockets"][0].toObject(),
                          sb = report[b]["sockets"][0].toObject();
        QCOMPARE(sa["since_service"].toInt(), 5);
        QCOMPARE(sb["since_service"].toInt(), 30);
        QCOMPARE(sa["flags"].toArray(), QJsonArray{"repeats"});
        QCOMPARE(sb["flags"].toArray(), QJsonArray{"service"});
        const Run text = records({"report", "--by", "slot", "--db", pg_->url("view1")});
        QVERIFY2(
            text.out.contains(
                QRegularExpression("\\nbay-1 +USB 1.3 +35 +0.0% +2.00 +5 +repeats\\n")) &&
                text.out.contains("service " + b + " at bay-1: 30 sessions since its last service"),
            qPrintable(text.out));
        // The summaries' whole hours and the service's own hour read apart: the same counts.
        pg_->sql(
            "CREATE TABLE quarn_summary_sockets AS SELECT coalesce(date_trunc('hour', started),"
            " '-infinity') AS hour, coalesce(station, '') AS station, coalesce(slot, '') AS slot,"
            " '' AS image_sha256, count(*) AS sessions FROM quarn_sessions GROUP BY 1, 2, 3;"
            " GRANT SELECT ON quarn_summary_sockets TO quarn_viewer");
        const QMap<QString, QJsonObject> summed = bySlot();
        QCOMPARE(summed[a]["sockets"], report[a]["sockets"]);
        QCOMPARE(summed[b]["sockets"], report[b]["sockets"]);
    }

    // A record whose line appears twice (appended again after a failed
    // fdatasync) is one session in the report from the log, as in the database.
    void reportCountsRecordOnce() {
        const QByteArray three = sampleRecords(3);
        writeLog(three + three.left(three.indexOf('\n') + 1));
        const Run r = records({"report", "--log", log_, "--json"});
        QCOMPARE(r.exit, 0);
        const QJsonObject all = QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject();
        QCOMPARE(all["sessions"].toInt(), 3);
        QCOMPARE(all["units"].toInt(), 3);
    }

    // A URL with a password is refused (exit 1) and never printed, however
    // malformed; the URL shown has no user information.
    void passwordNeverShown_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("shown");  // in the message, when not empty
        QTest::newRow("space in host") << "postgresql://st:secret@db plant/q"
                                       << "postgresql://db plant/q";
        QTest::newRow("no host") << "postgres://st:secret@/q"
                                 << "postgres:///q";
        QTest::newRow("open bracket") << "postgresql://st:secret@[::1/q"
                                      << "postgresql://[::1/q";
        QTest::newRow("no user") << "postgresql://:secret@h/q"
                                 << "postgresql://h/q";
        QTest::newRow("escaped at") << "postgresql://st:sec%40ret@h/q"
                                    << "postgresql://h/q";
        QTest::newRow("parameter") << "postgresql://st@h/q?sslmode=require&password=secret"
                                   << "postgresql://h/q?sslmode=require";
        // libpq decodes a parameter's name: these are password= to it.
        QTest::newRow("escaped name") << "postgresql://st@h/q?pass%77ord=secret&sslmode=require"
                                      << "postgresql://h/q?sslmode=require";
        QTest::newRow("escaped first") << "postgresql:///q?host=/tmp&%70assword=secret"
                                       << "postgresql:///q?host=/tmp";
        QTest::newRow("escaped upper") << "postgresql://h/q?PASS%57ORD=secret"
                                       << "postgresql://h/q";
        QTest::newRow("keyword form") << "host=/tmp dbname=q password=secret"
                                      << "host=/tmp dbname=q";
    }
    void passwordNeverShown() {
        QFETCH(QString, url);
        QFETCH(QString, shown);
        writeLog(sampleRecords(1));
        for (const QStringList& args : {QStringList{"push", "--db", url, "--log", log_},
                                        QStringList{"report", "--db", url}}) {
            const Run r = records(args);
            QCOMPARE(r.exit, 1);
            QVERIFY2(!(r.out + r.err).contains("secret") && !(r.out + r.err).contains("sec%40"),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains(shown), qPrintable(r.err));
        }
        QCOMPARE(quarn::records::redactedUrl(url), shown);
    }

    // First-pass yield is one figure: the database's report and view, the
    // log's report and the station's counters agree. A unit stopped and then
    // loaded good passes first time; one that failed and then loaded good
    // does not; a stopped session is no unit.
    void firstPassOneDefinition() {
        const struct {
            const char* serial;
            const char* outcome;
        } sessions[] = {{"A", "interrupted"}, {"A", "good"}, {"B", "transfer"},  {"B", "good"},
                        {"C", "good"},        {"", "good"},  {"", "interrupted"}};
        quarn::station::ShiftCounters counters;
        int second = 0;
        for (const auto& s : sessions) {
            const QJsonObject changes{
                {"serial", s.serial},
                {"outcome", s.outcome},
                {"started",
                 QStringLiteral("2026-12-01T06:00:%1Z").arg(++second, 2, 10, QChar('0'))}};
            const QByteArray line = recordLine(changes);
            writeLog(line);
            const QJsonObject r = QJsonDocument::fromJson(line).object();
            counters.count(s.serial, s.outcome,
                           QDateTime::fromString(r["started"].toString(), Qt::ISODate),
                           r["id"].toString());
        }
        QVERIFY(applyRoles());
        QCOMPARE(push(QStringLiteral("st1")).exit, 0);  // a station's role: INSERT alone
        QCOMPARE(counters.firstPassYield(), 75.0);
        for (const QString& from : {QStringLiteral("--log"), QStringLiteral("--db")}) {
            const Run r = records({"report", from, from == "--log" ? log_ : pg_->url(), "--json"});
            const QJsonObject all = QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject();
            QCOMPARE(all["units"].toInt(), 4);
            QCOMPARE(all["first_pass_good"].toInt(), 3);
        }
        QCOMPARE(pg_->sql("SELECT round(first_pass_yield, 2) FROM quarn_yield_daily"),
                 QStringLiteral("0.75"));
    }

    // What each role may do, on one schema: through quarn-records (exit 3
    // and the role needed named when the database refuses for lack of
    // rights), and in SQL.
    void roles() {
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        QCOMPARE(records({"approve", init, "--db", pg_->url()}).exit, 0);
        const QString needs = QStringLiteral("not permitted: %1 needs the role %2");
        const struct {
            const char *user, *command;
            int exit;
            QString says;
        } cases[] = {
            {"st1", "push", 0, ""},
            {"eng1", "push", 0, ""},
            {"view1", "push", 3, needs.arg("pushing", "quarn_station")},
            {"view1", "report", 0, ""},
            {"st1", "report", 3, needs.arg("reporting", "quarn_viewer")},
            {"st1", "approve", 3, needs.arg("approving", "quarn_engineer")},
            {"view1", "approve", 3, needs.arg("approving", "quarn_engineer")},
            {"st1", "revoke", 3, needs.arg("revoking", "quarn_engineer")},
            {"st1", "images", 0, ""},
            {"view1", "images", 0, ""},
        };
        const QString base = log_;
        for (const auto& c : cases) {
            QStringList args{c.command, "--db", pg_->url(c.user)};
            if (args[0] == "push") {
                log_ = base + c.user;
                writeLog(sampleRecords(3));
                args = QStringList{"push", "--log", log_};
            }
            if (args[0] == "approve" || args[0] == "revoke")
                args << (args[0] == "approve" ? init : sha);
            const Run r = records(args, pg_->url(c.user));
            QVERIFY2(r.exit == c.exit && r.err.contains(c.says),
                     qPrintable(QStringLiteral("%1 %2: %3").arg(c.user, c.command, r.err)));
        }
        QCOMPARE(pg_->sql("SELECT count(first_pass) || '|' || count(*) FROM quarn_sessions"),
                 QStringLiteral("6|6"));
        refusedStatements();
        QCOMPARE(rows(), 6);
    }

    // The retest limit asks the plant through quarn_attempts, which a
    // station's login may call while it reads nothing else of the table:
    // held and interrupted records are no attempts; this station's failures
    // still waiting in its log count too (not twice when the database has
    // them already); without the server the log counts, rotated files too.
    void retestLimit() {
        QVERIFY(applyRoles());
        const auto line = [](const char* serial, const char* outcome) {
            return recordLine({{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                               {"serial", serial},
                               {"outcome", outcome}});
        };
        for (const char* o : {"transfer", "login", "handshake"}) writeLog(line("SN-8", o));
        for (const char* o : {"transfer", "port", "held", "held", "interrupted", "good"})
            writeLog(line("SN-9", o));
        QCOMPARE(push(QStringLiteral("st1")).exit, 0);
        QCOMPARE(pg_->sql("SELECT quarn_attempts('SN-8') || '|' || quarn_attempts('SN-9')", "st1"),
                 QStringLiteral("3|2"));
        QVERIFY(
            pg_->sql("SELECT count(*) FROM quarn_sessions", "st1").contains("permission denied"));
        const auto failures = [&](const char* serial) {
            return line(serial, "transfer") + line(serial, "login") + line(serial, "port");
        };
        const QString away = "postgresql:///x?host=" + dir_.filePath("nowhere");
        enum Where { Log, Rotated, PushedMarkLost };
        const struct {
            const char* serial;
            QString db;
            Where where;  // of the station's own three failures of the serial
            int exit;
            QString says;
        } cases[] = {
            {"SN-8", pg_->url("st1"), Log, 9, "6 attempts; attempts from the database"},
            {"SN-5", pg_->url("st1"), Log, 9, "3 attempts; attempts from the database"},
            {"SN-6", pg_->url("st1"), PushedMarkLost, 9, "3 attempts; attempts from the database"},
            {"SN-9", away, Log, 9, "3 attempts; attempts from the local log: database unreachable"},
            {"SN-7", away, Rotated, 9, "3 attempts; attempts from the local log: database"},
        };
        const QString file = writeFile(dir_.path(), QStringLiteral("fw.bin"), patternBytes(1000));
        std::vector<std::unique_ptr<SimPort>> units;
        std::vector<std::unique_ptr<QProcess>> procs;
        QStringList logs;
        for (const auto& c : cases) {
            units.push_back(std::make_unique<SimPort>(sim::Config{}, 70 + int(units.size())));
            const QString port = units.back()->linkPath();
            const QString name = QStringLiteral("retest-%1.jsonl").arg(logs.size());
            logs << dir_.filePath(name);
            writeFile(dir_.path(), name + (c.where == Rotated ? ".1" : ""), failures(c.serial));
            if (c.where == PushedMarkLost) {
                QCOMPARE(records({"push", "--log", logs.last()}, pg_->url("st1")).exit, 0);
                QVERIFY(QFile::remove(logs.last() + ".sent"));
            }
            procs.push_back(std::make_unique<QProcess>());
            start(*procs.back(), kFlash,
                  {"--file", file, "--length", "1000", "--log", logs.last(), "-p", port, "--serial",
                   port + "=" + c.serial, "--max-attempts", "3"},
                  c.db);
        }
        for (size_t i = 0; i < procs.size(); ++i) {
            const Run r = finish(*procs[i]);
            QVERIFY2(r.exit == cases[i].exit && r.err.contains(cases[i].says), qPrintable(r.err));
            QCOMPARE(units[i]->unit().received().empty(), r.exit == 9);
            QVERIFY(endPushers(logs[i]));
        }
    }

    // An engineer approves (again: nothing changes), revokes by a prefix and
    // approves anew; images shows who did what; bad prefixes are usage errors.
    void approveAndRevoke() {
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        const QString eng = pg_->url(QStringLiteral("eng1"));
        const Run first = records({"approve", init, "--db", eng, "--note", "release 2.1"});
        QCOMPARE(first.exit, 0);
        QCOMPARE(first.out.section('\n', 0, 0), sha);
        QVERIFY2(first.out.contains("approved by eng1 on"), qPrintable(first.out));
        const Run again = records({"approve", init + "/Init.txt", "--db", eng});
        QVERIFY2(again.exit == 0 && again.out.contains("nothing changed"), qPrintable(again.out));
        QJsonObject row = images("view1")[0].toObject();
        QCOMPARE(images("view1").size(), 1);
        QCOMPARE(row["sha256"].toString() + row["file"].toString() + row["title"].toString() +
                     row["approved_by"].toString() + QString::number(row["length"].toInt()),
                 sha + "fw.binQX-200 fweng11000");
        QVERIFY(row["revoked_at"].isNull() && !row["approved_at"].toString().isEmpty());
        pg_->sql(
            "INSERT INTO quarn_images (sha256) VALUES ('abcdefabcdef' || repeat('1', 52)),"
            " ('abcdefabcdef' || repeat('2', 52))");
        for (const auto& [prefix, why] :
             {std::pair<QString, QString>{sha.left(11), "first 12 hex digits"},
              {"000000000000", "no image"},
              {"abcdefabcdef", "starts 2 sha256s"}}) {
            const Run bad = records({"revoke", prefix, "--db", eng});
            QVERIFY2(bad.exit == 1 && bad.err.contains(why), qPrintable(bad.err));
        }
        const Run revoke =
            records({"revoke", sha.left(12).toUpper(), "--db", eng, "--note", "test build"});
        QVERIFY2(revoke.exit == 0 && revoke.out.contains("revoked on "), qPrintable(revoke.err));
        QVERIFY(records({"revoke", sha, "--db", eng}).out.contains("revoked already"));
        row = images("st1")[0].toObject();
        QCOMPARE(row["revoked_by"].toString(), QStringLiteral("eng1"));
        QCOMPARE(row["note"].toString(), QStringLiteral("release 2.1\ntest build"));
        QVERIFY(!row["revoked_at"].toString().isEmpty());
        QCOMPARE(records({"approve", init, "--db", eng}).exit, 0);
        QCOMPARE(images("view1").size(), 4);  // the revoked row stays
        QVERIFY(pg_->sql("UPDATE quarn_images SET revoked_at = NULL WHERE revoked_at IS NOT NULL",
                         "eng1")
                    .contains("revoked already"));
    }

    // The check the front ends make: the database decides and its list is
    // kept; with the server stopped the copy decides and says so; no copy
    // and no server: refused.
    void approvalCheck() {
        using Verdict = quarn::records::ApprovalCheck::Verdict;
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        const QString copy = dir_.filePath(QStringLiteral("state/approved-images.json"));
        const QString st = pg_->url(QStringLiteral("st1"));
        auto check = [&](const QString& image) {
            return quarn::records::checkImageApproval(st, image, copy);
        };
        QCOMPARE(int(check(sha).verdict), int(Verdict::NotApproved));
        QCOMPARE(records({"approve", init, "--db", pg_->url()}).exit, 0);
        QCOMPARE(records({"revoke", sha, "--db", pg_->url()}).exit, 0);
        auto c = check(sha);
        QVERIFY2(c.verdict == Verdict::Revoked && c.reason.startsWith("revoked on ") &&
                     c.reason.endsWith(" by quarn"),
                 qPrintable(c.reason));
        QCOMPARE(records({"approve", init, "--db", pg_->url()}).exit, 0);
        c = check(sha);
        QVERIFY2(c.allowed() && !c.fromCopy && c.reason.startsWith("approved by quarn on "),
                 qPrintable(c.reason + c.warning));
        QVERIFY(QFile::exists(copy));
        QVERIFY(pg_->stop());
        c = check(sha);
        const auto other = check(QString(64, 'e'));
        QVERIFY(QFile::remove(copy));
        const auto none = check(sha);
        QVERIFY(pg_->start());
        QVERIFY2(c.allowed() && c.fromCopy && c.reason.contains("; approved list of ") &&
                     c.reason.endsWith(" (database unreachable)"),
                 qPrintable(c.reason));
        QCOMPARE(int(other.verdict), int(Verdict::NotApproved));
        QVERIFY2(none.verdict == Verdict::Refused &&
                     none.reason.contains("no copy of the approved list"),
                 qPrintable(none.reason));
    }

    // quarn-flash with the approved list required (by its option or by the
    // settings file): exit 8 and nothing sent until the image is approved,
    // then a record that says so; a revocation refuses it again; with the
    // server away the kept copy decides, and without it nothing does.
    void flashApprovedOnly() {
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        SimPort unit({}, 1);
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        const QString config = dir_.filePath(QStringLiteral("approving"));
        {
            quarn::Settings settings(config + "/quarn-download.conf");
            settings.setValue(quarn::SettingKey::ImagesRequireApproved, true);
            QVERIFY(settings.save(nullptr));
        }
        const QString db = pg_->url(QStringLiteral("st1"));
        auto run = [&](bool bySettings) {
            const QByteArray was = qgetenv("QUARN_CONFIG_DIR");
            if (bySettings) qputenv("QUARN_CONFIG_DIR", config.toLocal8Bit());
            QProcess p;
            QStringList args{init, "--json", "--log", log_, "-p", "COM1"};
            if (!bySettings) args << "--approved-only";
            start(p, kFlash, args, db);
            qputenv("QUARN_CONFIG_DIR", was);
            return finish(p);
        };
        const QString what = QStringLiteral("the image %1 (fw.bin, 1000 bytes) ").arg(sha);
        for (bool bySettings : {false, true}) {
            const Run r = run(bySettings);
            QVERIFY2(r.exit == 8 && r.err.contains(what + "is not approved") &&
                         r.err.contains("Image: QX-200 fw, fw.bin, 1000 bytes, sha256 " +
                                        sha.left(12) + ": not approved"),
                     qPrintable(r.err));
        }
        QCOMPARE(unit.unit().logins(), 0);
        QCOMPARE(records({"approve", init, "--db", pg_->url("eng1")}).exit, 0);
        Run r = run(false);
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.err.contains(": approved by eng1 on "), qPrintable(r.err));
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object()["approved"], QJsonValue(true));
        QCOMPARE(records({"revoke", sha, "--db", pg_->url("eng1")}).exit, 0);
        r = run(false);
        QVERIFY2(
            r.exit == 8 && r.err.contains(what + "was revoked on ") && r.err.contains(" by eng1"),
            qPrintable(r.err));
        QCOMPARE(records({"approve", init, "--db", pg_->url("eng1")}).exit, 0);
        QCOMPARE(run(true).exit, 0);  // reads the list, and keeps it
        QVERIFY(pg_->stop());
        const Run offline = run(false);
        QVERIFY(QFile::remove(state.filePath("quarn-download/approved-images.json")));
        const Run nothing = run(false);
        QVERIFY(pg_->start());
        qunsetenv("XDG_STATE_HOME");
        QVERIFY2(offline.exit == 0 && offline.err.contains("(database unreachable)"),
                 qPrintable(offline.err));
        QVERIFY2(nothing.exit == 8 && nothing.err.contains("no copy of the approved list"),
                 qPrintable(nothing.err));
        QCOMPARE(unit.unit().logins(), 3);
    }

    // A copy of its own database, within the offline limit, decides while the
    // server is away; one too old, dated ahead, of another database or naming
    // none decides nothing, and quarn-flash then ends with 8.
    void offlineCopyLimits() {
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        QTemporaryDir state;
        const QString copy = state.filePath(QStringLiteral("quarn-download/approved-images.json"));
        const QString st = pg_->url(QStringLiteral("st1"));
        QCOMPARE(records({"approve", init, "--db", pg_->url("eng1")}).exit, 0);
        QVERIFY(quarn::records::checkImageApproval(st, sha, copy).allowed());
        const QJsonObject kept = readJson(copy);
        QCOMPARE(kept["database"].toObject().keys(), (QStringList{"dbname", "host", "port"}));
        QCOMPARE(kept["database"]["dbname"].toString(), QStringLiteral("postgres"));
        // A copy read ageS ago, naming database (null: none; undefined: as kept).
        auto keep = [&](qint64 ageS, const QJsonValue& database = QJsonValue::Undefined) {
            QJsonObject o = kept;
            o["read_at"] = QDateTime::currentDateTimeUtc().addSecs(-ageS).toString(Qt::ISODate);
            if (database.isNull()) o.remove("database");
            if (database.isObject()) o["database"] = database;
            writeFile(QFileInfo(copy).path(), QFileInfo(copy).fileName(),
                      QJsonDocument(o).toJson());
        };
        QJsonObject otherDb = kept["database"].toObject();
        otherDb["dbname"] = "plant2";
        const QString elsewhere =
            "postgresql:///postgres?user=st1&host=" + dir_.filePath(QStringLiteral("elsewhere"));
        const struct {
            const char* name;
            qint64 ageS;
            QJsonValue database;
            QString url;
            qint64 limitS;
            QString why;  // empty: the copy decides
        } cases[] = {
            {"fresh", 600, QJsonValue::Undefined, st, 43200, {}},
            {"past default limit", 43300, QJsonValue::Undefined, st, 43200,
             "older than the offline limit"},
            {"past own limit", 120, QJsonValue::Undefined, st, 60, "older than the offline limit"},
            {"no limit at all", 0, QJsonValue::Undefined, st, 0, "no copy of the approved list"},
            {"dated ahead", -3600, QJsonValue::Undefined, st, 43200,
             "dated after this computer's time"},
            {"other database", 600, otherDb, st, 43200, "is of plant2 on "},
            {"no database", 600, QJsonValue::Null, st, 43200, "names no database"},
            {"other server", 600, QJsonValue::Undefined, elsewhere, 43200, ", not of postgres on "},
        };
        QVERIFY(pg_->stop());
        QStringList wrong;
        for (const auto& c : cases) {
            keep(c.ageS, c.database);
            const auto r = quarn::records::checkImageApproval(c.url, sha, copy, c.limitS);
            const bool ok = c.why.isEmpty()
                                ? r.allowed() && r.fromCopy
                                : r.verdict == quarn::records::ApprovalCheck::Verdict::Refused &&
                                      r.reason.contains(c.why) && !r.fromCopy;
            if (!ok) wrong << QString::fromLatin1(c.name) + ": " + r.reason;
        }
        // quarn-flash takes the limit from the settings file.
        SimPort unit({}, 1);
        const QString config = dir_.filePath(QStringLiteral("offline-limit"));
        auto flashWithLimit = [&](int limitS) {
            quarn::Settings settings(config + "/quarn-download.conf");
            settings.setValue(quarn::SettingKey::ImagesOfflineMaxAge, limitS);
            if (!settings.save(nullptr))
                QTest::qFail("the settings were not saved", __FILE__, __LINE__);
            keep(120);
            qputenv("QUARN_CONFIG_DIR", config.toLocal8Bit());
            qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
            QProcess p;
            start(p, kFlash, {init, "--approved-only", "--log", log_, "-p", "COM1"}, st);
            qunsetenv("XDG_STATE_HOME");
            return finish(p);
        };
        const QByteArray configWas = qgetenv("QUARN_CONFIG_DIR");
        const Run tooOld = flashWithLimit(60), young = flashWithLimit(600);
        qputenv("QUARN_CONFIG_DIR", configWas);
        QVERIFY(pg_->start());
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
        static const QRegularExpression older(QStringLiteral(
            "approved list of \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d is older than the offline limit"));
        QVERIFY2(tooOld.exit == 8 && tooOld.err.contains(older), qPrintable(tooOld.err));
        QVERIFY2(young.exit == 0 && young.err.contains("(database unreachable)"),
                 qPrintable(young.err));
        QCOMPARE(unit.unit().logins(), 1);
    }

    // A login the server refuses (a disabled role, an unknown one) or a list
    // the role may not read is a refusal: the fresh copy beside it decides
    // nothing, and quarn-flash loads nothing (exit 8).
    void refusedLoginIsNoAbsence() {
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        QCOMPARE(records({"approve", init, "--db", pg_->url("eng1")}).exit, 0);
        QTemporaryDir state;
        const QString copy = state.filePath(QStringLiteral("quarn-download/approved-images.json"));
        auto check = [&](const char* user) {
            return quarn::records::checkImageApproval(pg_->url(user), sha, copy);
        };
        QVERIFY(check("st1").allowed());
        pg_->sql(
            "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'loose1') THEN"
            " CREATE ROLE loose1 LOGIN; END IF; END $$; ALTER ROLE st1 NOLOGIN");
        const auto disabled = check("st1"), unknown = check("ghost1"), unentitled = check("loose1");
        SimPort unit({}, 1);
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        QProcess p;
        start(p, kFlash, {init, "--approved-only", "--log", log_, "-p", "COM1"}, pg_->url("st1"));
        const Run flash = finish(p);
        qunsetenv("XDG_STATE_HOME");
        pg_->sql("ALTER ROLE st1 LOGIN");
        for (const auto& [c, why] : {std::pair{disabled, "the database refused the login of st1: "},
                                     {unknown, "the database refused the login of ghost1: "},
                                     {unentitled, "not permitted: reading the approved list"}})
            QVERIFY2(c.verdict == quarn::records::ApprovalCheck::Verdict::Refused && !c.fromCopy &&
                         c.reason.startsWith(why),
                     qPrintable(c.reason));
        QVERIFY2(flash.exit == 8 && flash.err.contains("refused the login of st1") &&
                     !flash.err.contains("unreachable"),
                 qPrintable(flash.err));
        QCOMPARE(unit.unit().logins(), 0);
    }

    // Two programs checking at once each replace the copy whole: a reader
    // meanwhile finds the whole list every time, and no writer fails.
    void copyWrittenWhole() {
        QVERIFY(applyRoles());
        pg_->sql(
            "INSERT INTO quarn_images (sha256, length, file, title) SELECT encode(sha256(i::text::"
            "bytea), 'hex'), 2000, 'fw-' || i || '.bin', repeat('t', 300) FROM generate_series(1, "
            "3000) i");
        const QString copy = dir_.filePath(QStringLiteral("whole/approved-images.json"));
        const QString st = pg_->url(QStringLiteral("st1"));
        std::mutex m;
        QStringList warnings;
        std::atomic<int> writing{2};
        auto writer = [&] {
            for (int i = 0; i < 20; ++i) {
                const auto c = quarn::records::checkImageApproval(st, QString(64, 'e'), copy);
                const std::lock_guard<std::mutex> hold(m);
                if (!c.warning.isEmpty() || c.listReadAt.isNull()) warnings << c.warning + c.reason;
            }
            --writing;
        };
        std::thread a(writer), b(writer);
        int reads = 0, whole = 0;
        while (writing > 0) {
            QFile f(copy);
            if (!f.open(QIODevice::ReadOnly)) continue;
            ++reads;
            whole += QJsonDocument::fromJson(f.readAll())["images"].toArray().size() == 3000;
        }
        a.join(), b.join();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
        QVERIFY(reads > 0);
        QCOMPARE(whole, reads);
        QCOMPARE(readJson(copy)["images"].toArray().size(), 3000);
    }

    // --watch with the approved list required reads it again as it runs: a
    // revocation loads no new unit (one plugged in meanwhile waits), and an
    // approval again loads it.
    void watchFollowsApproval() {
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        QCOMPARE(records({"approve", init, "--db", pg_->url()}).exit, 0);
        SimPort first({}, 1);
        const QString secondLink = dir_.filePath(QStringLiteral("com2"));
        qputenv("QUARN_COM2", secondLink.toLocal8Bit());
        qputenv("QUARN_APPROVAL_RECHECK_MS", "300");
        QProcess p;
        start(p, kFlash,
              {init, "--watch", "--approved-only", "--log", log_, "-p", "COM1", "-p", "COM2"},
              pg_->url(QStringLiteral("st1")));
        qunsetenv("QUARN_COM2");
        qunsetenv("QUARN_APPROVAL_RECHECK_MS");
        QString err;
        const auto saw = [&](const char* text) {
            return QTest::qWaitFor(
                [&] {
                    err += QString::fromLocal8Bit(p.readAllStandardError());
                    return err.contains(QLatin1String(text));
                },
                15000);
        };
        QVERIFY2(saw("COM1: remove the unit"), qPrintable(err));
        QCOMPARE(records({"revoke", sha, "--db", pg_->url()}).exit, 0);
        QVERIFY2(saw("no unit is loaded until it is approved"), qPrintable(err));
        sim::Config plugged;
        plugged.symlink = secondLink.toStdString();
        sim::UnitSim second(plugged);
        QVERIFY(second.start());
        QTest::qWait(1000);
        QCOMPARE(second.logins(), 0);
        QCOMPARE(records({"approve", init, "--db", pg_->url()}).exit, 0);
        QVERIFY2(saw("units are loaded again") && saw("COM2: remove the unit"), qPrintable(err));
        ::kill(pid_t(p.processId()), SIGTERM);
        QCOMPARE(finish(p).exit, 0);
        QCOMPARE(first.unit().logins(), 1);
        QVERIFY2(second.logins() == 1, qPrintable(err));
        QFile log(log_);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\"approved\":true"), 2);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
