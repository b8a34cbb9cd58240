// quarn-plant-screenshot OUTDIR: quarn-plant's window over a day of three
// stations of eight sockets on a PostgreSQL server of its own, one socket of
// line-2 failing far more than its neighbours and line-3 quiet for 25
// minutes; saved as OUTDIR/plant.png. Run under Xvfb by scripts/screenshots.sh.

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "database/migrations.h"
#include "plant/plant_window.h"
#include "tests/support/pg_server.h"

namespace {

// Six hours of sessions, one a minute per station; line-2's slot 5 fails
// two in five, the other sockets one in twelve; causes from every stage.
const char* const kRows =
    "INSERT INTO quarn_sessions (id, started, seconds, station, serial, slot, outcome, message)"
    " SELECT gen_random_uuid(), now() - (360 - m) * interval '1 minute' - s * interval '7 s'"
    "   - CASE WHEN s = 3 THEN interval '25 minutes' ELSE interval '0' END,"
    " 12 + (m % 3), 'line-' || s, 'QX2-' || s || '-' || m,"
    " '/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.' || (m % 8 + 1) || ':1.0-port0',"
    " CASE WHEN (s = 2 AND m % 8 = 4 AND m / 8 % 5 < 2) OR (m / 8 + s + m % 8) % 12 = 0 THEN"
    "   (ARRAY['transfer','transfer','handshake','login','port'])[1 + (m + s) % 5] ELSE 'good' END,"
    " 'No reply at block ' || (1 + (m * s) % 4) * 16 || ' of 128'"
    " FROM generate_series(1, 3) s, generate_series(0, 359) m"
    " WHERE s <> 3 OR m < 335";

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) return std::fputs("usage: quarn-plant-screenshot OUTDIR\n", stderr), 2;
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).filePath("plant.png");
    testsupport::PgServer pg;
    if (!pg.ok()) return std::fprintf(stderr, "%s\n", qPrintable(pg.error())), 1;
    QString made = pg.sql(quarn::database::schemaScript());
    made += pg.sql(QString::fromLatin1(kRows));  // after the schema
    if (made.contains(QLatin1String("ERROR")))
        return std::fprintf(stderr, "%s\n", qPrintable(made)), 1;
    quarn::plantfeed::FeedSettings settings;
    settings.databaseUrl = pg.url();
    quarn::plantfeed::PlantFeed feed(settings, {});
    quarn::plant::PlantWindow window(feed, {});
    QSignalSpy shown(&window, &quarn::plant::PlantWindow::shown);
    window.resize(1200, 860);
    window.show();
    if (!shown.wait(20000) ||
        !QTest::qWaitFor(
            [&] { return window.state().mode == quarn::plantfeed::FeedState::Mode::Live; }, 10000))
        return std::fputs("the window showed no figures\n", stderr), 1;
    window.findChild<QTabWidget*>()->setCurrentIndex(2);  // the sockets, one flagged
    QTest::qWait(500);  // the charts' animations and the window manager settle
    if (!window.grab().save(out, "PNG"))
        return std::fprintf(stderr, "cannot write %s\n", qPrintable(out)), 1;
    std::printf("%s\n", qPrintable(out));
    return 0;
}
