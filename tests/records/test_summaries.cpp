// The summaries against a PostgreSQL server of the test's own: pushes at
// once keep them exact (a recount from quarn_sessions finds no difference),
// the report read from them matches `report --exact` on random records,
// a late record moves its unit's figures, an upgraded schema is filled from
// the rows already there, and only viewers read them.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "database/report_sql.h"
#include "database/schema.h"
#include "tests/support/pg_server.h"

using namespace testsupport;
using quarn::records::Report;
using quarn::records::ReportRow;

namespace {

const QString kRecords = QStringLiteral(QUARN_RECORDS_PATH);

// One record as sampleRecords makes it, with these keys changed (a null
// value removes the key).
QByteArray recordLine(const QJsonObject& changes) {
    QJsonObject o = QJsonDocument::fromJson(sampleRecords(1)).object();
    for (auto it = changes.begin(); it != changes.end(); ++it)
        it.value().isNull() ? void(o.remove(it.key())) : void(o[it.key()] = it.value());
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

// n random records: serial numbers shared between logs, times in any order
// (so most arrive late for some unit), every outcome, held ones, some
// without serial number or start, durations off the 0.1 s grid.
QByteArray randomRecords(int n, int station, QRandomGenerator& rng,
                         const QDateTime& base = QDateTime::fromString("2026-12-01T06:00:00Z",
                                                                       Qt::ISODate)) {
    static const char* outcomes[] = {"good",  "good",        "good", "transfer",
                                     "login", "interrupted", "held"};
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        const int r = rng.bounded(100);
        out += recordLine(
            {{"serial", r < 8 ? QString() : QStringLiteral("SN-%1").arg(rng.bounded(150))},
             {"station", QStringLiteral("st-%1").arg(station % 3)},
             {"slot", QStringLiteral("slot-%1").arg(rng.bounded(4))},
             {"operator", r % 2 ? "ann" : "bob"},
             {"outcome", outcomes[rng.bounded(7)]},
             {"started",
              r < 3 ? QJsonValue() : base.addSecs(rng.bounded(30 * 3600)).toString(Qt::ISODate)},
             {"seconds", 4 + rng.bounded(300) / 100.0}});
    }
    return out;
}

}  // namespace

class TestSummaries : public QObject {
    Q_OBJECT

    std::unique_ptr<PgServer> pg_;
    QTemporaryDir dir_;

    QProcess* startRecords(const QStringList& args) {
        auto* p = new QProcess(this);
        p->start(kRecords, args);
        return p;
    }
    QString run(const QStringList& args) {
        std::unique_ptr<QProcess> p(startRecords(args));
        p->waitForFinished(60000);
        return p->exitCode() == 0 ? QString::fromUtf8(p->readAllStandardOutput()) : "failed";
    }
    QString writeLog(const QString& name, const QByteArray& text) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || f.write(text) != text.size())
            return {};
        return path;
    }
    bool push(const QString& log, const QString& user = {}) {
        return run({"push", "--db", pg_->url(user), "--log", log}) != "failed";
    }
    // Rows of the summaries that differ from a recount of quarn_sessions
    // (the owner's refill); rows at zero after a unit moved away count as
    // absent.
    QString summaryDifferences() {
        const char* hours =
            "hour, station, file, \"operator\", image_sha256, outcome, sessions, repeats,"
            " round(seconds_sum::numeric, 6), mismatches, units, first_pass_good,"
            " second_pass_good, final_good";
        const char* tables[][3] = {
            {"quarn_summary_hours", hours,
             "(sessions, units, first_pass_good, second_pass_good, final_good) <> (0, 0, 0, 0, 0)"},
            {"quarn_summary_attempts", "*", "units <> 0"},
            {"quarn_summary_seconds", "*", "true"},
            {"quarn_summary_causes", "*", "true"},
            {"quarn_summary_sockets", "*", "true"}};
        QString keep, compare;
        for (const auto& [table, columns, live] : tables) {
            const QString rows =
                QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columns, table, live);
            keep += QStringLiteral("CREATE TEMP TABLE k_%1 AS %2;\n").arg(table, rows);
            compare += QStringLiteral(
                           " || ' ' || (SELECT count(*) FROM ((TABLE k_%1 EXCEPT ALL %2)"
                           " UNION ALL (%2 EXCEPT ALL TABLE k_%1)) d)")
                           .arg(table, rows);
        }
        return pg_->sql(keep +
                        quarn::records::oneTransaction(quarn::records::summaryRefillStatements()) +
                        "SELECT ((SELECT count(*) FROM quarn_summary_hours) > 0)::text" + compare);
    }
    static void compareRows(const Report& a, const Report& b) {
        QVERIFY2(a.error.isEmpty() && b.error.isEmpty(), qPrintable(a.error + b.error));
        QCOMPARE(a.rows.size(), b.rows.size());
        for (qsizetype i = 0; i < a.rows.size() && !QTest::currentTestFailed(); ++i) {
            const ReportRow &x = a.rows[i], &y = b.rows[i];
            QCOMPARE(x.key, y.key);
            QCOMPARE((QList<qint64>{x.sessions, x.good, x.units, x.firstPassGood, x.secondPassGood,
                                    x.finalGood, x.held, x.approvalMismatches}),
                     (QList<qint64>{y.sessions, y.good, y.units, y.firstPassGood, y.secondPassGood,
                                    y.finalGood, y.held, y.approvalMismatches}));
            QCOMPARE(x.failed, y.failed);
            QCOMPARE(x.attempts, y.attempts);
            QVERIFY2(qAbs(x.medianSeconds - y.medianSeconds) <= 0.05 + 1e-9,
                     qPrintable(QStringLiteral("%1: %2 %3")
                                    .arg(x.key)
                                    .arg(x.medianSeconds)
                                    .arg(y.medianSeconds)));
        }
    }

private slots:
    void initTestCase() {
        pg_ = std::make_unique<PgServer>();
        QVERIFY2(pg_->ok(), qPrintable(pg_->error()));
        const QString out = pg_->sql(run({"schema"}) + run({"schema", "--roles"}) +
                                     "CREATE ROLE st1 LOGIN IN ROLE quarn_station; CREATE ROLE "
                                     "view1 LOGIN IN ROLE quarn_viewer; CREATE ROLE view2 LOGIN"
                                     " IN ROLE quarn_viewer; ALTER ROLE view2 SET timezone ="
                                     " 'Asia/Kolkata'");
        QVERIFY2(!out.contains("ERROR"), qPrintable(out));
    }
    void init() {
        pg_->sql("TRUNCATE quarn_sessions");  // the summaries with it
    }

    // Six pushes at once of logs sharing serial numbers, in batches that
    // arrive late for each other's units: the summaries equal a recount, and
    // the report from them equals the one counted from the sessions, by every
    // grouping, from the start, from a whole hour and from within one.
    void pushersAtOnceStayExact() {
        QRandomGenerator rng(34);
        QList<QProcess*> pushes;
        for (int i = 0; i < 6; ++i)
            pushes << startRecords(
                {"push", "--db", pg_->url(), "--log",
                 writeLog(QStringLiteral("p%1.jsonl").arg(i), randomRecords(700, i, rng))});
        for (QProcess* p : pushes) {
            QVERIFY(p->waitForFinished(60000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        QCOMPARE(summaryDifferences(), QStringLiteral("true 0 0 0 0 0"));
        const QString url = pg_->url(QStringLiteral("view1"));
        for (const char* by : {"", "day", "station", "file", "slot", "operator"})
            for (const char* since : {"", "2026-12-01T09:00:00Z", "2026-12-01T09:20:00Z"}) {
                const QDateTime t = QDateTime::fromString(since, Qt::ISODate);
                compareRows(quarn::records::reportFromDatabase(url, {by, t, false}),
                            quarn::records::reportFromDatabase(url, {by, t, true}));
            }
    }

    // A late record that becomes a unit's first attempt moves the unit to
    // its station and hour; a later failure takes its final good away; a
    // held record is no session and no attempt. The view follows.
    void lateRecordMovesUnit() {
        const QString log =
            writeLog("late.jsonl", recordLine({{"serial", "A"},
                                               {"station", "st-1"},
                                               {"outcome", "transfer"},
                                               {"started", "2026-12-01T07:10:00Z"}}) +
                                       recordLine({{"serial", "A"},
                                                   {"station", "st-1"},
                                                   {"outcome", "good"},
                                                   {"started", "2026-12-01T07:20:00Z"}}));
        QVERIFY(push(log, "st1"));
        auto byStation = [&] {
            QMap<QString, ReportRow> rows;
            for (const ReportRow& r :
                 quarn::records::reportFromDatabase(pg_->url(), {"station", {}, false}).rows)
                rows[r.key] = r;
            return rows;
        };
        auto figures = [](const ReportRow& r) {
            return QList<qint64>{r.sessions,       r.units,     r.firstPassGood,
                                 r.secondPassGood, r.finalGood, r.held};
        };
        QCOMPARE(figures(byStation()["st-1"]), (QList<qint64>{2, 1, 0, 1, 1, 0}));
        QCOMPARE(byStation()["st-1"].attempts, (QMap<int, qint64>{{2, 1}}));
        writeLog("late.jsonl", recordLine({{"serial", "A"},
                                           {"station", "st-2"},
                                           {"outcome", "good"},
                                           {"started", "2026-12-01T06:00:00Z"}}));
        QVERIFY(push(log, "st1"));
        QCOMPARE(figures(byStation()["st-1"]), (QList<qint64>{2, 0, 0, 0, 0, 0}));
        QCOMPARE(figures(byStation()["st-2"]), (QList<qint64>{1, 1, 1, 1, 1, 0}));
        QCOMPARE(byStation()["st-2"].attempts, (QMap<int, qint64>{{3, 1}}));
        QCOMPARE(pg_->sql("SELECT string_agg(first_pass::text, ' ' ORDER BY started)"
                          " FROM quarn_sessions"),
                 QStringLiteral("true false false"));
        writeLog("late.jsonl", recordLine({{"serial", "A"},
                                           {"station", "st-1"},
                                           {"outcome", "login"},
                                           {"started", "2026-12-01T09:00:00Z"}}) +
                                   recordLine({{"serial", "A"},
                                               {"station", "st-1"},
                                               {"outcome", "held"},
                                               {"started", "2026-12-01T09:30:00Z"}}));
        QVERIFY(push(log, "st1"));
        QCOMPARE(figures(byStation()["st-1"]), (QList<qint64>{3, 0, 0, 0, 0, 1}));
        QCOMPARE(figures(byStation()["st-2"]), (QList<qint64>{1, 1, 1, 1, 0, 0}));
        QCOMPARE(byStation()["st-2"].attempts, (QMap<int, qint64>{{4, 1}}));
        QCOMPARE(
            pg_->sql("SELECT station || ' ' || sessions || ' ' || good || ' ' || failed || ' ' ||"
                     " coalesce(round(first_pass_yield, 2)::text, '-') || ' ' || median_seconds"
                     " || ' ' || coalesce(round(second_pass_yield, 2)::text, '-') || ' ' ||"
                     " coalesce(round(final_yield, 2)::text, '-') || ' ' || held"
                     " FROM quarn_yield_daily ORDER BY station"),
            QStringLiteral("st-1 3 1 2 - 4 - - 1\nst-2 1 1 0 1.00 4 1.00 0.00 0"));
    }

    // A schema made before the summaries gains them full: `quarn-records
    // schema` fills them once from the rows already there.
    void upgradeFillsSummaries() {
        QRandomGenerator rng(35);
        QVERIFY(push(writeLog("old.jsonl", randomRecords(300, 0, rng))));
        pg_->sql(
            "DROP TABLE quarn_summary_hours, quarn_summary_attempts, quarn_summary_seconds,"
            " quarn_summary_causes, quarn_summary_sockets CASCADE");
        const QString out = pg_->sql(run({"schema"}));
        QVERIFY2(!out.contains("ERROR"), qPrintable(out));
        QCOMPARE(pg_->sql("SELECT sum(sessions) FROM quarn_summary_hours"), QStringLiteral("300"));
        compareRows(quarn::records::reportFromDatabase(pg_->url(), {"day", {}, false}),
                    quarn::records::reportFromDatabase(pg_->url(), {"day", {}, true}));
    }

    // Figures the exact count confirms after what an owner may do, and a
    // later push: a serial number that reads like another session's id is
    // a unit of its own; a DELETE and an UPDATE through quarn_sessions move
    // the summaries; a month let go with `archive` leaves them a recount of
    // the rows left, and so does a late record of a unit that spanned it.
    void exactAfterOwnersSteps_data() {
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<QStringList>("owner");  // statements, each its own transaction
        QTest::addColumn<QStringList>("args");   // then quarn-records (exit 0)
        QTest::addColumn<QByteArray>("late");    // pushed afterwards
        QRandomGenerator rng(36);
        const QString lone = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QTest::newRow("a serial number that reads like an id")
            << recordLine({{"id", lone}, {"serial", QJsonValue()}, {"outcome", "transfer"}})
            << QStringList{} << QStringList{} << recordLine({{"serial", lone}});
        QTest::newRow("the owner's DELETE and UPDATE")
            << randomRecords(300, 1, rng)
            << QStringList{"DELETE FROM quarn_sessions WHERE station = 'st-1' AND slot = 'slot-2'",
                           "UPDATE quarn_sessions SET outcome = 'good' WHERE outcome = 'login'",
                           "UPDATE quarn_sessions SET serial = 'SN-1' WHERE serial = 'SN-2'"}
            << QStringList{} << randomRecords(60, 3, rng);
        const QDateTime m0(QDate::currentDate().addDays(1 - QDate::currentDate().day()),
                           QTime(0, 0), Qt::UTC);
        QTest::newRow("a month archived")
            << randomRecords(300, 2, rng, m0.addSecs(-15 * 3600)) << QStringList{}
            << QStringList{"archive", m0.addMonths(-1).toString("yyyy-MM"), "--db", pg_->url()}
            << randomRecords(60, 3, rng, m0.addSecs(-15 * 3600));
    }
    void exactAfterOwnersSteps() {
        QFETCH(QByteArray, records);
        QFETCH(QStringList, owner);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, late);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        QVERIFY(push(writeLog(name + ".jsonl", records), "st1"));
        for (const QString& statement : owner)
            QVERIFY2(!pg_->sql(statement).contains("ERROR"), qPrintable(statement));
        if (!args.isEmpty()) QVERIFY(run(args) != "failed");
        QVERIFY(push(writeLog(name + "-late.jsonl", late), "st1"));
        QCOMPARE(summaryDifferences(), QStringLiteral("true 0 0 0 0 0"));
        const QString url = pg_->url(QStringLiteral("view1"));
        for (const char* by : {"", "day", "station", "slot"})
            compareRows(quarn::records::reportFromDatabase(url, {by, {}, false}),
                        quarn::records::reportFromDatabase(url, {by, {}, true}));
        if (!args.isEmpty()) pg_->sql("DROP TABLE quarn_sessions_" + args[1].replace('-', '_'));
    }

    // A reader in a half-hour time zone gets the summaries' UTC hours and
    // days: every session of a socket since its service (at 06:10 UTC) is
    // counted, and each day of the view is a UTC day.
    void utcWhateverTheZone() {
        QVERIFY(!pg_->sql(run({"schema", "--roles"})).contains("ERROR"));  // the view made again
        QByteArray rows;
        const QDateTime service = QDateTime::fromString("2026-12-01T06:10:00Z", Qt::ISODate);
        for (int i = 1; i <= 90; ++i)
            rows += recordLine({{"station", "st-k"},
                                {"slot", "slot-k"},
                                {"started", service.addSecs(60 * i).toString(Qt::ISODate)}});
        QVERIFY(push(writeLog("kolkata.jsonl", rows), "st1"));
        pg_->sql(
            "INSERT INTO quarn_socket_service (station, slot, serviced_at) VALUES ('st-k',"
            " 'slot-k', '2026-12-01 06:10Z')");
        const QJsonArray bySlot =
            QJsonDocument::fromJson(
                run({"report", "--by", "slot", "--json", "--db", pg_->url("view2")}).toUtf8())
                .array();
        QCOMPARE(bySlot[0]["sockets"][0]["since_service"].toInt(), 90);
        QCOMPARE(pg_->sql("SELECT count(*) FILTER (WHERE day <> date_trunc('day', day, 'UTC'))"
                          " || ' ' || count(*) FROM quarn_yield_daily",
                          "view2"),
                 QStringLiteral("0 1"));
    }

    // Viewers read the summaries; a station neither reads nor writes them.
    void summaryRights() {
        const std::pair<const char*, bool> cases[] = {
            {"SELECT count(*) FROM quarn_summary_hours", false},
            {"SELECT count(*) FROM quarn_summary_sockets", false},
            {"UPDATE quarn_summary_attempts SET units = 0", true},
            {"DELETE FROM quarn_summary_causes", true},
            {"INSERT INTO quarn_summary_seconds VALUES ('-infinity', '', '', '', '', 1, 1)", true}};
        for (const auto& [statement, viewerRefused] : cases) {
            QVERIFY2(pg_->sql(statement, "st1").contains("permission denied"), statement);
            QCOMPARE(pg_->sql(statement, "view1").contains("permission denied"), viewerRefused);
        }
    }
};

QTEST_GUILESS_MAIN(TestSummaries)
#include "test_summaries.moc"
