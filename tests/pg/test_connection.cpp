// The records' database's URL and connection as quarn-records takes them:
// the URL's forms and options, a password never taken nor shown, a server
// that never answers given up, and what quarn-records refuses as usage.

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include "pg/database_url.h"
#include "tests/support/records_rig.h"
#include "tests/support/test_support.h"

using namespace testsupport;

namespace {

const QString kFlash = flashPath();
const QString kRecords = recordsPath();

}  // namespace

class TestConnection : public RecordsRig {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init() { QVERIFY(freshDatabase()); }

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
        const quarn::pg::DatabaseTarget t = quarn::pg::parseDatabaseUrl(url);
        const QString got = t.error.isEmpty() ? QStringList{t.host, QString::number(t.port),
                                                            t.database, t.user, t.options.join(';')}
                                                    .join('|')
                                              : t.error;
        QVERIFY2(got.startsWith(parsed) || got.contains(parsed), qPrintable(got));
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
        QCOMPARE(quarn::pg::redactedUrl(url), shown);
    }
};

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
