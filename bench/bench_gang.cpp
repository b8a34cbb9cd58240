// quarn-bench --gang: quarn-flash, started as a child process, loads the full
// image (Download_length 32767: 512 blocks) into N units at once, each a unit
// simulator on its own pseudo-terminal in this process. Per run it prints the
// worst unit's transfer time over its wire time (as the simulator times them),
// quarn-flash's CPU time as a share of one core over its run, its peak
// resident memory (from wait4), its wall time, and how many images came out
// exactly as the file.

#include "bench/bench_gang.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "sim/unit_sim.h"

extern char** environ;

namespace bench {

namespace {

constexpr int kLength = 32767;
constexpr int kFileBytes = 32768;
// Targets at 16 paced units.
constexpr double kRatioTarget = 1.03;
constexpr double kCpuTarget = 0.08;
constexpr double kRssTargetMB = 80;

struct GangRun {
    bool ok = false;
    QString problem;
    int exitStatus = -1;
    double worstRatio = 0;
    double worstTransfer = 0;
    double cpuSeconds = 0;
    double cpuShare = 0;
    double peakMB = 0;
    double wallSeconds = 0;
    int goodImages = 0;
};

// Each unit's image and times, from its simulator, into the run's figures.
void judge(const std::vector<std::unique_ptr<sim::UnitSim>>& sims, const sim::Bytes& image,
           int units, GangRun* out) {
    GangRun& run = *out;
    for (const auto& s : sims) {
        const std::vector<sim::SessionSummary> done = s->sessions();
        if (done.size() != 1) continue;
        if (done[0].image == image) ++run.goodImages;
        run.worstTransfer = std::max(run.worstTransfer, done[0].transferSeconds);
        if (done[0].wireSeconds > 0)
            run.worstRatio =
                std::max(run.worstRatio, done[0].transferSeconds / done[0].wireSeconds);
    }
    run.ok = run.exitStatus == 0 && run.goodImages == units;
    if (!run.ok)
        run.problem = QStringLiteral("exit %1, %2 of %3 images right")
                          .arg(run.exitStatus)
                          .arg(run.goodImages)
                          .arg(units);
}

GangRun runOnce(const GangOptions& o, int units, int baud, const QTemporaryDir& dir,
                const QString& file, const sim::Bytes& image) {
    GangRun run;
    std::vector<std::unique_ptr<sim::UnitSim>> sims;
    QList<QByteArray> args{
        o.flashPath.toLocal8Bit(),  "-q", "--no-log", "--file", file.toLocal8Bit(), "--length",
        QByteArray::number(kLength)};
    for (int i = 0; i < units; ++i) {
        sim::Config c;
        c.baud = baud;
        c.symlink = dir.filePath(QStringLiteral("unit%1-%2").arg(units).arg(i)).toStdString();
        sims.push_back(std::make_unique<sim::UnitSim>(c));
        std::string error;
        if (!sims.back()->start(&error)) {
            run.problem = QString::fromStdString("simulator: " + error);
            return run;
        }
        args << "-p" << QByteArray::fromStdString(c.symlink);
    }
    std::vector<char*> argv;
    for (QByteArray& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        run.problem = QStringLiteral("cannot start %1").arg(o.flashPath);
        return run;
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wallSeconds = wall.nsecsElapsed() / 1e9;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    run.cpuSeconds = cpu;
    run.cpuShare = cpu / run.wallSeconds;
    run.peakMB = usage.ru_maxrss / 1024.0;

    judge(sims, image, units, &run);
    return run;
}

}  // namespace

int runGang(const GangOptions& o) {
    QTemporaryDir dir;
    QByteArray data(kFileBytes, Qt::Uninitialized);
    std::mt19937 rng(11);
    for (char& c : data) c = static_cast<char>(rng());
    const QString file = dir.filePath(QStringLiteral("image.bin"));
    QFile f(file);
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
        std::fprintf(stderr, "quarn-bench: cannot write the download file\n");
        return 1;
    }
    f.close();
    const sim::Bytes image = sim::expectedImage(sim::Bytes(data.begin(), data.end()), kLength);

    std::printf(
        "\nGang: quarn-flash, full image (Download_length %d, 512 blocks) into N units at once\n",
        kLength);
    std::printf(
        "targets at 16 paced units: transfer/wire <= %.2f, CPU < %.0f %% of one core, peak < %.0f "
        "MB\n",
        kRatioTarget, kCpuTarget * 100, kRssTargetMB);
    std::printf("%-6s %-10s %-11s %-15s %-7s %-12s %-9s %-7s %s\n", "units", "pacing", "transfer s",
                "transfer/wire", "CPU s", "CPU (1 core)", "peak RSS", "wall s", "images right");
    std::printf("%-6s %-10s %-11s %-15s\n", "", "", "(worst)", "(worst)");
    bool failed = false;
    auto one = [&](int units, int baud) {
        const GangRun r = runOnce(o, units, baud, dir, file, image);
        const QString ratio = baud ? QString::number(r.worstRatio, 'f', 3) : QStringLiteral("-");
        std::printf("%-6d %-10s %-11.2f %-15s %-7.2f %-12s %-9s %-7.1f %d of %d%s\n", units,
                    baud ? "9600 bit/s" : "none", r.worstTransfer, qPrintable(ratio), r.cpuSeconds,
                    qPrintable(QString::number(r.cpuShare * 100, 'f', 2) + " %"),
                    qPrintable(QString::number(r.peakMB, 'f', 1) + " MB"), r.wallSeconds,
                    r.goodImages, units, r.ok ? "" : qPrintable("  FAILED: " + r.problem));
        std::fflush(stdout);
        if (!r.ok) failed = true;
        if (baud && units == 16 && o.checkTargets &&
            (r.worstRatio > kRatioTarget || r.cpuShare >= kCpuTarget || r.peakMB >= kRssTargetMB)) {
            std::printf("       16 units: a target was missed\n");
            failed = true;
        }
    };
    for (int n : o.paced) one(n, 9600);
    for (int n : o.unpaced) one(n, 0);
    return failed ? 1 : 0;
}

}  // namespace bench
