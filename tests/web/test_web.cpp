// quarn-plant-web against a PostgreSQL server of the test's own with real
// pushes, and in a real headless chromium: the API answers what
// quarn-records prints for the same question (and refuses what it cannot
// read), misbehaving clients harm no other, the page shows the report's
// figures and a push without a reload, seven tabs stay live, a filter and a
// unit page, the database and the service going away and coming back.
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "tests/support/browser_rig.h"
#include "tests/support/pg_server.h"

using testsupport::Browser;
using testsupport::PgServer;
using testsupport::WebService;

namespace {

const QString kRecords = QStringLiteral(QUARN_RECORDS_PATH);
const QString kImage =
    QStringLiteral("43852f991a883fbd0628aa1a7450f862b5a21fab5e40abe594d9bdd93bd7fec0");
const QString kOdd = QStringLiteral("SN/7 ü?#%");  // a serial number is any text

struct Row {
    QString station, slot, serial, outcome;
    int minutesAgo;
};

QByteArray line(const Row& r) {
    QJsonObject o = QJsonDocument::fromJson(testsupport::sampleRecords(1)).object();
    o["id"] = QUuid::createUuid().toString(QUuid::WithoutBraces);
    o["station"] = r.station, o["slot"] = r.slot, o["serial"] = r.serial, o["outcome"] = r.outcome;
    o["image_sha256"] = kImage;
    o["message"] = r.outcome == "transfer" ? "No reply at block 5 of 32 (last reply 44)" : "";
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Within today (UTC) however late the test runs.
    const int minutes = qMin<qint64>(r.minutesAgo, now.time().msecsSinceStartOfDay() / 60000);
    o["started"] = now.addSecs(-60 * minutes).toString(Qt::ISODateWithMs);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

struct Http {
    int status = 0;
    QByteArray head, body;
};

// One raw request on a socket of its own: what a browser cannot send
// (another Host, a body on GET) as well as the plain ones.
Http raw(int port, const QByteArray& request) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, quint16(port));
    s.waitForConnected(5000);
    s.write(request);
    QByteArray all;
    while (s.waitForReadyRead(5000)) all += s.readAll();
    Http h;
    const qsizetype split = all.indexOf("\r\n\r\n");
    h.head = all.left(split), h.body = all.mid(split + 4);
    h.status = all.mid(9, 3).toInt();
    return h;
}

Http get(int port, const QByteArray& path, const QByteArray& host = "127.0.0.1") {
    return raw(port,
               "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
}

int freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// HTTPS to the test's own nginx (a certificate of its own making): plain
// requests, and one event stream read as it comes.
class Https {
public:
    struct Answer {
        int status = 0;
        QByteArray body;
    };
    Answer get(const QString& url, const QByteArray& login = {}) {
        QNetworkReply* r = send(url, login);
        QEventLoop loop;
        QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        Answer a{r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), r->readAll()};
        r->deleteLater();
        return a;
    }
    bool stream(const QString& url, const QByteArray& login, const QByteArray& until) {
        stream_ = send(url, login);
        return more(until, 10000);
    }
    bool more(const QByteArray& until, int ms) {
        QElapsedTimer waited;
        waited.start();
        while (!seen_.contains(until) && waited.elapsed() < ms) {
            QEventLoop loop;
            QObject::connect(stream_, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
            QTimer::singleShot(200, &loop, &QEventLoop::quit);
            loop.exec();
            seen_ += stream_->readAll();
        }
        return seen_.contains(until);
    }
    ~Https() {
        if (stream_) stream_->abort(), stream_->deleteLater();
    }

private:
    QNetworkReply* send(const QString& url, const QByteArray& login) {
        QNetworkRequest request{QUrl(url)};
        if (!login.isEmpty()) request.setRawHeader("Authorization", "Basic " + login.toBase64());
        QNetworkReply* r = net_.get(request);
        r->ignoreSslErrors();
        return r;
    }
    QNetworkAccessManager net_;
    QNetworkReply* stream_ = nullptr;
    QByteArray seen_;
};

}  // namespace

class TestWeb : public QObject {
    Q_OBJECT

    std::unique_ptr<PgServer> pg_;
    std::unique_ptr<WebService> web_;
    std::unique_ptr<Browser> browser_;
    QTemporaryDir dir_;
    int logs_ = 0;

    QByteArray records(const QStringList& args, int* exit = nullptr) {
        QProcess p;
        p.start(kRecords, args);
        p.waitForFinished(60000);
        if (exit) *exit = p.exitCode();
        return p.readAllStandardOutput();
    }
    void push(const QList<Row>& rows) {
        QFile f(dir_.filePath(QStringLiteral("log-%1.jsonl").arg(++logs_)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (const Row& r : rows) f.write(line(r));
        f.close();
        int exit = -1;
        records({"push", "--log", f.fileName(), "--db", pg_->url("st1")}, &exit);
        QCOMPARE(exit, 0);
    }
    QString page(const QString& path = QStringLiteral("/")) { return web_->url(path); }
    // The tile figures of a station as the page names them for a screen reader.
    QString figure(const QString& station, const QString& role) {
        return browser_
            ->script(
                "const t = document.querySelector(`[aria-label=\"Station ${arguments[0]}\"]`);"
                "const f = t && [...t.querySelectorAll('.figure')].find("
                "  (x) => x.getAttribute('aria-label').startsWith(arguments[1] + ': '));"
                "return f ? f.getAttribute('aria-label') : '';",
                {station, role})
            .toString();
    }

private slots:
    void initTestCase() {
        pg_ = std::make_unique<PgServer>();
        QVERIFY2(pg_->ok(), qPrintable(pg_->error()));
        const QString out =
            pg_->sql(records({"schema"}) + records({"schema", "--roles"}) +
                     "CREATE ROLE st1 LOGIN IN ROLE quarn_station;"
                     "CREATE ROLE view1 LOGIN IN ROLE quarn_viewer;" +
                     QStringLiteral("INSERT INTO quarn_images (sha256, title, approved_at) VALUES"
                                    " ('%1', 'QX-200 fw 2.1', '2026-11-01');")
                         .arg(kImage));
        QVERIFY2(!out.contains("ERROR"), qPrintable(out));
        const QString a = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.1:1.0-port0";
        const QString b = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.2:1.0-port0";
        push({{"station-0", a, "SN-1", "good", 50},
              {"station-0", a, "SN-2", "transfer", 40},
              {"station-0", b, "SN-2", "good", 30},
              {"station-1", a, kOdd, "login", 20},
              {"station-1", b, kOdd, "good", 10},
              {"station-1", a, "SN-3", "good", 5},
              {"station-2", a, "SN-4", "transfer", 3}});
        web_ =
            std::make_unique<WebService>(QStringLiteral(QUARN_PLANT_WEB_PATH), pg_->url("view1"));
        QVERIFY2(web_->start(), qPrintable(web_->output()));
        browser_ = std::make_unique<Browser>();
        QVERIFY2(browser_->ok(), qPrintable(browser_->error()));
    }
    void cleanupTestCase() {
        browser_.reset();
        web_.reset();
        pg_.reset();
    }

    // Each API answer equals what quarn-records prints for the same
    // question, by the same code; what cannot be read is refused, naming
    // the parameter; every answer carries the security headers.
    void api_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QStringList>("command");  // empty: a refusal
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("named");
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        const QByteArray odd = QUrl::toPercentEncoding(kOdd);
        QTest::newRow("report") << QByteArray("/api/v1/report") << QStringList{"report"} << 200
                                << "";
        QTest::newRow("by station since today")
            << ("/api/v1/report?by=station&since=" + today.toLatin1())
            << QStringList{"report", "--by", "station", "--since", today} << 200 << "";
        QTest::newRow("by slot") << QByteArray("/api/v1/report?by=slot")
                                 << QStringList{"report", "--by", "slot"} << 200 << "";
        QTest::newRow("a station by day")
            << QByteArray("/api/v1/report?by=day&station=station-1")
            << QStringList{"report", "--by", "day", "--station", "station-1"} << 200 << "";
        QTest::newRow("an image by title")
            << QByteArray("/api/v1/report?by=operator&image=QX-200")
            << QStringList{"report", "--by", "operator", "--image", "QX-200"} << 200 << "";
        QTest::newRow("a station named in SQL")
            << QByteArray("/api/v1/report?station=x%27%20OR%20%271%27%3D%271")
            << QStringList{"report", "--station", "x' OR '1'='1"} << 200 << "";
        QTest::newRow("trace") << ("/api/v1/unit/" + odd) << QStringList{"trace", kOdd} << 200
                               << "";
        QTest::newRow("units") << ("/api/v1/units?image=" + kImage.left(12).toLatin1())
                               << QStringList{"units", "--image", kImage.left(12)} << 200 << "";
        QTest::newRow("bad by") << QByteArray("/api/v1/report?by=hour") << QStringList() << 400
                                << "by";
        QTest::newRow("unknown") << QByteArray("/api/v1/report?sinse=2026-12-01") << QStringList()
                                 << 400 << "sinse";
        QTest::newRow("twice") << QByteArray("/api/v1/report?by=day&by=station") << QStringList()
                               << 400 << "by";
        QTest::newRow("bad since")
            << QByteArray("/api/v1/units?image=" + kImage.toLatin1() + "&since=soon")
            << QStringList() << 400 << "since";
        QTest::newRow("short image")
            << QByteArray("/api/v1/units?image=4385") << QStringList() << 400 << "image";
        QTest::newRow("bad page") << QByteArray("/api/v1/sessions?limit=0") << QStringList() << 400
                                  << "limit";
        QTest::newRow("long serial")
            << ("/api/v1/unit/" + QByteArray(201, 'x')) << QStringList() << 400 << "serial";
        QTest::newRow("no path") << QByteArray("/api/v1/nowhere") << QStringList() << 404
                                 << "nowhere";
    }
    void api() {
        QFETCH(QByteArray, path);
        QFETCH(QStringList, command);
        QFETCH(int, status);
        QFETCH(QString, named);
        const Http h = get(web_->port(), path);
        QCOMPARE(h.status, status);
        for (const char* header : {"Content-Security-Policy: default-src 'self'; script-src 'self'",
                                   "X-Content-Type-Options: nosniff",
                                   "Referrer-Policy: no-referrer", "Cache-Control: no-store"})
            QVERIFY2(h.head.contains(header), header);
        QVERIFY(!h.head.contains("Access-Control"));
        if (command.isEmpty()) {
            const QString error =
                QJsonDocument::fromJson(h.body).object().value("error").toString();
            QVERIFY2(error.contains(named), qPrintable(error));
            return;
        }
        const QJsonDocument cli = QJsonDocument::fromJson(
            records(command + QStringList{"--json", "--db", pg_->url("view1")}));
        QVERIFY(!cli.array().isEmpty() || command.contains("x' OR '1'='1"));
        QCOMPARE(QJsonDocument::fromJson(h.body), cli);
    }

    // GET and HEAD only, loopback names only, no body, no endless headers;
    // a client that trickles its headers is dropped while others are served.
    void clientsThatMisbehave() {
        const int port = web_->port();
        QCOMPARE(raw(port, "DELETE / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status, 405);
        QCOMPARE(get(port, "/", "rebound.example:8471").status, 421);
        QCOMPARE(get(port, "/", "localhost:8471").status, 200);
        QCOMPARE(
            raw(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4\r\n\r\nabcd").status,
            413);
        QCOMPARE(raw(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " +
                               QByteArray(64 * 1024, 'a') + "\r\n\r\n")
                     .status,
                 431);
        QTcpSocket stalled, trickle;
        stalled.connectToHost(QHostAddress::LocalHost, quint16(port));
        stalled.write("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");  // never read
        trickle.connectToHost(QHostAddress::LocalHost, quint16(port));
        QVERIFY(trickle.waitForConnected(5000));
        QElapsedTimer since;
        since.start();
        while (trickle.state() == QAbstractSocket::ConnectedState && since.elapsed() < 20000) {
            trickle.write("G");  // a byte a second: never idle, never done
            trickle.waitForDisconnected(1000);
            QCOMPARE(get(port, "/api/v1/report").status, 200);
        }
        QCOMPARE(trickle.state(), QAbstractSocket::UnconnectedState);
    }

    // A stream that comes back with the id of the last event it saw gets
    // what came after it; with an id of another run of the service, "reset".
    void streamResumes() {
        auto open = [&](const QByteArray& last) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, quint16(web_->port()));
            s.waitForConnected(5000);
            s.write("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                    (last.isEmpty() ? QByteArray() : "Last-Event-ID: " + last + "\r\n") + "\r\n");
            QByteArray seen;
            while (s.waitForReadyRead(500)) seen += s.readAll();
            return seen;
        };
        const QByteArray hello = open({});
        const QByteArray boot = hello.mid(hello.indexOf("\"boot\": \"") + 9, 12);
        QVERIFY2(hello.contains("event: hello") && !hello.contains("id: "), hello);
        const QByteArray resumed = open(boot + ".1");
        QVERIFY2(resumed.contains("id: " + boot + ".2\n"), resumed);
        QVERIFY(!resumed.contains("event: reset"));
        QVERIFY(open("0123456789ab.1").contains("event: reset"));
    }

    // The page shows the report's figures, asks nothing of any other origin,
    // breaks no Content-Security-Policy, and shows a push without a reload.
    void pageLive() {
        const Http german = raw(web_->port(),
                                "GET / HTTP/1.1\r\nHost: localhost\r\n"
                                "Accept-Language: de-DE,de;q=0.9,en;q=0.5\r\n\r\n");
        QVERIFY(german.body.contains("<html lang=\"de\">") &&
                german.body.contains("\"yield\":\"Ausbeute\""));
        QVERIFY(browser_->go(page()));
        QVERIFY(
            !browser_->waitFor("return document.documentElement.dataset.drawn;", 10000).isNull());
        const QString today = QDate::currentDate().startOfDay().toUTC().toString(Qt::ISODate);
        const QJsonArray rows =
            QJsonDocument::fromJson(records({"report", "--by", "station", "--since", today,
                                             "--json", "--db", pg_->url("view1")}))
                .array();
        QCOMPARE(rows.size(), 3);
        for (const QJsonValue& v : rows) {
            const QJsonObject r = v.toObject();
            QCOMPARE(figure(r["station"].toString(), "Yield"),
                     QStringLiteral("Yield: %1 %")
                         .arg(100 * r["first_pass_yield"].toDouble(), 0, 'f', 1));
        }
        browser_->script("window.stayed = true;");
        const QString before = figure("station-2", "Last hour");
        push({{"station-2", "/dev/ttyUSB9", "SN-9", "good", 0}});
        QVERIFY(
            !browser_
                 ->waitFor(QStringLiteral(
                               "return document.querySelector('[aria-label=\"Station station-2\"] "
                               "[aria-label^=\"Last hour\"]').getAttribute('aria-label') != '%1';")
                               .arg(before),
                           10000)
                 .isNull());
        QCOMPARE(browser_->script("return window.stayed === true;").toBool(), true);
        QCOMPARE(browser_
                     ->script("return performance.getEntriesByType('resource').map((e) => e.name)"
                              ".filter((n) => !n.startsWith(location.origin + '/')).join(' ');")
                     .toString(),
                 QString());
        QCOMPARE(browser_->consoleLines().filter("SEVERE").join('\n'), QString());
    }

    // Seven tabs of one browser (which opens six connections to a host)
    // each show a push.
    void sevenTabsLive() {
        QStringList tabs{browser_->tab()};
        for (int i = 1; i < 7; ++i) {
            tabs << browser_->newTab();
            QVERIFY(browser_->go(page()));
            QVERIFY(!browser_->waitFor("return document.documentElement.dataset.drawn;", 10000)
                         .isNull());
        }
        push({{"station-0", "/dev/ttyUSB9", "SN-10", "good", 0}});
        for (const QString& tab : tabs) {
            QVERIFY(browser_->switchTo(tab));
            QVERIFY2(
                !browser_
                     ->waitFor("return document.querySelector('[aria-label=\"Station station-0\"] "
                               "[aria-label^=\"Last hour\"]').getAttribute('aria-label') == 'Last "
                               "hour: 4';",
                               10000)
                     .isNull(),
                qPrintable(figure("station-0", "Last hour")));
        }
        for (const QString& tab : tabs.mid(1)) {
            browser_->switchTo(tab);
            browser_->script("window.close();");
        }
        browser_->switchTo(tabs.first());
    }

    // A filter picked on the page lives in the URL; the search box opens a
    // unit's page, which says its verdict and that it moved sockets.
    void filterAndUnitPage() {
        QVERIFY(browser_->go(page()));
        QVERIFY(
            !browser_->waitFor("return document.documentElement.dataset.drawn;", 10000).isNull());
        browser_->script(
            "const s = document.getElementById('station'); s.value = 'station-1';"
            "s.dispatchEvent(new Event('change'));");
        QVERIFY(!browser_
                     ->waitFor("return document.querySelectorAll('.tile').length == 1 && "
                               "location.search.includes('station=station-1');",
                               10000)
                     .isNull());
        browser_->script(
            "const b = document.getElementById('serial-box'); b.value = arguments[0];"
            "b.form.requestSubmit();",
            {kOdd});
        QVERIFY(
            !browser_->waitFor("return document.documentElement.dataset.drawn;", 10000).isNull());
        QCOMPARE(
            browser_->script("return document.getElementById('verdict').textContent;").toString(),
            QString("passed on attempt 2"));
        QVERIFY(browser_->script("return document.getElementById('moved').textContent;")
                    .toString()
                    .startsWith("passed only after moving from "));
        QCOMPARE(browser_->script("return document.querySelectorAll('tbody tr').length;").toInt(),
                 2);
    }

    // nginx in front, as docs/quarn-plant-web.md and its example configure
    // it: TLS, a login, and the event stream passing through as it comes.
    void behindNginx() {
        QTemporaryDir d;
        auto run = [](const QString& program, const QStringList& args) {
            QProcess p;
            p.start(program, args);
            p.waitForFinished(30000);
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                        "/CN=plant.example", "-keyout", d.filePath("key.pem"), "-out",
                        d.filePath("cert.pem")});
        QFile users(d.filePath("htpasswd"));
        QVERIFY(users.open(QIODevice::WriteOnly));
        users.write("qa:" + run("openssl", {"passwd", "-apr1", "secret"}).toUtf8() + '\n');
        users.close();
        const int tls = freePort(), plain = freePort();
        QFile example(QStringLiteral(QUARN_SOURCE_DIR "/dist/nginx/quarn-plant-web.conf"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        QString site = QString::fromUtf8(example.readAll());
        for (const auto& [from, to] : QList<std::pair<QString, QString>>{
                 {"listen 443", QStringLiteral("listen 127.0.0.1:%1").arg(tls)},
                 {"listen 80", QStringLiteral("listen 127.0.0.1:%1").arg(plain)},
                 {"/etc/ssl/certs/plant.example.pem", d.filePath("cert.pem")},
                 {"/etc/ssl/private/plant.example.key", d.filePath("key.pem")},
                 {"/etc/nginx/quarn-plant.htpasswd", d.filePath("htpasswd")},
                 {"127.0.0.1:8471", QStringLiteral("127.0.0.1:%1").arg(web_->port())}}) {
            QVERIFY2(site.contains(from), qPrintable(from));
            site.replace(from, to);
        }
        QFile conf(d.filePath("nginx.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(
            QStringLiteral("%1daemon off; pid %2/nginx.pid; error_log %2/error.log;"
                           " events {} http { access_log off; client_body_temp_path %2/b;"
                           " proxy_temp_path %2/p; fastcgi_temp_path %2/f; uwsgi_temp_path %2/u;"
                           " scgi_temp_path %2/s;\n%3\n}\n")
                .arg(::geteuid() == 0 ? "user root; " : "", d.path(), site)
                .toUtf8());
        conf.close();
        struct Nginx : QProcess {
            ~Nginx() override {  // its workers end with it, whatever failed
                terminate();
                waitForFinished();
            }
        } nginx;
        nginx.setProcessChannelMode(QProcess::ForwardedChannels);
        nginx.start("nginx", {"-p", d.path(), "-c", d.filePath("nginx.conf")});
        QVERIFY(nginx.waitForStarted());
        const QString base = QStringLiteral("https://127.0.0.1:%1").arg(tls);
        Https https;
        QTRY_VERIFY_WITH_TIMEOUT(https.get(base + "/").status == 401, 10000);
        const Https::Answer page = https.get(base + "/", "qa:secret");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<html lang=\"en\">"));
        QVERIFY(https.stream(base + "/api/v1/events", "qa:secret", "event: hello"));
        push({{"station-2", "/dev/ttyUSB9", "SN-11", "good", 0}});
        QVERIFY(https.more("event: figures", 10000));
    }

    // The database away: said, with since when, the figures kept; back: live
    // again. The service away: the page greys and comes back by itself.
    void awayAndBack() {
        QVERIFY(browser_->go(page()));
        QVERIFY(
            !browser_->waitFor("return document.documentElement.dataset.drawn;", 10000).isNull());
        QVERIFY(pg_->stop());
        QVERIFY(
            !browser_
                 ->waitFor("return document.getElementById('status').className == 'away';", 15000)
                 .isNull());
        QCOMPARE(browser_->script("return document.querySelectorAll('.tile').length;").toInt(), 3);
        QVERIFY(pg_->start());
        const QString status = QStringLiteral("document.getElementById('status').textContent");
        QVERIFY2(!browser_->waitFor("return " + status + ".startsWith('live');", 30000).isNull(),
                 qPrintable(browser_->script("return " + status + ";").toString()));
        const int port = web_->port();
        web_->kill();
        QVERIFY(
            !browser_->waitFor("return document.documentElement.classList.contains('gone');", 40000)
                 .isNull());
        QVERIFY2(web_->start(port), qPrintable(web_->output()));
        QVERIFY(!browser_
                     ->waitFor("return !document.documentElement.classList.contains('gone') && "
                               "document.getElementById('status').textContent.startsWith('live');",
                               10000)
                     .isNull());
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "test_web.moc"
