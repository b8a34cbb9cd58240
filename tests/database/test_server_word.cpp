// What the records' database vouches for, against a PostgreSQL server of the
// test's own with the real roles: the server stamps who pushed each row,
// when, and its own approval verdict (a station can write none of them);
// an older table gains the columns; the functions that run with the
// owner's rights keep their search_path through a re-applied schema; no
// viewer can stall a push; a push of rows already there notifies nobody;
// approve on a database without the schema says what to do. The table is
// partitioned by month: a push sent again inserts nothing, a month without
// a partition yet still takes its records, an id is one record's across
// partitions, a month detached leaves the rest; an earlier version's table
// is migrated with nothing lost.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

#include "database/migrations.h"
#include "database/schema.h"
#include "pg/connection.h"
#include "record/columns.h"
#include "tests/support/records_rig.h"

using namespace testsupport;

namespace {

QString sha(char c) { return QString(64, QLatin1Char(c)); }

// The column type the schema gives a kind of record column.
QString columnType(quarn::record::ColumnKind kind) {
    using K = quarn::record::ColumnKind;
    switch (kind) {
        case K::Uuid:
            return QStringLiteral("uuid");
        case K::Time:
            return QStringLiteral("timestamp with time zone");
        case K::Real:
            return QStringLiteral("double precision");
        case K::Count:
            return QStringLiteral("integer");
        case K::Text:
            return QStringLiteral("text");
        case K::Flag:
            return QStringLiteral("boolean");
    }
    return QString();
}

// quarn_sessions as the versions before partitioning made it: a plain
// table, id its primary key.
QString plainTable() {
    QString columns;
    for (const auto& c : quarn::record::columns())
        columns += QStringLiteral("\"%1\" %2, ").arg(QLatin1String(c.key), columnType(c.kind));
    return QStringLiteral(
               "CREATE TABLE quarn_sessions (%1first_pass boolean, pushed_by text,"
               " received_at timestamptz, server_approved boolean,"
               " PRIMARY KEY (id));")
        .arg(columns);
}

// What the last release before the ledger made: its schema and roles.
QString releaseSchema() {
    QFile f(QStringLiteral(QUARN_RELEASE_SCHEMA));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The start of the month `offset` months from this one, midnight UTC.
QDateTime monthStart(int offset) {
    const QDate today = QDateTime::currentDateTimeUtc().date();
    return QDateTime(QDate(today.year(), today.month(), 1).addMonths(offset), QTime(0, 0), Qt::UTC);
}
QString partition(int offset) {
    return QStringLiteral("quarn_sessions_") +
           monthStart(offset).toString(QStringLiteral("yyyy_MM"));
}
QJsonValue at(const QDateTime& t) { return t.toString(Qt::ISODateWithMs); }

// Every row of quarn_sessions as text, in id order: what a move must keep.
const char kAllRows[] =
    "SELECT count(*) || ':' || md5(string_agg(t::text, ',' ORDER BY id)) FROM quarn_sessions t";

}  // namespace

class TestServerWord : public RecordsRig {
    Q_OBJECT

    QJsonObject reportAll(const QString& from, const QString& where, const QString& more = {}) {
        QStringList args{"report", from, where, "--json"};
        if (!more.isEmpty()) args << more;
        const Run r = records(args);
        return QJsonDocument::fromJson(r.out.toUtf8()).array()[0].toObject();
    }
    // A connection of the test's own, as user.
    bool login(quarn::pg::Connection& c, const QString& user) {
        QString why;
        const bool ok = c.open(quarn::pg::parseDatabaseUrl(pg_->url(user)), &why);
        return ok || (qWarning("%s", qPrintable(why)), false);
    }

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init() { QVERIFY(freshDatabase()); }

    // Rows pushed by st1 carry its login, the server's time and the
    // approved list's verdict at each row's start, whatever the station
    // claimed; no station may write those columns, and the owner's own
    // values are replaced too. The report counts the claims the verdict
    // contradicts; from a log it cannot know them.
    void serverStamps() {
        QVERIFY(applyRoles());
        pg_->sql(
            QStringLiteral("INSERT INTO quarn_images (sha256, approved_at, revoked_at) VALUES"
                           " ('%1', '2026-01-01Z', NULL), ('%2', '2026-01-01Z', '2026-06-01Z'),"
                           " ('%3', '2026-09-01Z', NULL)")
                .arg(sha('a'), sha('b'), sha('c')));
        const struct {
            const char* started;
            char image;
            QJsonValue claim;
            bool verdict;
        } rows[] = {
            {"2026-03-01T00:00:00Z", 'a', true, true},
            {"2026-01-01T00:00:00Z", 'a', true, true},           // approved that very moment
            {"2026-03-01T00:00:00Z", 'b', true, true},           // revoked later
            {"2026-07-01T00:00:00Z", 'b', true, false},          // revoked before: mismatch
            {"2026-08-01T00:00:00Z", 'c', true, false},          // approved after: mismatch
            {"2026-10-01T00:00:00Z", 'c', false, true},          // the claim denies it: mismatch
            {"2026-10-01T00:00:00Z", 'd', QJsonValue(), false},  // no claim: no mismatch
            {"2026-10-01T00:00:00Z", 'd', false, false},
        };
        QStringList want;  // "MM-DD" of the start, the image's letter, the verdict
        for (const auto& r : rows) {
            writeLog(recordLine(
                {{"started", r.started}, {"image_sha256", sha(r.image)}, {"approved", r.claim}}));
            want << QStringLiteral("%1%2=%3")
                        .arg(QLatin1String(r.started + 5, 5))
                        .arg(r.image)
                        .arg(r.verdict ? "true" : "false");
        }
        want.sort();
        const Run pushed = push(QStringLiteral("st1"));
        QVERIFY2(pushed.exit == 0, qPrintable(pushed.err));
        QCOMPARE(pg_->sql("SELECT string_agg(v, ',' ORDER BY v COLLATE \"C\") FROM (SELECT"
                          " to_char(started AT TIME ZONE 'UTC', 'MM-DD') || left(image_sha256, 1)"
                          " || '=' || server_approved AS v FROM quarn_sessions) s"),
                 want.join(','));
        QCOMPARE(pg_->sql("SELECT string_agg(DISTINCT pushed_by, ',') || '|' ||"
                          " bool_and(received_at BETWEEN now() - interval '1 minute' AND now())"
                          " FROM quarn_sessions"),
                 QStringLiteral("st1|true"));
        for (const char* column : {"pushed_by", "received_at", "server_approved"}) {
            const QString out = pg_->sql(
                QStringLiteral("INSERT INTO quarn_sessions (id, %1) VALUES (gen_random_uuid(), %2)")
                    .arg(column, column == QLatin1String("pushed_by") ? "'st9'" : "DEFAULT"),
                QStringLiteral("st1"));
            QVERIFY2(out.contains("permission denied"), qPrintable(out));
        }
        // A list of the station's own under the name, which its unqualified
        // names would find first, approves nothing.
        pg_->sql({QStringLiteral("CREATE TEMP TABLE quarn_images (sha256 text, approved_at"
                                 " timestamptz, revoked_at timestamptz); INSERT INTO quarn_images"
                                 " VALUES ('%1', '2000-01-01Z', NULL)")
                      .arg(sha('e')),
                  QStringLiteral("CALL quarn_push(json_build_array(json_build_object('id',"
                                 " gen_random_uuid(), 'image_sha256', '%1', 'started',"
                                 " '2026-10-01Z')), '{}', NULL)")
                      .arg(sha('e'))},
                 QStringLiteral("st1"));
        QCOMPARE(pg_->sql(QStringLiteral("SELECT server_approved::text FROM quarn_sessions WHERE"
                                         " image_sha256 = '%1'")
                              .arg(sha('e'))),
                 QStringLiteral("false"));
        pg_->sql(QStringLiteral("INSERT INTO quarn_sessions (id, image_sha256, started, pushed_by, "
                                "received_at, server_approved) VALUES (gen_random_uuid(), '%1',"
                                " '2026-10-01Z', 'st9', '2001-01-01Z', true)")
                     .arg(sha('d')));
        QCOMPARE(pg_->sql("SELECT pushed_by || (received_at > now() - interval '1 minute') ||"
                          " server_approved FROM quarn_sessions WHERE pushed_by <> 'st1'"),
                 QStringLiteral("quarntruefalse"));
        QCOMPARE(reportAll("--db", pg_->url("view1"))["approval_mismatch"].toInt(-1), 3);
        QVERIFY(reportAll("--log", log_)["approval_mismatch"].isNull());
        const Run text = records({"report", "--db", pg_->url("view1")});
        QVERIFY2(text.out.contains("3 session(s): the station's approved differs"),
                 qPrintable(text.out));
    }

    // The schema prints as one transaction. Every function that runs as the
    // owner keeps the path it was made with (this schema, pg_temp last): a
    // station with a temporary table named quarn_sessions, and a trigger of
    // its own on it, pushing runs nothing of its own with the owner's rights.
    void functionsKeepTheirPath() {
        const QString printed = records({"schema"}).out;
        QVERIFY(printed.startsWith("BEGIN;\n") && printed.endsWith("\nCOMMIT;\n"));
        QCOMPARE(printed.count(
                     QRegularExpression("^(BEGIN|COMMIT);$", QRegularExpression::MultilineOption)),
                 2);
        QVERIFY(applyRoles());
        QCOMPARE(pg_->sql("SELECT count(*) FILTER (WHERE NOT 'search_path=public, pg_temp' ="
                          " ANY(coalesce(proconfig, '{}'))) || ' ' || (count(*) > 8)"
                          " FROM pg_proc WHERE proname LIKE 'quarn\\_%' AND prosecdef"),
                 QStringLiteral("0 true"));
        const QString attack = QStringLiteral(
            "CREATE TEMP TABLE quarn_sessions (id uuid, serial text, started timestamptz,"
            " outcome text, first_pass boolean);"
            " GRANT ALL ON quarn_sessions TO PUBLIC;"
            " CREATE FUNCTION pg_temp.take() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
            " INSERT INTO public.quarn_images (sha256, approved_by) VALUES (repeat('e', 64),"
            " 'nobody'); RETURN NULL; END $$;"
            " CREATE TRIGGER take AFTER UPDATE ON quarn_sessions FOR EACH STATEMENT"
            " EXECUTE FUNCTION pg_temp.take();");
        for (const char* serial : {"SN-1", "SN-1", "SN-2"})
            pg_->sql({attack, QStringLiteral("CALL public.quarn_push(json_build_array("
                                             "json_build_object('id', gen_random_uuid(),"
                                             " 'serial', '%1', 'started', now(), 'outcome',"
                                             " 'good')), '{}', NULL)")
                                  .arg(QLatin1String(serial))},
                     QStringLiteral("st1"));
        QCOMPARE(pg_->sql("SELECT count(*) FROM quarn_images"), QStringLiteral("0"));
        QCOMPARE(pg_->sql("SELECT count(*) || ' ' || count(*) FILTER (WHERE first_pass)"
                          " FROM quarn_sessions"),
                 QStringLiteral("3 2"));
    }

    // quarn_sessions is the record's column table (record/columns.h), in its
    // order and of its types, then the server's four columns; a station
    // writes each record column (a push of a record with every key leaves
    // none empty) through quarn_push alone, and a viewer reads them.
    void columnsAreTheRecords() {
        QVERIFY(applyRoles());
        QStringList columns, want;
        for (const auto& c : quarn::record::columns()) {
            columns << QStringLiteral("\"%1\"").arg(QLatin1String(c.key));
            want << QLatin1String(c.key) + QLatin1Char(' ') + columnType(c.kind);
        }
        want << "first_pass boolean"
             << "pushed_by text"
             << "received_at timestamp with time zone"
             << "server_approved boolean";
        QCOMPARE(pg_->sql("SELECT string_agg(attname || ' ' || format_type(atttypid, atttypmod),"
                          " ',' ORDER BY attnum) FROM pg_attribute WHERE attrelid ="
                          " 'quarn_sessions'::regclass AND attnum > 0 AND NOT attisdropped"),
                 want.join(','));
        writeLog(recordLine({{"approved", true}}));
        QCOMPARE(push(QStringLiteral("st1")).exit, 0);
        QCOMPARE(pg_->sql("SELECT num_nulls(" + columns.join(',') + ") FROM quarn_sessions"),
                 QStringLiteral("0"));
        QCOMPARE(pg_->sql("SELECT has_table_privilege('quarn_station', 'quarn_sessions',"
                          " 'SELECT, INSERT, UPDATE, DELETE') || ' ' || has_table_privilege("
                          "'quarn_viewer', 'quarn_sessions', 'SELECT')"),
                 QStringLiteral("false true"));
    }

    // A viewer holding the advisory lock the push once took, and one left
    // in a failed transaction on the push's own lock, stall no push; no
    // viewer or station may lock the push's turn.
    void noViewerStallsAPush() {
        QVERIFY(applyRoles());
        qputenv("QUARN_PUSH_TIME_LIMIT", "2");
        quarn::pg::Connection holder, tried;
        QVERIFY(login(holder, "view1") && login(tried, "view1"));
        QSqlQuery hold(holder.db());
        QVERIFY(hold.exec("SELECT pg_advisory_lock(hashtext('quarn_sessions'))"));
        QVERIFY(tried.db().transaction());
        QVERIFY(!QSqlQuery(tried.db()).exec("SELECT FROM quarn_push_lock FOR UPDATE"));
        writeLog(sampleRecords(5));
        const Run r = push(QStringLiteral("st1"));
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QCOMPARE(pg_->sql("SELECT count(first_pass) FROM quarn_sessions"), QStringLiteral("5"));
        for (const char* user : {"view1", "st1"})
            for (const char* statement : {"SELECT FROM quarn_push_lock FOR UPDATE",
                                          "BEGIN; LOCK TABLE quarn_push_lock; COMMIT"}) {
                const QString out = pg_->sql(statement, user);
                QVERIFY2(out.contains("permission denied"), qPrintable(out));
            }
    }

    // A push whose rows were all in the table already sends no
    // notification; one that inserted rows sends one.
    void onlyInsertsNotify() {
        QVERIFY(applyRoles());
        quarn::pg::Connection listener;
        QVERIFY(login(listener, "view1"));
        QStringList heard;
        QSqlDriver* driver = listener.db().driver();
        QObject::connect(driver, &QSqlDriver::notification, this,
                         [&](const QString&, QSqlDriver::NotificationSource, const QVariant& p) {
                             heard << p.toString();
                         });
        QVERIFY(driver->subscribeToNotification(quarn::database::kSessionsChannel));
        writeLog(sampleRecords(3));
        QCOMPARE(push(QStringLiteral("st1")).exit, 0);
        QVERIFY(QFile::remove(log_ + ".sent"));  // sent again: every row is there
        const Run again = push(QStringLiteral("st1"));
        QVERIFY2(again.exit == 0 && again.out.contains("3 record(s) sent, 0 new"),
                 qPrintable(again.out));
        // Delivered in commit order: the probe comes after anything the pushes sent.
        QVERIFY(QSqlQuery(listener.db()).exec("SELECT pg_notify('quarn_sessions', 'probe')"));
        QTRY_VERIFY_WITH_TIMEOUT(heard.contains("probe"), 5000);
        QCOMPARE(heard, QStringList({"2026-12-01T06:00:00.000Z", "probe"}));
    }

    // By month: a record of a month without a partition yet arrives (its
    // partition made), one without started too; a record under an id
    // another start holds is refused, whatever partition holds it; the log
    // sent again inserts nothing; a month detached leaves the rest, and a
    // late record of it still arrives.
    void partitionedByMonth() {
        QVERIFY(applyRoles());
        const QDateTime m0 = monthStart(0);
        QByteArray lines;
        for (int i = 0; i < 3; ++i) lines += recordLine({{"started", at(m0.addSecs(i))}});
        const QJsonObject first = QJsonDocument::fromJson(lines.left(lines.indexOf('\n'))).object();
        writeLog(lines + recordLine({{"started", at(m0.addMSecs(-1))}}) +
                 recordLine({{"started", QJsonValue()}}) +
                 recordLine({{"id", first["id"]}, {"started", at(m0.addDays(23))}}));
        const QString parts = QStringLiteral(
            "SELECT string_agg(p || '=' || n, ',' ORDER BY p) FROM (SELECT tableoid::regclass::text"
            " AS p, count(*) AS n FROM quarn_sessions GROUP BY 1) s");
        const QString want =
            QStringLiteral("%1=1,%2=3,quarn_sessions_default=1").arg(partition(-1), partition(0));
        for (const char* pushed : {"5 record(s) sent, 5 new", "5 record(s) sent, 0 new"}) {
            QFile::remove(log_ + ".sent");
            const Run r = push(QStringLiteral("st1"));
            QVERIFY2(r.exit == 0 && r.out.contains(pushed), qPrintable(r.out + r.err));
            QVERIFY2(r.err.contains("line 6: refused by the database (23505"), qPrintable(r.err));
            QCOMPARE(pg_->sql(parts), want);
        }
        const QString later = QStringLiteral(
                                  "SELECT string_agg(id::text, ',' ORDER BY id)"
                                  " FROM quarn_sessions WHERE started >= '%1'")
                                  .arg(at(m0).toString());
        const QString kept = pg_->sql(later);
        pg_->sql("ALTER TABLE quarn_sessions DETACH PARTITION " + partition(-1));
        QCOMPARE(pg_->sql(later), kept);
        // The summaries keep a month detached by hand; the sessions no longer have it.
        QCOMPARE(reportAll("--db", pg_->url("view1"))["sessions"].toInt(), 5);
        QCOMPARE(reportAll("--db", pg_->url("view1"), "--exact")["sessions"].toInt(), 4);
        writeLog(recordLine({{"started", at(m0.addDays(-15))}}));
        QCOMPARE(push(QStringLiteral("st1")).exit, 0);
        QCOMPARE(pg_->sql(parts),
                 QStringLiteral("%1=3,quarn_sessions_default=2").arg(partition(0)));
    }

    // A push makes a month's partition in a transaction of its own, before
    // its rows: were it made in the rows' transaction, its lock on the
    // default partition would last while the push waits for the pushes'
    // turn, and an owner's step holding the turn that then reads that
    // partition would wait on it: the server would end one as a deadlock.
    void monthMadeBeforeTheRows() {
        QVERIFY(applyRoles());
        quarn::pg::Connection turn;  // an owner's step in its turn, which pushes wait for
        QVERIFY(login(turn, QString()) && turn.db().transaction());
        QSqlQuery q(turn.db());
        QVERIFY(q.exec("LOCK TABLE quarn_push_lock IN EXCLUSIVE MODE"));
        writeLog(recordLine({{"started", at(monthStart(1))}}));
        QProcess pushing;
        pushing.start(recordsPath(), {"push", "--db", pg_->url("st1"), "--log", log_});
        QTRY_COMPARE_WITH_TIMEOUT(
            pg_->sql("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'"),
            QStringLiteral("1"), 10000);
        const bool read = q.exec("SELECT count(*) FROM quarn_sessions_default");
        QVERIFY(turn.db().commit());
        QVERIFY(pushing.waitForFinished(30000));
        QVERIFY2(read, qPrintable(q.lastError().text()));
        QVERIFY2(pushing.exitCode() == 0, pushing.readAllStandardError().constData());
        QCOMPARE(pg_->sql("SELECT tableoid::regclass FROM quarn_sessions"), partition(1));
    }

    // No login stops the plant: whatever another login does with its own
    // session (its own TimeZone and DateStyle, a flood of months, a
    // transaction left open on a push, on the month maker or on a read),
    // st1's push lands its row within its own time limit; a month's
    // partition runs from midnight to midnight UTC, and a station makes
    // none but last, this and next month's (older months: the owner's
    // schema). A month a reader kept from being made is made by a later push.
    void noLoginStopsThePlant_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("does");  // each on its own
        QTest::addColumn<QString>("holds");     // then left open while st1 pushes
        QTest::addColumn<int>("month");         // st1's record's, from this one
        QTest::addColumn<QString>("lands");
        const QString flood = QStringLiteral(
            "ARRAY(SELECT generate_series(timestamptz '2000-01-01Z', now() + interval '1 month',"
            " interval '1 month'))");
        const QString m0 =
            QStringLiteral("ARRAY['%1'::timestamptz]").arg(at(monthStart(0)).toString());
        const QString m1 =
            QStringLiteral("ARRAY['%1'::timestamptz]").arg(at(monthStart(1)).toString());
        QTest::newRow("own TimeZone and DateStyle")
            << "st3"
            << QStringList{"SELECT quarn_sessions_months(" + m0 + ")",
                           "CALL quarn_push('[]', " + m0 + ", NULL)"}
            << QString() << 1 << partition(1);
        QTest::newRow("a flood of months")
            << "st2"
            << QStringList{"SELECT quarn_sessions_months(" + flood + ")",
                           "CALL quarn_push('[]', " + flood + ", NULL)"}
            << QString() << 0 << partition(0);
        QTest::newRow("a push left open") << "st2" << QStringList{}
                                          << "INSERT INTO quarn_sessions (id, serial, started) "
                                             "VALUES (gen_random_uuid(), 'X', '" +
                                                 at(monthStart(0)).toString() + "')"
                                          << 0 << partition(0);
        QTest::newRow("the push's own function left open")
            << "st2" << QStringList{}
            << "SELECT quarn_push_rows(json_build_array(json_build_object('id',"
               " gen_random_uuid(), 'started', now())))"
            << 0 << partition(0);
        QTest::newRow("the month maker left open")
            << "st2" << QStringList{} << "SELECT quarn_sessions_months(" + m1 + ")" << 0
            << partition(0);
        QTest::newRow("a read left open")
            << "view1" << QStringList{} << "SELECT count(*) FROM quarn_sessions" << 1
            << "quarn_sessions_default";
    }
    void noLoginStopsThePlant() {
        QFETCH(QString, user);
        QFETCH(QStringList, does);
        QFETCH(QString, holds);
        QFETCH(int, month);
        QFETCH(QString, lands);
        QVERIFY(applyRoles());
        pg_->sql(
            "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'st2') THEN"
            " CREATE ROLE st2 LOGIN IN ROLE quarn_station; CREATE ROLE st3 LOGIN IN ROLE"
            " quarn_station; ALTER ROLE st3 SET timezone = 'Asia/Shanghai';"
            " ALTER ROLE st3 SET datestyle = 'Postgres'; END IF; END $$");
        for (const QString& d : does) pg_->sql(d, user);
        if (!holds.isEmpty()) pg_->holdOpen(holds, user, 30);
        const QDateTime started = monthStart(month).addSecs(3600);
        writeLog(recordLine({{"started", at(started)}}) +
                 recordLine({{"started", at(monthStart(month).addMSecs(-1))}}));
        qputenv("QUARN_PUSH_TIME_LIMIT", "3");
        const Run r = push(QStringLiteral("st1"));
        qunsetenv("QUARN_PUSH_TIME_LIMIT");
        pg_->unlockTable();
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QCOMPARE(pg_->sql("SELECT tableoid::regclass FROM quarn_sessions WHERE started = '" +
                          at(started).toString() + "'"),
                 lands);
        // Every month's bounds at midnight UTC, and no more than three months.
        QCOMPARE(pg_->sql({"SET timezone = 'UTC'",
                           "SELECT count(*) FILTER (WHERE pg_get_expr(c.relpartbound, c.oid) !~"
                           " '^FOR VALUES FROM \\(''[0-9-]{8}01 00:00:00\\+00''\\) TO"
                           " \\(''[0-9-]{8}01 00:00:00\\+00''\\)$') || ' ' || (count(*) <= 3)"
                           " FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid"
                           " WHERE i.inhparent = to_regclass('quarn_sessions') AND"
                           " c.relname <> 'quarn_sessions_default'"},
                          QString()),
                 QStringLiteral("0 true"));
        if (lands == QLatin1String("quarn_sessions_default")) {  // made by the next push
            writeLog(recordLine({{"started", at(started.addSecs(3600))}}));
            QCOMPARE(push(QStringLiteral("st1")).exit, 0);
            QCOMPARE(pg_->sql("SELECT count(*) FROM " + partition(month)), QStringLiteral("2"));
        }
        if (QTest::currentDataTag() == QLatin1String("a flood of months")) {  // the owner's
            writeLog(recordLine({{"started", "2001-05-05T00:00:00.000Z"}}));
            QCOMPARE(push(QStringLiteral("st1")).exit, 0);
            QVERIFY(!pg_->sql(records({"schema"}).out).contains("ERROR"));
            QCOMPARE(pg_->sql("SELECT count(*) FROM quarn_sessions_2001_05"), QStringLiteral("1"));
        }
    }

    // A database an earlier release made (the last one's schema and roles,
    // or the plain table of the versions before it), with rows and a column
    // of the plant's own: a push and a report say it is to be migrated;
    // migrate says what it will do and moves it once, every row and column
    // as it was (ids, first_pass, the stamps, the plant's column), the
    // figures a recount of the rows; only its owner may; run again it
    // applies nothing; then the roles' rights hold and a station pushes.
    void migrateEarlierRelease_data() {
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("pusher");  // who inserted the rows, as that release's push did
        QTest::newRow("the last release")
            << releaseSchema() + PgServer::loginsSql() << QStringLiteral("st1");
        QTest::newRow("a plain table") << plainTable() << QString();
    }
    void migrateEarlierRelease() {
        QFETCH(QString, made);
        QFETCH(QString, pusher);
        QVERIFY(!pg_->sql(made).contains("ERROR"));
        QString rows;
        for (const QByteArray& line :
             (sampleRecords(3) +
              recordLine({{"serial", "SN-0"}, {"started", "2026-11-02T00:00:00.000Z"}}) +
              recordLine({{"started", QJsonValue()}}))
                 .split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!o.isEmpty())
                rows += QStringLiteral(
                            "INSERT INTO quarn_sessions (id, started, serial, station,"
                            " outcome) SELECT * FROM json_to_record('%1') AS r(id uuid,"
                            " started timestamptz, serial text, station text, outcome"
                            " text);")
                            .arg(QString::fromUtf8(line));
        }
        QVERIFY(!pg_->sql(rows, pusher).contains("ERROR"));
        QCOMPARE(
            pg_->sql("ALTER TABLE quarn_sessions ADD COLUMN work_order text NOT NULL"
                     " DEFAULT 'WO-0'; UPDATE quarn_sessions SET work_order = 'WO-' || serial"),
            QString());
        const QString before = pg_->sql(kAllRows);
        QVERIFY2(before.startsWith("5:"), qPrintable(before));
        log_ = dir_.filePath(QStringLiteral("%1.jsonl").arg(pusher));
        writeLog(recordLine({{"started", "2026-10-02T00:00:00.000Z"}}));
        for (const Run& r : {push(QString()), records({"report", "--db", pg_->url()})})
            QVERIFY2(r.exit == 2 && r.err.contains("earlier version") &&
                         r.err.contains("quarn-records migrate"),
                     qPrintable(r.err));
        if (!pusher.isEmpty()) QCOMPARE(records({"migrate", "--db", pg_->url("eng1")}).exit, 3);
        const Run moved = records({"migrate", "--db", pg_->url()});
        QVERIFY2(moved.exit == 0 &&
                     moved.out.contains("5 row(s) in 2 month(s) (2026-11 to 2026-12)") &&
                     moved.out.contains("own columns go over with their values: work_order") &&
                     moved.out.contains("done: 5 row(s) moved in "),
                 qPrintable(moved.out + moved.err));
        QCOMPARE(pg_->sql(kAllRows), before);
        const QJsonObject exact = reportAll("--db", pg_->url(), "--exact");
        QCOMPARE(exact["sessions"].toInt(), 5);
        QCOMPARE(reportAll("--db", pg_->url()), exact);
        const Run again = records({"migrate", "--db", pg_->url()});
        QVERIFY2(again.exit == 0 && again.out.contains("up to date"),
                 qPrintable(again.out + again.err));
        QVERIFY(applyRoles());
        QCOMPARE(push(QStringLiteral("st1")).exit, 0);
        QCOMPARE(reportAll("--db", pg_->url("view1"))["sessions"].toInt(), 6);
    }

    // migrate applies, each in a transaction of its own, the migrations the
    // ledger lacks and names them; it refuses, changing nothing, a database
    // whose ledger names a file that changed since it was applied.
    void migrateByTheLedger_data() {
        QTest::addColumn<QString>("made");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("says");
        const QList<quarn::database::Migration>& all = quarn::database::migrations();
        QString behind = QString::fromUtf8(quarn::database::sqlFile("ledger.sql"));
        for (qsizetype i = 0; i + 1 < all.size(); ++i)
            behind += QString::fromUtf8(all[i].sql) + quarn::database::ledgerInsert(all[i]);
        QTest::newRow("one behind") << behind << 0 << "done: " + all.last().name + " applied";
        QTest::newRow("a file changed")
            << records({"schema"}).out +
                   "UPDATE quarn_schema_version SET sha256 = repeat('0', 64) WHERE version = 2;"
            << 3 << "names " + all[1].name + ", which this program's files do not have";
    }
    void migrateByTheLedger() {
        QFETCH(QString, made);
        QFETCH(int, exit);
        QFETCH(QString, says);
        QVERIFY(!pg_->sql(made).contains("ERROR"));
        const QString ledger = QStringLiteral(
            "SELECT string_agg(version || name || sha256, ',' ORDER BY version) FROM "
            "quarn_schema_version");
        const QString before = pg_->sql(ledger);
        const Run r = records({"migrate", "--db", pg_->url()});
        QVERIFY2(r.exit == exit && (r.out + r.err).contains(says), qPrintable(r.out + r.err));
        QCOMPARE(pg_->sql(ledger) == before, exit != 0);
        QCOMPARE(pg_->sql("SELECT count(*) FROM quarn_schema_version"),
                 QString::number(quarn::database::latestVersion()));
    }

    // approve on a database nobody made the schema in says what to do.
    void approveWithoutSchema() {
        const QString fw = dir_.filePath("fw.bin");
        QFile f(fw);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(100, 'x')) == 100);
        f.close();
        const Run r = records({"approve", "--file", fw, "--length", "100", "--db", pg_->url()});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains("the database has no quarn_images table: apply `quarn-records "
                                "schema` as its owner"),
                 qPrintable(r.err));
    }
};

QTEST_MAIN(TestServerWord)
#include "test_server_word.moc"
