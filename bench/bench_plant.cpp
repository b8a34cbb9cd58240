#include "bench/bench_plant.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <cstdio>

#include "plant/plant_window.h"
#include "database/connection.h"
#include "database/schema.h"
#include "tests/support/pg_server.h"

namespace bench {

namespace {

constexpr int kRows = 1000000;
constexpr int kStations = 20;
constexpr int kDays = 30;
constexpr double kFirstViewS = 2.0, kRefreshS = 0.5, kPushToScreenS = 1.0;
constexpr int kPushes = 5;

// A million rows over the last 30 days up to now, 20 stations of 16
// sockets, a serial number each, every seventh a failure at some block.
const char* const kFill =
    "INSERT INTO quarn_sessions (id, started, seconds, station, operator, serial, slot, port,"
    " device, file, length, bytes, blocks, repeats, sha256, image_sha256, outcome, message,"
    " version, first_pass) SELECT gen_random_uuid(),"
    " now() - (%3 * 86400.0 * (%2 - i) / %2) * interval '1 second',"
    " 4 + i % 5, 'station-' || (i % %1), 'ann', 'SN-' || i, '/dev/serial/by-path/slot-' || (i / "
    "%1) % 16, 'COM1', '/dev/ttyUSB0', '/srv/fw/qx200.bin', 2000, 2048, 32, i % 3, repeat('a', "
    "64), repeat('a', 64), CASE WHEN i % 7 = 0 THEN 'transfer' ELSE 'good' END,"
    " CASE WHEN i % 7 = 0 THEN 'No reply at block ' || i % 32 || ' of 32' ELSE '' END, '1.1.0', "
    "true FROM generate_series(1, %2) i; ANALYZE quarn_sessions";

bool row(const char* what, double value, double target) {
    const bool met = value < target;
    std::printf("  %-52s %8.3f s   target < %.1f s%s\n", what, value, target,
                met ? "" : "  MISSED");
    return met;
}

struct Figures {
    double firstView = -1, refresh = 0, pushToScreen = 0;  // the worst of the pushes
};

// One push as a station makes it: a batch of one row, committed; the time
// of the commit's start.
bool pushOne(quarn::records::Connection& c, int n, QElapsedTimer* clock) {
    QSqlDatabase& db = c.db();
    QSqlQuery q(db);
    if (!db.transaction()) return false;
    const bool ok =
        q.exec(QStringLiteral(
                   "INSERT INTO quarn_sessions (id, started, station, serial, slot, outcome) VALUES"
                   " (gen_random_uuid(), now(), 'station-0', 'BENCH-%1', 'slot-0', 'good')")
                   .arg(n));
    clock->start();
    return ok && db.commit();
}

Figures measure(const testsupport::PgServer& pg, const quarn::plant::PlantSelection& s) {
    Figures f;
    quarn::plant::FeedSettings settings;
    settings.databaseUrl = pg.url();
    QElapsedTimer clock;
    clock.start();
    quarn::plant::PlantFeed feed(settings, s);
    quarn::plant::PlantWindow window(feed, s);
    window.show();
    QSignalSpy shown(&window, &quarn::plant::PlantWindow::shown);
    if (!shown.wait(60000))
        return std::fprintf(stderr, "quarn-bench: %s\n",
                            qPrintable(quarn::plant::stateText(window.state(), 0))),
               f;
    f.firstView = clock.nsecsElapsed() / 1e9;
    if (!QTest::qWaitFor([&] { return window.state().mode == quarn::plant::FeedState::Mode::Live; },
                         10000)) {
        std::fprintf(stderr, "quarn-bench: %s\n",
                     qPrintable(quarn::plant::stateText(window.state(), 0)));
        return f.firstView = -1, f;
    }
    quarn::records::Connection station;
    QString why;
    if (!station.open(quarn::records::parseDatabaseUrl(pg.url()), &why)) return f;
    for (int i = 0; i < kPushes; ++i) {
        shown.clear();
        if (!pushOne(station, i, &clock) || !shown.wait(10000)) {
            std::fprintf(stderr, "quarn-bench: push %d not shown: %s\n", i,
                         qPrintable(station.db().lastError().text()));
            return f.firstView = -1, f;
        }
        f.pushToScreen = qMax(f.pushToScreen, clock.nsecsElapsed() / 1e9);
        f.refresh = qMax(f.refresh, window.view().readMs / 1e3);
    }
    return f;
}

}  // namespace

int runPlantBench(bool checkTargets) {
    std::printf(
        "quarn-bench --plant: a PostgreSQL server of its own (fsync on), %d rows, %d "
        "stations over %d days\n",
        kRows, kStations, kDays);
    testsupport::PgServer pg(true);
    if (!pg.ok())
        return std::fprintf(stderr, "quarn-bench: no server: %s\n", qPrintable(pg.error())), 1;
    QString made = pg.sql(quarn::records::schemaStatements().join(QString()));
    made += pg.sql(QString::fromLatin1(kFill).arg(kStations).arg(kRows).arg(kDays));
    if (made.contains(QLatin1String("ERROR")))
        return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(made)), 1;
    bool met = true;
    const std::pair<const char*, quarn::plant::Period> periods[] = {
        {"the last 30 days (every row)", quarn::plant::Period::Last30Days},
        {"today", quarn::plant::Period::Today}};
    for (const auto& [name, period] : periods) {
        quarn::plant::PlantSelection s;
        s.period = period;
        const Figures f = measure(pg, s);
        if (f.firstView < 0)
            return std::fprintf(stderr, "quarn-bench: the window showed nothing\n"), 1;
        std::printf(" %s:\n", name);
        met &= row("first full view (window made to figures shown)", f.firstView, kFirstViewS);
        met &= row("refresh after a push (the worker's read, worst of 5)", f.refresh, kRefreshS);
        met &= row("push to screen (commit to figures shown, worst of 5)", f.pushToScreen,
                   kPushToScreenS);
    }
    return met || !checkTargets ? 0 : 1;
}

}  // namespace bench
