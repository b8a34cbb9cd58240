#include "bench/bench_records.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "approval/approved_images.h"
#include "bench/bench_recall.h"
#include "tests/support/pg_server.h"

namespace bench {

namespace {

constexpr int kPushRecords = 100000;
constexpr int kReportRows = 1000000;
constexpr int kStations = 8;
constexpr double kPushTargetPerS = 5000;
constexpr double kReportTargetS = 1.0;
constexpr int kApprovedImages = 200;
constexpr int kCheckRuns = 21;
constexpr double kCheckTargetMs = 50;
constexpr int kReportRuns = 5;

// The rest of the million rows, made on the server: the push is measured
// already, and sending 900,000 more would only take time.
const char* const kFill =
    "INSERT INTO quarn_sessions (id, started, seconds, station, operator, serial, slot, port,"
    " device, file, length, bytes, blocks, repeats, sha256, image_sha256, outcome, message,"
    " version, first_pass) SELECT gen_random_uuid(), timestamptz '2026-11-01' + i * interval '1 "
    "second',"
    " 4 + i % 5, 'station-' || (i % %1), 'ann', 'SN-' || i, '/dev/serial/by-id/usb-x', 'COM1',"
    " '/dev/ttyUSB0', '/srv/fw/qx200.bin', 2000, 2048, 32, i % 3, repeat('a', 64),"
    " repeat('a', 64), CASE WHEN i % 7 = 0 THEN 'transfer' ELSE 'good' END, '', '1.1.0', true"
    " FROM generate_series(1, %2) i; ANALYZE quarn_sessions";

// Runs quarn-records; the wall time in seconds, or -1 when it failed.
double timed(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "quarn-bench: quarn-records %s failed: %s\n",
                     qPrintable(args.join(' ')), p.readAllStandardError().constData());
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    return clock.nsecsElapsed() / 1e9;
}

bool row(const char* what, double value, const char* unit, bool met, const QString& target) {
    std::printf("  %-44s %10.3f %-10s target %s%s\n", what, value, unit, qPrintable(target),
                met ? "" : "  MISSED");
    return met;
}

// The check a download makes before any port opens, in this process as the
// front ends call it: connect, read the approved list of 200 images, keep
// its copy. The median of the runs in ms, or -1 when an image was refused.
double approvalCheckMs(const testsupport::PgServer& pg, const QString& folder) {
    pg.sql(QStringLiteral("INSERT INTO quarn_images (sha256, length, file, title)"
                          " SELECT encode(sha256(i::text::bytea), 'hex'), 2000, 'fw-' || i || "
                          "'.bin', 'QX-200' FROM generate_series(1, %1) i")
               .arg(kApprovedImages));
    const QString sha = pg.sql(QStringLiteral("SELECT encode(sha256('7'::bytea), 'hex')"));
    QList<double> runs;
    for (int i = 0; i < kCheckRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        const quarn::records::ApprovalCheck c = quarn::records::checkImageApproval(
            pg.url(), sha, folder + QStringLiteral("/approved-images.json"));
        if (!c.allowed() || !c.warning.isEmpty()) return -1;
        runs << clock.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    return runs[kCheckRuns / 2];
}

}  // namespace

int runRecordsBench(const RecordsOptions& o) {
    std::printf("quarn-bench --records: a PostgreSQL server of its own (fsync on), Unix socket\n");
    testsupport::PgServer pg(true);
    QTemporaryDir dir;
    if (!pg.ok() || !dir.isValid())
        return std::fprintf(stderr, "quarn-bench: no server: %s\n", qPrintable(pg.error())), 1;
    const QString log = dir.filePath(QStringLiteral("sessions.jsonl"));
    QFile f(log);
    const QByteArray lines = testsupport::sampleRecords(kPushRecords, kStations);
    if (!f.open(QIODevice::WriteOnly) || f.write(lines) != lines.size()) return 1;
    f.close();

    const double pushS = timed(o.recordsPath, {"push", "--db", pg.url(), "--log", log});
    if (pushS < 0) return 1;
    bool met = row("push of 100,000 records", kPushRecords / pushS, "records/s",
                   kPushRecords / pushS >= kPushTargetPerS, QStringLiteral(">= 5000"));

    const double checkMs = approvalCheckMs(pg, dir.path());
    if (checkMs < 0) return std::fprintf(stderr, "quarn-bench: the approval check failed\n"), 1;
    met &= row("approval check, 200 images listed (median)", checkMs, "ms",
               checkMs < kCheckTargetMs, QStringLiteral("< 50 ms"));

    pg.sql(QString::fromLatin1(kFill).arg(kStations).arg(kReportRows - kPushRecords));
    const int total = pg.sql(QStringLiteral("SELECT count(*) FROM quarn_sessions")).toInt();
    QList<double> runs;
    for (int i = 0; i < kReportRuns; ++i)
        runs << timed(o.recordsPath, {"report", "--db", pg.url(), "--by", "station"});
    std::sort(runs.begin(), runs.end());
    if (runs.first() < 0 || total != kReportRows)
        return std::fprintf(stderr, "quarn-bench: %d rows, not %d\n", total, kReportRows), 1;
    met &= row("report --by station over 1,000,000 rows (median)", runs[kReportRuns / 2], "s",
               runs[kReportRuns / 2] < kReportTargetS, QStringLiteral("< 1 s"));
    std::printf(
        "  (report runs: min %.3f s, max %.3f s; the program's start and connection included)\n",
        runs.first(), runs.last());
    met &= runRecallBench(pg);
    return met || !o.checkTargets ? 0 : 1;
}

}  // namespace bench
