// The approved list and the roles, against a server of the test's own: what
// each role may do, approve and revoke, the check every front end makes
// before a port opens (the database, else its kept copy within its limits),
// and quarn-flash and --watch following it.
#include <signal.h>

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
#include "tests/support/records_rig.h"
#include "tests/support/test_support.h"

using namespace testsupport;

namespace {

const QString kFlash = flashPath();
const QString kRecords = recordsPath();

}  // namespace

class TestApproval : public RecordsRig {
    Q_OBJECT

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
private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init() { QVERIFY(freshDatabase()); }

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
        using Verdict = quarn::approval::ApprovalCheck::Verdict;
        QVERIFY(applyRoles());
        QString sha;
        const QString init = initFolder(&sha);
        const QString copy = dir_.filePath(QStringLiteral("state/approved-images.json"));
        const QString st = pg_->url(QStringLiteral("st1"));
        auto check = [&](const QString& image) {
            return quarn::approval::checkImageApproval(st, image, copy);
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
        QVERIFY(quarn::approval::checkImageApproval(st, sha, copy).allowed());
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
            const auto r = quarn::approval::checkImageApproval(c.url, sha, copy, c.limitS);
            const bool ok = c.why.isEmpty()
                                ? r.allowed() && r.fromCopy
                                : r.verdict == quarn::approval::ApprovalCheck::Verdict::Refused &&
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
            return quarn::approval::checkImageApproval(pg_->url(user), sha, copy);
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
            QVERIFY2(c.verdict == quarn::approval::ApprovalCheck::Verdict::Refused && !c.fromCopy &&
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
                const auto c = quarn::approval::checkImageApproval(st, QString(64, 'e'), copy);
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

QTEST_MAIN(TestApproval)
#include "test_approval.moc"
