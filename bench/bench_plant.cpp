#include "bench/bench_plant.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <cstdio>

#include "bench/server_statements.h"
#include "database/connection.h"
#include "database/schema.h"
#include "plant/plant_window.h"
#include "tests/support/pg_server.h"

namespace bench {

namespace {

constexpr int kBaseRows = 1000000;  // the size every other is compared with
constexpr int kStations = 20;
constexpr int kDays = 30;
constexpr double kRefreshS = 0.5, kPushToScreenS = 1.0;
constexpr int kPushes = 5;

// The first view's target: 1 s up to 10 million rows, 1.5 s beyond.
double firstViewTarget(int rows) { return rows > 10000000 ? 1.5 : 1.0; }

// Rows over the last 30 days up to now, 20 stations of 16 sockets, a serial
// number each, every seventh a failure at some block: row i of `total`
// starts (total - i) / total of the 30 days before now. The rows at every
// k-th i (k = total / 1,000,000) make the first million; the rest come after. The triggers are off
// while they go in (first_pass is known: one session per serial number);
// the summaries are then counted from the rows once. The server still keeps
// each statement's rows for the statement triggers it will not fire, in
// temporary files, so the rest go in statements of kChunk rows: a single
// one of 49 million held some 15 GB of them until its end.
// The months' partitions made first, so the rows land in their months, as
// pushes leave them, not in the table's default partition.
constexpr qint64 kChunk = 5000000;
const char* const kMonths =
    "SELECT quarn_sessions_months(ARRAY(SELECT generate_series(date_trunc('month', now() -"
    " interval '%1 days', 'UTC'), now(), interval '1 month')))";
const char* const kInsert =
    "INSERT INTO quarn_sessions (id, started, seconds, station, operator, serial, slot, port,"
    " device, file, length, bytes, blocks, repeats, sha256, image_sha256, outcome, message,"
    " version, first_pass) SELECT gen_random_uuid(),"
    " now() - (%3 * 86400.0 * (%2 - i) / %2) * interval '1 second',"
    " 4 + n % 5, 'station-' || (n % %1), 'ann', 'SN-' || i, '/dev/serial/by-path/slot-' || (n / "
    "%1) % 16, 'COM1', '/dev/ttyUSB0', '/srv/fw/qx200.bin', 2000, 2048, 32, n % 3, repeat('a', "
    "64), repeat('a', 64), CASE WHEN n % 7 = 0 THEN 'transfer' ELSE 'good' END,"
    " CASE WHEN n % 7 = 0 THEN 'No reply at block ' || n % 32 || ' of 32' ELSE '' END, '1.1.0', "
    "true FROM %4";

// i: the row's place in time; n = i / k its station, socket and outcome, so
// that the first million alone has every station, socket and stage.
QStringList fillStatements(qint64 total, bool first) {
    const qint64 k = total / kBaseRows;
    const auto insert = [&](const QString& from) {
        return QString::fromLatin1(kInsert).arg(kStations).arg(total).arg(kDays).arg(from);
    };
    QStringList out{QString::fromLatin1(kMonths).arg(kDays),
                    QStringLiteral("SET session_replication_role = replica")};
    if (first)
        out << insert(QStringLiteral("(SELECT g::bigint * %1 AS i, g AS n FROM generate_series(1,"
                                     " %2) g) s")
                          .arg(k)
                          .arg(kBaseRows));
    for (qint64 lo = 1; !first && lo <= total; lo += kChunk)
        out << insert(QStringLiteral("(SELECT i, i / %3 AS n FROM generate_series(%1::bigint, %2)"
                                     " i WHERE i % %3 <> 0 OR i > %3::bigint * %4) s")
                          .arg(lo)
                          .arg(qMin(total, lo + kChunk - 1))
                          .arg(k)
                          .arg(kBaseRows));
    return out << QStringLiteral("RESET session_replication_role");
}

// ratio: the figure over the same at the first million rows (none when < 0).
bool row(const char* what, double value, double target, double ratio) {
    const bool met = value < target;
    std::printf("  %-52s %8.3f s   target < %.1f s%s", what, value, target, met ? "" : "  MISSED");
    if (ratio >= 0) std::printf("   x%.2f of %d rows", ratio, kBaseRows);
    std::printf("\n");
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

// The rows of the layer in, the summaries counted again from every row, on
// a connection of the bench's own (psql's runs are cut at a minute); then
// vacuumed, as the server's autovacuum would soon do (its run on millions
// of new rows would otherwise fall into the figures). False (said) on an
// error.
bool fill(const testsupport::PgServer& pg, int total, bool first) {
    QElapsedTimer clock;
    clock.start();
    if (!runOnServer(pg, fillStatements(total, first) + quarn::records::summaryRefillStatements() +
                             QStringList{QStringLiteral("VACUUM ANALYZE")}))
        return false;
    std::printf(" %s rows in, summaries counted, vacuumed: %.1f s\n",
                first ? "the first" : "the other", clock.nsecsElapsed() / 1e9);
    std::fflush(stdout);
    return true;
}

const std::pair<const char*, quarn::plant::Period> kPeriods[] = {
    {"the last 30 days (every row)", quarn::plant::Period::Last30Days},
    {"today", quarn::plant::Period::Today}};

// Each period's figures at `rows`, beside those of `base` (none: empty).
bool measureAll(const testsupport::PgServer& pg, int rows, const QList<Figures>& base,
                QList<Figures>* out) {
    bool met = true;
    for (const auto& [name, period] : kPeriods) {
        quarn::plant::PlantSelection s;
        s.period = period;
        const Figures f = measure(pg, s);
        if (f.firstView < 0)
            return std::fprintf(stderr, "quarn-bench: the window showed nothing\n"), false;
        const Figures b = base.value(out->size(), Figures{-1, -1, -1});
        const auto ratio = [](double v, double of) { return of > 0 ? v / of : -1; };
        std::printf(" %s, %d rows:\n", name, rows);
        met &= row("first full view (window made to figures shown)", f.firstView,
                   firstViewTarget(rows), ratio(f.firstView, b.firstView));
        met &= row("refresh after a push (the worker's read, worst of 5)", f.refresh, kRefreshS,
                   ratio(f.refresh, b.refresh));
        met &= row("push to screen (commit to figures shown, worst of 5)", f.pushToScreen,
                   kPushToScreenS, ratio(f.pushToScreen, b.pushToScreen));
        *out << f;
        std::fflush(stdout);
    }
    return met;
}

}  // namespace

bool fillPlant(const testsupport::PgServer& pg, int total, bool first) {
    return fill(pg, total, first);
}

int runPlantBench(bool checkTargets, int rows) {
    rows = qMax(rows, kBaseRows);
    std::printf(
        "quarn-bench --plant: a PostgreSQL server of its own (fsync on), %d rows, %d "
        "stations over %d days\n",
        rows, kStations, kDays);
    testsupport::PgServer pg(true);
    if (!pg.ok())
        return std::fprintf(stderr, "quarn-bench: no server: %s\n", qPrintable(pg.error())), 1;
    const QString made = pg.sql(quarn::records::schemaStatements().join(QString()));
    if (made.contains(QLatin1String("ERROR")))
        return std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(made)), 1;
    QList<Figures> base, figures;
    if (!fill(pg, rows, true)) return 1;
    bool met = true;
    if (rows > kBaseRows) {
        // The same figures at the first million, for the ratios.
        met &= measureAll(pg, kBaseRows, {}, &base);
        if (!fill(pg, rows, false)) return 1;
    }
    met &= measureAll(pg, rows, base, &figures);
    return met || !checkTargets ? 0 : 1;
}

}  // namespace bench
