#include "bench-plant/bench_plant_web.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "bench-plant/bench_plant.h"
#include "pg/connection.h"
#include "database/migrations.h"
#include "tests/support/browser_rig.h"
#include "tests/support/pg_server.h"
#include "tests/support/process_figures.h"

namespace bench {

namespace {

constexpr int kPushes = 20;
constexpr double kFirstPageS = 1.0, kLatencyP95S = 0.25, kIdleCpu = 0.01;
constexpr int kStreams = 200, kOtherPages = 99, kIdleSeconds = 60;

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// A page as the service sees it, without a browser: its own event stream,
// and at each "figures" its view fetched on a connection kept open.
class PageClient {
public:
    explicit PageClient(int port, bool fetch) : fetch_(fetch) {
        for (QTcpSocket* s : {&events_, &view_})
            s->connectToHost(QHostAddress::LocalHost, quint16(port));
        events_.write("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QObject::connect(&events_, &QTcpSocket::readyRead, [this] { onEvents(); });
        QObject::connect(&view_, &QTcpSocket::readyRead, [this] { onView(); });
    }
    QList<qint64> viewedAt;  // when each view after a "figures" was in, ms since 1970

private:
    void onEvents() {
        buffer_ += events_.readAll();
        for (qsizetype end; (end = buffer_.indexOf("\n\n")) >= 0; buffer_.remove(0, end + 2))
            if (fetch_ && buffer_.left(end).contains("event: figures")) ask();
    }
    void ask() {
        if (waiting_) return void(again_ = true);
        waiting_ = true;
        answer_.clear();
        view_.write("GET /api/v1/plant HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    void onView() {
        answer_ += view_.readAll();
        const qsizetype head = answer_.indexOf("\r\n\r\n");
        const qsizetype at = answer_.indexOf("Content-Length: ");
        if (head < 0 || at < 0) return;
        const qint64 length =
            answer_.mid(at + 16, answer_.indexOf("\r\n", at) - at - 16).toLongLong();
        if (answer_.size() < head + 4 + length) return;
        viewedAt << nowMs();
        waiting_ = false;
        if (again_) again_ = false, ask();
    }

    bool fetch_;
    QTcpSocket events_, view_;
    QByteArray buffer_, answer_;
    bool waiting_ = false, again_ = false;
};

int threadsOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("Threads:")) return l.mid(8).trimmed().toInt();
    return -1;
}

double percentile(QList<double> v, double p) {
    if (v.isEmpty()) return -1;
    std::sort(v.begin(), v.end());
    return v[qMin<qsizetype>(v.size() - 1, qsizetype(p * (v.size() - 1) + 0.5))];
}

bool row(const char* what, double value, const char* unit, double target) {
    const bool met = target <= 0 || value < target;
    std::printf("  %-60s %9.3f %-3s", what, value, unit);
    if (target > 0) std::printf(" target < %.3g%s", target, met ? "" : "  MISSED");
    std::printf("\n");
    std::fflush(stdout);
    return met;
}

// The page's figures drawn for view seq, ms since 1970 (the page's clock is
// this machine's); -1 when not within 10 s.
double drawnAt(testsupport::Browser& b, int after) {
    const QJsonValue seq = b.waitFor(
        QStringLiteral("const s = +document.documentElement.dataset.drawn; return s > %1 ? s : 0;")
            .arg(after),
        10000);
    if (seq.isNull()) return -1;
    return b
        .script(QStringLiteral("return performance.timeOrigin + "
                               "performance.getEntriesByName('drawn-%1')[0].startTime;")
                    .arg(seq.toInt()))
        .toDouble();
}

int drawnSeq(testsupport::Browser& b) {
    return b.script("return +document.documentElement.dataset.drawn || 0;").toInt();
}

// First page complete: navigation start to the figures drawn, ms.
double firstPage(testsupport::Browser& b, const QString& url) {
    b.go(url);
    if (b.waitFor("return document.documentElement.dataset.drawn;", 60000).isNull()) return -1;
    return b
        .script(
            "return performance.getEntriesByType('mark').find("
            "(m) => m.name.startsWith('drawn-')).startTime;")
        .toDouble();
}

// kPushes pushes, each a committed INSERT as a station makes it: the
// browser page's commit-to-drawn times, and the clients'.
// Where a push's time went: commit to the page's hearing of it (the
// service's read, the event), the view's fetch, its drawing.
struct Parts {
    QList<double> heard, fetch, draw;
};

bool latencies(const testsupport::PgServer& pg, testsupport::Browser& b,
               const QList<std::shared_ptr<PageClient>>& clients, QList<double>* page,
               QList<double>* others, QList<double>* reads, Parts* parts) {
    quarn::pg::Connection station;
    QString why;
    if (!station.open(quarn::pg::parseDatabaseUrl(pg.url()), &why)) return false;
    for (int i = 0; i < kPushes; ++i) {
        const int seq = drawnSeq(b);
        QList<qsizetype> seen;
        for (const auto& c : clients) seen << c->viewedAt.size();
        QSqlQuery q(station.db());
        if (!q.exec(QStringLiteral("INSERT INTO quarn_sessions (id, started, station, serial, slot,"
                                   " outcome) VALUES (gen_random_uuid(), now(), 'station-0',"
                                   " 'WEB-%1-%2', 'slot-0', 'good')")
                        .arg(nowMs())
                        .arg(i)))
            return false;
        const qint64 committed = nowMs();
        const double drawn = drawnAt(b, seq);
        if (drawn < 0) return std::fprintf(stderr, "quarn-bench: push %d not drawn\n", i), false;
        *page << (drawn - committed) / 1000.0;
        *reads << b.script("return plant.view.read_ms;").toDouble() / 1000.0;
        const QJsonObject t =
            b.script(QStringLiteral("const d = performance.getEntriesByName('drawn-' + "
                                    "plant.seq)[0].startTime; return {heard: "
                                    "performance.timeOrigin + plant.timing.heard, fetch: "
                                    "plant.timing.fetched - plant.timing.asked, draw: d - "
                                    "plant.timing.fetched};"))
                .toObject();
        parts->heard << (t["heard"].toDouble() - committed) / 1000.0;
        parts->fetch << t["fetch"].toDouble() / 1000.0;
        parts->draw << t["draw"].toDouble() / 1000.0;
        QTest::qWait(300);  // the clients' fetches in
        for (qsizetype k = 0; k < clients.size(); ++k)
            if (clients[k]->viewedAt.size() > seen[k])
                *others << (clients[k]->viewedAt[seen[k]] - committed) / 1000.0;
    }
    return true;
}

bool pushFigures(const testsupport::PgServer& pg, testsupport::Browser& b, const QString& url,
                 int pages, int port) {
    QList<std::shared_ptr<PageClient>> clients;
    for (int i = 1; i < pages; ++i) clients << std::make_shared<PageClient>(port, true);
    b.go(url);
    b.waitFor("return document.documentElement.dataset.drawn;", 60000);
    QTest::qWait(1000);
    QList<double> page, others, reads;
    Parts parts;
    if (!latencies(pg, b, clients, &page, &others, &reads, &parts)) return false;
    bool met = true;
    const QByteArray n = QByteArray::number(pages);
    row("the service's read of the view after a push, " + n + " page(s): median",
        percentile(reads, 0.5), "s", 0);
    row("push to the page's hearing of it (read, event): median", percentile(parts.heard, 0.5), "s",
        0);
    row("the page's fetch of its view: median", percentile(parts.fetch, 0.5), "s", 0);
    row("the page's drawing of its view: median", percentile(parts.draw, 0.5), "s", 0);
    met &= row("push to the browser's page drawn, " + n + " page(s): median", percentile(page, 0.5),
               "s", 0);
    met &= row("push to the browser's page drawn, " + n + " page(s): 95th percentile",
               percentile(page, 0.95), "s", kLatencyP95S);
    if (!others.isEmpty()) {
        row("push to the view fetched, the other pages: median", percentile(others, 0.5), "s", 0);
        row("push to the view fetched, the other pages: 95th percentile", percentile(others, 0.95),
            "s", 0);
    }
    return met;
}

bool streamFigures(qint64 pid, int port) {
    const qint64 before = testsupport::residentKb(pid);
    const int threadsBefore = threadsOf(pid);
    QList<std::shared_ptr<PageClient>> streams;
    for (int i = 0; i < kStreams; ++i) streams << std::make_shared<PageClient>(port, false);
    QTest::qWait(2000);
    row("resident memory, no stream open", before / 1024.0, "MB", 0);
    row("resident memory, 200 streams open", testsupport::residentKb(pid) / 1024.0, "MB", 0);
    row("threads, no stream open", threadsBefore, "", 0);
    row("threads, 200 streams open", threadsOf(pid), "", 0);
    const double cpu = testsupport::cpuSecondsOf(pid);
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(kIdleSeconds * 1000);
    return row("CPU share of one core, 200 idle streams, over a minute",
               (testsupport::cpuSecondsOf(pid) - cpu) / (idle.elapsed() / 1000.0), "", kIdleCpu);
}

}  // namespace

int runPlantWebBench(bool checkTargets, int rows) {
    std::printf(
        "quarn-bench --plant-web: a PostgreSQL server of its own (fsync on), %d rows, 20 "
        "stations over 30 days; quarn-plant-web; headless chromium\n",
        rows);
    testsupport::PgServer pg(true);
    const QString made =
        pg.ok() ? pg.sql(quarn::database::schemaScript()) : "ERROR";
    PlantBenchOptions fillOptions;
    fillOptions.recordsPath = QStringLiteral(QUARN_RECORDS_PATH);
    fillOptions.rows = rows;
    if (made.contains(QLatin1String("ERROR")) || !fillPlant(pg, fillOptions, true) ||
        (rows > kBaseRows && !fillPlant(pg, fillOptions, false)))
        return std::fprintf(stderr, "quarn-bench: no server: %s\n", qPrintable(pg.error())), 1;
    testsupport::WebService web(QStringLiteral(QUARN_PLANT_WEB_PATH), pg.url());
    if (!web.start()) return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(web.output())), 1;
    testsupport::Browser browser;
    if (!browser.ok())
        return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(browser.error())), 1;
    QTest::qWait(3000);  // the service's first read of its default view
    bool met = true;
    QList<double> kept;
    for (int i = 0; i < 5; ++i) kept << firstPage(browser, web.url("/")) / 1000.0;
    met &= row("first page complete, today (the view the service keeps), median of 5",
               percentile(kept, 0.5), "s", kFirstPageS);
    met &= row("first page complete, the last 30 days asked for the first time",
               firstPage(browser, web.url("/?period=30d")) / 1000.0, "s", kFirstPageS);
    met &= row("first page complete, the last 30 days again",
               firstPage(browser, web.url("/?period=30d")) / 1000.0, "s", kFirstPageS);
    met &= pushFigures(pg, browser, web.url("/"), 1, web.port());
    met &= pushFigures(pg, browser, web.url("/"), 1 + kOtherPages, web.port());
    met &= streamFigures(web.pid(), web.port());
    return met || !checkTargets ? 0 : 1;
}

}  // namespace bench
