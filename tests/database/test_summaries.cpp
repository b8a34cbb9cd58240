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

#include "database/migrations.h"
#include "figures/report_sql.h"
#include "figures/socket_sql.h"
#include "record/attempts.h"
#include "record/retest.h"
#include "tests/support/records_rig.h"

using namespace testsupport;
using quarn::recordlog::Report;
using quarn::recordlog::ReportRow;

namespace {

const QString kRecords = recordsPath();

// n random records: serial numbers shared between logs, times in any order
// (so most arrive late for some unit), every outcome, held ones, some
// without serial number or start, durations off the 0.1 s grid, a quarter
// claiming an approval the server denies.
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
             {"approved", r % 4 == 0},  // no image is: an approval mismatch
             {"outcome", outcomes[rng.bounded(7)]},
             {"started",
              r < 3 ? QJsonValue() : base.addSecs(rng.bounded(30 * 3600)).toString(Qt::ISODate)},
             {"seconds", 4 + rng.bounded(300) / 100.0}});
    }
    return out;
}

// A session of a rules case: "SERIAL OUTCOME MINUTE" ("-" for no serial
// number, no outcome, no start); the n-th session of a case has the n-th id.
quarn::record::PassSession passSession(const QString& text, int n) {
    const QStringList f = text.split(' ');
    const auto given = [&](int i) { return f[i] == QLatin1String("-") ? QString() : f[i]; };
    const QDateTime t0 = QDateTime::fromString("2026-12-01T06:00:00Z", Qt::ISODate);
    return {given(0), given(1),
            f[2] == QLatin1String("-") ? QDateTime() : t0.addSecs(60 * f[2].toInt()),
            QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0'))};
}

// What the log's rules (record/) make of a case's sessions, in the words
// the server's answer is read in: units first-pass second-pass final good,
// the units by attempts, the first passes' ids, failed attempts by serial,
// and units and first-pass good once more by the first-pass rule alone.
QStringList logRules(const QList<quarn::record::PassSession>& sessions) {
    quarn::record::FirstPass first;
    quarn::record::Attempts attempts;
    QMap<QString, int> failed;
    for (const auto& s : sessions) {
        first.add(s), attempts.add(s);
        if (!s.serial.isEmpty()) failed[s.serial] += quarn::record::isFailedAttempt(s.outcome);
    }
    const quarn::record::YieldCount y = attempts.total();
    QStringList byAttempts, firstPasses, failures;
    for (auto it = y.attempts.begin(); it != y.attempts.end(); ++it)
        byAttempts << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    for (const auto& s : sessions)
        if (!s.serial.isEmpty() && first.decides(s)) firstPasses << s.id;
    for (auto it = failed.begin(); it != failed.end(); ++it)
        failures << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    return {QStringLiteral("%1 %2 %3 %4")
                .arg(y.units)
                .arg(y.firstPassGood)
                .arg(y.secondPassGood)
                .arg(y.finalGood),
            byAttempts.join(','), firstPasses.join(','), failures.join(','),
            QStringLiteral("%1 %2").arg(first.units()).arg(first.firstPassGood())};
}

}  // namespace

class TestSummaries : public RecordsRig {
    Q_OBJECT

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
    // What a recount would change: each summary view (by hour and by day,
    // rows of a key summed, keys whose counts are all 0 left out) and the
    // units before and after the owner's refill, and each socket's sessions
    // since service against the rows counted. "" when nothing; else each
    // that differs, with how many rows.
    QString summaryDifferences() {
        const char* families[][5] = {
            {"hours", "days", "station, file, \"operator\", image_sha256, outcome",
             "sum(sessions) s, sum(repeats) r, round(sum(seconds_sum)::numeric, 6) t,"
             " sum(mismatches) m, sum(units) u, sum(first_pass_good) f,"
             " sum(second_pass_good) p, sum(final_good) g",
             "(sum(sessions), sum(units), sum(first_pass_good)) <> (0, 0, 0)"},
            {"attempts", "attempts_days", "station, file, \"operator\", image_sha256, attempts",
             "sum(units) u", "sum(units) <> 0"},
            {"seconds", "seconds_days", "station, file, \"operator\", image_sha256, tenths",
             "sum(sessions) s", "sum(sessions) <> 0"},
            {"causes", "causes_days", "station, image_sha256, outcome, stage", "sum(failures) n",
             "sum(failures) <> 0"},
            {"sockets", "sockets_days", "station, slot, image_sha256",
             "sum(sessions) s, sum(passes) p, sum(failures) n, sum(repeats) r",
             "sum(sessions) <> 0"},
            {"slots", "slots_days", "slot, outcome",
             "sum(sessions) s, sum(mismatches) m, sum(units) u, sum(first_pass_good) f,"
             " sum(second_pass_good) p, sum(final_good) g",
             "(sum(sessions), sum(units), sum(first_pass_good)) <> (0, 0, 0)"},
            {"slot_attempts", "slot_attempts_days", "slot, attempts", "sum(units) u",
             "sum(units) <> 0"},
            {"slot_seconds", "slot_seconds_days", "slot, tenths", "sum(sessions) s",
             "sum(sessions) <> 0"}};
        QStringList views{QStringLiteral("quarn_units")};
        QStringList rows{QStringLiteral("SELECT * FROM quarn_units")};
        for (const auto& [hours, days, keys, sums, live] : families)
            for (const auto& [view, at] : {std::pair{hours, "hour"}, std::pair{days, "day"}}) {
                views << QStringLiteral("quarn_summary_%1").arg(view);
                rows << QStringLiteral("SELECT %1, %2, %3 FROM %4 GROUP BY %1, %2 HAVING %5")
                            .arg(at, keys, sums, views.last(), live);
            }
        QString keep, compare = QStringLiteral(
                          "SELECT concat_ws(' ', CASE WHEN NOT EXISTS (SELECT FROM"
                          " quarn_summary_hours) THEN 'no summaries' END");
        for (qsizetype i = 0; i < views.size(); ++i) {
            keep += QStringLiteral("CREATE TEMP TABLE k_%1 AS %2;\n").arg(i).arg(rows[i]);
            compare += QStringLiteral(
                           ", (SELECT nullif('%1: ' || count(*), '%1: 0') FROM ((TABLE k_%2"
                           " EXCEPT ALL %3) UNION ALL (%3 EXCEPT ALL TABLE k_%2)) d)")
                           .arg(views[i])
                           .arg(i)
                           .arg(rows[i]);
        }
        // Each socket's sessions since service against the rows counted:
        // with the latest pushes' deltas as they are, and folded.
        const QString since = QStringLiteral(
            "SELECT station, slot, sessions FROM quarn_summary_since_service WHERE sessions <> 0");
        keep += QStringLiteral(
                    "CREATE TEMP TABLE k_rows AS %1; CREATE TEMP TABLE k_since AS %2;"
                    " DO $$ BEGIN PERFORM quarn_summaries_fold(true, false); END $$;"
                    " CREATE TEMP TABLE k_folded AS %2;\n")
                    .arg(quarn::figures::sinceServiceSql(false), since);
        for (const char* kept : {"k_since", "k_folded"})
            compare += QStringLiteral(
                           ", (SELECT nullif('%1: ' || count(*), '%1: 0') FROM ((TABLE %1 EXCEPT"
                           " ALL TABLE k_rows) UNION ALL (TABLE k_rows EXCEPT ALL TABLE %1)) d)")
                           .arg(QLatin1String(kept));
        return pg_->sql(keep + quarn::database::refillScript() + compare + QStringLiteral(")"));
    }
    // Sockets whose sessions since service, as readers read them, are not
    // the rows counted: "0" when none.
    QString sinceDifferences() {
        const QString kept = QStringLiteral(
            "SELECT station, slot, sessions FROM quarn_summary_since_service WHERE sessions <> 0");
        return pg_->sql(QStringLiteral("SELECT count(*) FROM (((%1) EXCEPT ALL (%2)) UNION ALL"
                                       " ((%2) EXCEPT ALL (%1))) d")
                            .arg(kept, quarn::figures::sinceServiceSql(false)));
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
        QVERIFY(startServer());
        QVERIFY(pg_->freshSchema(run({"schema"}) + run({"schema", "--roles"}) +
                                 "CREATE ROLE view2 LOGIN IN ROLE quarn_viewer; ALTER ROLE view2"
                                 " SET timezone = 'Asia/Kolkata';"));
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
        QCOMPARE(summaryDifferences(), QString());
        const QString url = pg_->url(QStringLiteral("view1"));
        for (const char* by : {"", "day", "station", "file", "slot", "operator"})
            for (const char* since : {"", "2026-12-01T09:00:00Z", "2026-12-01T09:20:00Z"}) {
                const QDateTime t = QDateTime::fromString(since, Qt::ISODate);
                compareRows(quarn::figures::reportFromDatabase(url, {by, t, false}),
                            quarn::figures::reportFromDatabase(url, {by, t, true}));
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
                 quarn::figures::reportFromDatabase(pg_->url(), {"station", {}, false}).rows)
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

    // Figures the exact count confirms after what an owner may do, and a
    // later push: a serial number that reads like another session's id is
    // a unit of its own; a DELETE and an UPDATE through quarn_sessions move
    // the summaries; a month let go with `archive` leaves them a recount of
    // the rows left, and so does a late record of a unit that spanned it; a
    // socket's sessions since service follow each service (an earlier one
    // recorded later changes nothing, one deleted is none).
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
                           "UPDATE quarn_sessions SET serial = 'SN-1' WHERE serial = 'SN-2'",
                           "UPDATE quarn_sessions SET \"operator\" = 'cy' WHERE approved"}
            << QStringList{} << randomRecords(60, 3, rng);
        // Sockets serviced within an hour of their records, then records
        // before and after each service, in its hour and later.
        QByteArray around;
        for (const char* at : {"2026-12-01T18:10:00Z", "2026-12-01T18:30:00Z",
                               "2026-12-01T20:00:00Z", "2026-12-02T09:05:00Z"})
            around += recordLine({{"station", "st-1"}, {"slot", "slot-2"}, {"started", at}});
        const QString service =
            "INSERT INTO quarn_socket_service (station, slot, serviced_at) VALUES ('st-1', %1)";
        QTest::newRow("sockets serviced")
            << randomRecords(300, 1, rng) + recordLine({{"station", "st-1"},
                                                        {"slot", "slot-2"},
                                                        {"started", "2026-12-01T18:40:00Z"}})
            << QStringList{service.arg("'slot-1', '2026-12-02 09:10Z'"),
                           "DELETE FROM quarn_socket_service WHERE slot = 'slot-1'",
                           service.arg("'slot-2', '2026-12-01 18:20Z'"),
                           service.arg("'slot-2', '2026-12-01 07:00Z'")}
            << QStringList{} << randomRecords(60, 1, rng) + around;
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
        QCOMPARE(sinceDifferences(), QStringLiteral("0"));
        QVERIFY(push(writeLog(name + "-late.jsonl", late), "st1"));
        QCOMPARE(summaryDifferences(), QString());
        const QString url = pg_->url(QStringLiteral("view1"));
        for (const char* by : {"", "day", "station", "slot"})
            compareRows(quarn::figures::reportFromDatabase(url, {by, {}, false}),
                        quarn::figures::reportFromDatabase(url, {by, {}, true}));
        if (!args.isEmpty()) pg_->sql("DROP TABLE quarn_sessions_" + args[1].replace('-', '_'));
    }

    // A reader in a half-hour time zone gets the summaries' UTC hours and
    // days: every session of a socket since its service (at 06:10 UTC) is
    // counted, and each day of the view is a UTC day.
    void utcWhateverTheZone() {
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

    // The rules the log and the server share (a pass, first pass, attempts
    // and yields by attempt, a failed attempt) give the same figures in
    // C++ (record/) and in SQL (the schema's functions, as the triggers, the
    // summaries, the exact report and quarn_attempts use them).
    void rulesAgree_data() {
        QTest::addColumn<QStringList>("sessions");
        QTest::newRow("good at once") << QStringList{"SN-1 good 0"};
        QTest::newRow("good at the second") << QStringList{"SN-1 transfer 0", "SN-1 good 5"};
        QTest::newRow("good at the third, late")
            << QStringList{"SN-1 good 9", "SN-1 login 0", "SN-1 transfer 5"};
        QTest::newRow("good, then failed") << QStringList{"SN-1 good 0", "SN-1 port 3"};
        QTest::newRow("interrupted and held are no attempts")
            << QStringList{"SN-1 interrupted 0", "SN-1 held 1", "SN-1 transfer 2", "SN-1 good 3"};
        QTest::newRow("no start is after every start")
            << QStringList{"SN-1 good -", "SN-1 transfer 4", "SN-2 good -", "SN-2 good -"};
        QTest::newRow("equal starts: the least id first")
            << QStringList{"SN-1 transfer 2", "SN-1 good 2"};
        QTest::newRow("no serial number: a unit each")
            << QStringList{"- good 0", "- transfer 0", "- interrupted 1", "- - 2"};
        QTest::newRow("no outcome is an attempt, no failure")
            << QStringList{"SN-3 - 0", "SN-3 good 1"};
        QTest::newRow("a serial number like an id")
            << QStringList{"- transfer 0", "00000000-0000-0000-0000-000000000001 good 1"};
    }
    void rulesAgree() {
        QFETCH(QStringList, sessions);
        QList<quarn::record::PassSession> list;
        QString values;
        for (const QString& text : sessions) {
            list << passSession(text, int(list.size()) + 1);
            const auto& s = list.last();
            const auto literal = [](const QString& v) { return "'" + v + "'"; };
            values += QStringLiteral("%1('%2', %3, %4, %5)")
                          .arg(values.isEmpty() ? "" : ", ", s.id,
                               s.serial.isEmpty() ? QStringLiteral("NULL") : literal(s.serial),
                               text.section(' ', 1, 1) == "-" ? QStringLiteral("NULL")
                                                              : literal(s.outcome),
                               s.started.isValid() ? literal(s.started.toString(Qt::ISODate))
                                                   : QStringLiteral("NULL"));
        }
        QVERIFY(
            !pg_->sql("INSERT INTO quarn_sessions (id, serial, outcome, started) VALUES " + values)
                 .contains("ERROR"));
        const QStringList server{
            pg_->sql("SELECT sum(units) || ' ' || sum(first_pass_good) || ' ' || "
                     "sum(second_pass_good) || ' ' || sum(final_good) FROM quarn_summary_hours"),
            pg_->sql("SELECT string_agg(attempts || ':' || n, ',' ORDER BY attempts) FROM (SELECT "
                     "attempts, sum(units) AS n FROM quarn_summary_attempts GROUP BY 1) a"),
            pg_->sql("SELECT string_agg(id::text, ',' ORDER BY id) FROM quarn_sessions WHERE "
                     "first_pass"),
            pg_->sql("SELECT string_agg(serial || ':' || quarn_attempts(serial), ',' ORDER BY "
                     "serial COLLATE \"C\") FROM (SELECT DISTINCT serial FROM quarn_sessions WHERE "
                     "serial <> '') s"),
            pg_->sql("SELECT sum(units) || ' ' || sum(first_pass_good) FROM quarn_summary_hours")};
        const QStringList log = logRules(list);
        QCOMPARE(server, log);
        const Report exact = quarn::figures::reportFromDatabase(pg_->url(), {"", {}, true});
        QVERIFY2(exact.rows.size() == 1, qPrintable(exact.error));
        const ReportRow& r = exact.rows[0];
        QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                     .arg(r.units)
                     .arg(r.firstPassGood)
                     .arg(r.secondPassGood)
                     .arg(r.finalGood),
                 log[0]);
    }

    // Viewers read the summaries (by hour, by day, since service); a station
    // reads none, and only the owner writes what they are made of.
    void summaryRights() {
        const std::pair<const char*, bool> cases[] = {
            {"SELECT count(*) FROM quarn_summary_hours", false},
            {"SELECT count(*) FROM quarn_summary_sockets_days", false},
            {"SELECT count(*) FROM quarn_summary_since_service", false},
            {"SELECT count(*) FROM quarn_units", true},
            {"UPDATE quarn_kept_attempts SET units = 0", true},
            {"DELETE FROM quarn_delta_causes", true},
            {"INSERT INTO quarn_kept_seconds VALUES ('-infinity', '', '', '', '', 1, 1)", true}};
        for (const auto& [statement, viewerRefused] : cases) {
            QVERIFY2(pg_->sql(statement, "st1").contains("permission denied"), statement);
            QCOMPARE(pg_->sql(statement, "view1").contains("permission denied"), viewerRefused);
        }
    }

    // A database of the version before the summaries by day and the counts
    // since service (the numbered files up to 0007), with rows, a serviced
    // socket, held records and some without a start: migrate brings it to
    // the latest, every figure a recount of its rows. Last: it leaves the
    // migrated schema to nobody.
    void migratePreviousVersionKeepsFigures() {
        using namespace quarn::database;
        QString previous = QStringLiteral("BEGIN;\n") + QString::fromUtf8(sqlFile("ledger.sql"));
        for (const Migration& m : migrations())
            if (m.version <= 7) previous += QString::fromUtf8(m.sql) + ledgerInsert(m);
        QVERIFY(pg_->freshSchema(previous + QString::fromUtf8(sqlFile("upkeep.sql")) + "COMMIT;"));
        QRandomGenerator rng(7);
        const QByteArray lines = randomRecords(200, 1, rng).trimmed().replace('\n', ',');
        const QString rows = QStringLiteral(
                                 "INSERT INTO quarn_sessions SELECT * FROM"
                                 " json_populate_recordset(NULL::quarn_sessions, '[%1]');"
                                 " INSERT INTO quarn_socket_service (station, slot, serviced_at)"
                                 " VALUES ('st-1', 'slot-2', '2026-12-01 18:20Z')")
                                 .arg(QString::fromUtf8(lines).replace('\'', "''"));
        QCOMPARE(pg_->sql(rows), QString());
        QCOMPARE(pg_->sql("SELECT count(*) FROM quarn_sessions"), QStringLiteral("200"));
        const QString moved = run({"migrate", "--db", pg_->url()});
        QVERIFY2(moved != "failed", qPrintable(moved));
        QCOMPARE(summaryDifferences(), QString());
        const QString url = pg_->url(QStringLiteral("view1"));
        for (const char* by : {"", "slot"})
            compareRows(quarn::figures::reportFromDatabase(url, {by, {}, false}),
                        quarn::figures::reportFromDatabase(url, {by, {}, true}));
    }
};

QTEST_GUILESS_MAIN(TestSummaries)
#include "test_summaries.moc"
