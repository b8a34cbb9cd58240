// A unit's history, the recall list and the yields by attempt, through the
// real quarn-records against a PostgreSQL server of the test's own and
// against a log: the same answers from both.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <memory>

#include "station/shift_counters.h"
#include "tests/support/pg_server.h"

using namespace testsupport;

namespace {

const QString kRecords = QStringLiteral(QUARN_RECORDS_PATH);
const QString kImageX = QString(64, QLatin1Char('1'));
const QString kImageY = QString(64, QLatin1Char('2'));

struct Run {
    int exit = -1;
    QString out, err;
    QJsonArray json() const { return QJsonDocument::fromJson(out.toUtf8()).array(); }
};

Run records(const QStringList& args) {
    QProcess p;
    p.start(kRecords, args);
    if (!p.waitForFinished(60000)) p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// One record: serial, outcome, minute after 06:00 (negative: no started),
// station, image; the rest as sampleRecords makes it.
struct Rec {
    const char* serial;
    const char* outcome;
    int minute;
    const char* station = "st-1";
    QString image = kImageX;
};

QByteArray line(const Rec& r, int n) {
    QJsonObject o = QJsonDocument::fromJson(sampleRecords(1)).object();
    o["serial"] = r.serial, o["outcome"] = r.outcome, o["station"] = r.station;
    o["image_sha256"] = r.image, o["slot"] = QStringLiteral("slot-%1").arg(n);
    o["approved"] = true;
    o["started"] = r.minute < 0 ? QJsonValue()
                                : QJsonValue(QStringLiteral("2026-12-01T06:%1:00.000Z")
                                                 .arg(r.minute, 2, 10, QLatin1Char('0')));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QStringList column(const QJsonArray& rows, const char* key) {
    QStringList out;
    for (const QJsonValue& v : rows) out << v[QLatin1String(key)].toString();
    return out;
}

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<PgServer> pg_;
    QTemporaryDir dir_;
    QString log_;

    void writeLog(const QList<Rec>& recs) {
        QFile f(log_);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        for (const Rec& r : recs) f.write(line(r, int(f.pos() % 97)));
    }
    // The schema and roles as an administrator sets them, the image X
    // approved, the log pushed by the station login st1.
    void pushAsStation() {
        const QString out =
            pg_->sql(records({"schema"}).out + records({"schema", "--roles"}).out +
                     "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'st1') THEN"
                     " CREATE ROLE st1 LOGIN IN ROLE quarn_station;"
                     " CREATE ROLE eng1 LOGIN IN ROLE quarn_engineer;"
                     " CREATE ROLE view1 LOGIN IN ROLE quarn_viewer; END IF; END $$;" +
                     QStringLiteral("INSERT INTO quarn_images (sha256, title, approved_at) VALUES"
                                    " ('%1', 'QX-200 fw 2.1', '2026-11-01')")
                         .arg(kImageX));
        QVERIFY2(!out.contains("ERROR"), qPrintable(out));
        QCOMPARE(records({"push", "--log", log_, "--db", pg_->url("st1")}).exit, 0);
    }
    // From the log and from the database (as the viewer): the same rows but
    // what only the database knows.
    QJsonArray both(const QStringList& args, const QStringList& dbOnly) {
        const Run fromLog = records(args + QStringList{"--json", "--log", log_});
        const Run fromDb = records(args + QStringList{"--json", "--db", pg_->url("view1")});
        QJsonArray db = fromDb.json(), log = fromLog.json();
        for (int i = 0; i < db.size(); ++i) {
            QJsonObject o = db[i].toObject();
            for (const QString& k : dbOnly) o[k] = log[i][k];
            db[i] = o;
        }
        if (fromLog.exit == 0 && fromDb.exit == 0 && db == log) return fromDb.json();
        qWarning("%s%s\n%s\n%s", qPrintable(fromLog.err), qPrintable(fromDb.err),
                 qPrintable(fromDb.out), qPrintable(fromLog.out));
        return {};
    }

private slots:
    void initTestCase() {
        pg_ = std::make_unique<PgServer>();
        QVERIFY2(pg_->ok(), qPrintable(pg_->error()));
    }
    void init() {
        pg_->sql(
            QStringLiteral("DROP VIEW IF EXISTS quarn_yield_daily; DROP TABLE IF"
                           " EXISTS quarn_sessions, quarn_images"));
        log_ = dir_.filePath(QStringLiteral("%1.jsonl").arg(QTest::currentTestFunction()));
    }

    // Every session of SN-1 in time order on every station (one without a
    // time last), written out of order; the title and the server's word
    // from the database; a station may not read it.
    void trace() {
        writeLog({{"SN-1", "good", 30, "st-3", kImageY},
                  {"SN-1", "transfer", 10, "st-1"},
                  {"SN-2", "good", 5},
                  {"SN-1", "interrupted", -1, "st-2"},
                  {"SN-1", "held", 20, "st-2"}});
        pushAsStation();
        const QJsonArray rows = both({"trace", "SN-1"}, {"title", "server_approved", "pushed_by"});
        QCOMPARE(column(rows, "outcome"), (QStringList{"transfer", "held", "good", "interrupted"}));
        QCOMPARE(column(rows, "station"), (QStringList{"st-1", "st-2", "st-3", "st-2"}));
        QCOMPARE(column(rows, "title"),
                 (QStringList{"QX-200 fw 2.1", "QX-200 fw 2.1", "", "QX-200 fw 2.1"}));
        QCOMPARE(rows[0]["server_approved"], QJsonValue(true));
        QCOMPARE(rows[2]["server_approved"], QJsonValue(false));
        QCOMPARE(column(rows, "pushed_by"), QStringList(4, "st1"));
        for (const char* key :
             {"started", "slot", "operator", "file", "image_sha256", "approved", "message", "id"})
            QVERIFY2(!rows[0][QLatin1String(key)].isNull(), key);
        const Run text = records({"trace", "SN-1", "--db", pg_->url("view1")});
        QVERIFY2(text.out.contains(QRegularExpression(
                     "st-1 .* 111111111111 +QX-200 fw 2.1 +yes +yes +transfer +st1")),
                 qPrintable(text.out));
        const Run station = records({"trace", "SN-1", "--db", pg_->url("st1")});
        QCOMPARE(station.exit, 3);
        QVERIFY2(station.err.contains("quarn_viewer"), qPrintable(station.err));
    }

    // The recall list: a unit counts for the image of its latest good
    // session only (SN-1 was loaded again with Y; SN-2 failed after its
    // good load with X); --since, a session without a serial number, a
    // prefix too short; revoke ends with the count.
    void units() {
        writeLog({{"SN-1", "good", 10},
                  {"SN-1", "good", 40, "st-2", kImageY},
                  {"SN-2", "good", 20, "st-2"},
                  {"SN-2", "transfer", 50},
                  {"SN-3", "good", 5},
                  {"SN-4", "good", 30},
                  {"SN-4", "good", 30},  // the same time: the id decides
                  {"", "good", 35},
                  {"SN-5", "transfer", 25}});
        pushAsStation();
        const QJsonArray x = both({"units", "--image", kImageX.left(12)}, {});
        QCOMPARE(column(x, "serial"), (QStringList{"SN-3", "SN-2", "SN-4", ""}));
        QCOMPARE(column(x, "station"), (QStringList{"st-1", "st-2", "st-1", "st-1"}));
        QCOMPARE(column(both({"units", "--image", kImageY}, {}), "serial"), QStringList{"SN-1"});
        QCOMPARE(column(both({"units", "--image", kImageX, "--since", "2026-12-01T06:20:00Z"}, {}),
                        "serial"),
                 (QStringList{"SN-2", "SN-4", ""}));
        for (const QString& from : {QStringLiteral("--log"), QStringLiteral("--db")}) {
            const Run shortPrefix = records({"units", "--image", "11111111111", from,
                                             from == "--log" ? log_ : pg_->url("view1")});
            QCOMPARE(shortPrefix.exit, 1);
        }
        QCOMPARE(records({"units", "--image", kImageX, "--db", pg_->url("st1")}).exit, 3);
        const Run revoke = records({"revoke", kImageX.left(12), "--db", pg_->url("eng1")});
        QCOMPARE(revoke.exit, 0);
        QVERIFY2(revoke.out.contains("4 unit(s) loaded good with it: quarn-records units --image " +
                                     kImageX),
                 qPrintable(revoke.out + revoke.err));
        // An engineer's own call names an image only by 12 hex digits or more.
        for (const char* prefix : {"", "%", "____________", "11111111111%"})
            QCOMPARE(pg_->sql(QStringLiteral("SELECT quarn_image_units('%1')").arg(prefix), "eng1"),
                     QStringLiteral("0"));
    }

    // Yields by attempt from the log, by station: a unit belongs to its
    // first attempt's station; interrupted and held are no attempts (held
    // counts apart); a late record (written after, started before) moves
    // the first attempt. The shift's counters agree on the whole.
    void yieldsByAttempt() {
        const QList<Rec> recs{
            {"A", "transfer", 1, "st-1"},    {"A", "good", 2, "st-2"},  // good at 2nd
            {"B", "interrupted", 3, "st-1"}, {"B", "good", 4, "st-1"},  // first pass
            {"C", "transfer", 5, "st-1"},    {"C", "login", 6, "st-1"},
            {"C", "held", 7, "st-1"},        {"C", "good", 8, "st-2"},       // final at 3rd
            {"D", "good", 9, "st-2"},        {"D", "transfer", 10, "st-2"},  // latest failed
            {"E", "good", 12, "st-2"},       {"E", "transfer", 11, "st-1"},  // late record
            {"", "transfer", 13, "st-2"},    {"", "held", 14, "st-2"}};
        writeLog(recs);
        const struct {
            const char* station;
            int units, first, second, final, held;
            QJsonObject attempts;
        } want[] = {{"st-1", 4, 1, 3, 4, 1, {{"1", 1}, {"2", 2}, {"3", 1}}},
                    {"st-2", 2, 1, 1, 0, 1, {{"1", 1}, {"2", 1}}}};
        // st-1: A, B, C, E (its late first attempt); st-2: D, the unnamed one.
        const Run r = records({"report", "--log", log_, "--by", "station", "--json"});
        QCOMPARE(r.exit, 0);
        const QJsonArray rows = r.json();
        QCOMPARE(rows.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QJsonObject o = rows[i].toObject();
            const auto& w = want[i];
            QCOMPARE(o["station"].toString(), QString::fromLatin1(w.station));
            QCOMPARE(o["units"].toInt(), w.units);
            QCOMPARE(o["first_pass_good"].toInt(), w.first);
            QCOMPARE(o["second_pass_yield"].toDouble(), double(w.second) / w.units);
            QCOMPARE(o["final_yield"].toDouble(), double(w.final) / w.units);
            QCOMPARE(o["held"].toInt(), w.held);
            QCOMPARE(o["attempts"].toObject(), w.attempts);
        }
        QCOMPARE(rows[0]["sessions"].toInt() + rows[1]["sessions"].toInt(), 12);
        quarn::station::ShiftCounters counters;
        for (const Rec& rec : recs)
            counters.count(rec.serial, rec.outcome,
                           QDateTime(QDate(2026, 12, 1), QTime(6, rec.minute), Qt::UTC));
        QCOMPARE(counters.firstPassYield(), 100.0 * 2 / 6);
        QCOMPARE(counters.secondPassYield(), 100.0 * 4 / 6);
        QCOMPARE(counters.finalYield(), 100.0 * 4 / 6);
        QCOMPARE(counters.failed(), 6);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
