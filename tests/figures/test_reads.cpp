// What the plant asks of the records' database, against a server of the
// test's own: the report the same from the log and from the database, the
// sockets by slot, one first-pass figure everywhere, a record counted once,
// and the retest limit's count.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "station/shift_counters.h"
#include "tests/support/records_rig.h"
#include "tests/support/test_support.h"

using namespace testsupport;

namespace {

const QString kFlash = flashPath();
const QString kRecords = recordsPath();

}  // namespace

class TestReads : public RecordsRig {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init() { QVERIFY(freshDatabase()); }

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
};

QTEST_MAIN(TestReads)
#include "test_reads.moc"
