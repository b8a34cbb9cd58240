// quarn-bench: speed and memory of whole download sessions.
//
// The download window runs its whole session in this process, with the
// program's real clock (250 ms ticks, 1 s delay), against the unit simulator
// started as a child process on a pseudo-terminal that COM1 is mapped to.
// Message boxes are answered at once by a handler; the end of the program is
// observed instead of ending the event loop.
//
// Figures, each printed beside its target:
//   fast    the full image (Download_length 32767: 512 blocks, 32768 bytes),
//           no pacing: the transfer as the simulator times it, the program's
//           CPU time and wall time for the whole session
//   paced   the same with the simulator pacing at 9600 bit/s: the transfer
//           against the line time of the bytes exchanged, CPU against wall time
//   memory  peak resident memory of a full-image session, and of a session in
//           which the unit floods the line with 50 MB instead of answering the
//           login; each case runs in a fresh process of this program, so that
//           each peak is that case's own
//   and whether the driver accepted the low-latency request for the port.
// Every good session's image, as the simulator wrote it, must equal the file.
//
// Exit status: 0 all well; 1 a target missed or a session went wrong; 2 usage;
// 3 a session hung past the hard limit.

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "app/forms.h"
#include "bench/bench_gang.h"
#include "bench-plant/bench_plant.h"
#include "bench-plant/bench_plant_web.h"
#include "bench-plant/bench_records.h"
#include "bench/bench_station.h"
#include "bench/sim_output.h"
#include "core/message_box.h"
#include "link/download_link.h"
#include "session/form24.h"
#include "tests/support/process_figures.h"
#include "tests/support/window_setup.h"
#include "ui/form_registry.h"
#include "ui/globals.h"

namespace {

const QString kEndMessage = QStringLiteral("Bench download complete.");
const QString kLoginBox = QStringLiteral("Login Error! - Please check connection and retry.");
constexpr int16_t kFullLength = 32767;  // sends 32768 bytes in 512 blocks
constexpr int kImageBytes = 32768;
constexpr qint64 kFloodBytes = 50LL * 1024 * 1024;
constexpr int kSessionLimitMs = 120 * 1000;  // soft: the window is closed
constexpr unsigned kHardLimitS = 150;        // hard: the process ends
constexpr int kSimStartMs = 5000;
constexpr int kSimReportMs = 5000;
constexpr int kChildLimitMs = 200 * 1000;

// Targets.
constexpr double kFastTransferS = 0.25;
constexpr double kFastCpuS = 0.5;
constexpr double kPacedTransferRatio = 1.02;
constexpr double kPacedCpuShare = 0.02;
constexpr double kFullPeakMB = 80;
constexpr double kFloodPeakMB = 100;

// ---------------------------------------------------------------------------
// Child processes: ended on every way out, a crash of this program included.

volatile sig_atomic_t g_simPid = 0;
volatile sig_atomic_t g_childPid = 0;

void killChildren() {
    if (g_simPid > 0) ::kill(g_simPid, SIGKILL);
    if (g_childPid > 0) ::kill(g_childPid, SIGKILL);
}

void onAlarm(int) {
    killChildren();
    static const char msg[] = "quarn-bench: a session hung past the hard limit\n";
    ssize_t n = ::write(2, msg, sizeof msg - 1);
    (void)n;
    _exit(3);
}

void onTerminate(int sig) {
    killChildren();
    _exit(128 + sig);
}

// The child dies with this process, even when this process is killed.
void dieWithParent(QProcess& proc) {
    const pid_t parent = ::getpid();
    proc.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) _exit(1);
    });
}

class SimProcess {
public:
    ~SimProcess() { stop(); }

    bool start(const QString& program, const QStringList& args, QString* error) {
        proc_.setProgram(program);
        proc_.setArguments(args);
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dieWithParent(proc_);
        QObject::connect(&proc_, &QProcess::readyReadStandardOutput,
                         [this] { out_.feed(proc_.readAllStandardOutput()); });
        proc_.start();
        if (!proc_.waitForStarted(kSimStartMs)) {
            *error = QStringLiteral("cannot start %1: %2").arg(program, proc_.errorString());
            return false;
        }
        g_simPid = static_cast<sig_atomic_t>(proc_.processId());
        QElapsedTimer t;
        t.start();
        while (out_.device().isEmpty()) {
            const int left = kSimStartMs - static_cast<int>(t.elapsed());
            if (left <= 0 || !proc_.waitForReadyRead(left)) {
                *error = QStringLiteral("the simulator printed no device line (%1)")
                             .arg(out_.otherLines().join(QStringLiteral(" | ")));
                return false;
            }
        }
        return true;
    }

    // Waits until the simulator has reported `count` complete sessions.
    bool waitForSessions(size_t count) {
        QElapsedTimer t;
        t.start();
        while (out_.sessions().size() < count) {
            const int left = kSimReportMs - static_cast<int>(t.elapsed());
            if (left <= 0 || !proc_.waitForReadyRead(left)) return out_.sessions().size() >= count;
        }
        return true;
    }

    void stop() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            if (!proc_.waitForFinished(2000)) {
                proc_.kill();
                proc_.waitForFinished(2000);
            }
        }
        g_simPid = 0;
    }

    const bench::SimOutput& output() const { return out_; }

private:
    QProcess proc_;
    bench::SimOutput out_;
};

// ---------------------------------------------------------------------------
// Measurements.

using testsupport::cpuSeconds;
using testsupport::peakKb;

struct Stat {
    double min = 0, median = 0;
    int n = 0;
};

Stat statOf(std::vector<double> v) {
    Stat s;
    s.n = static_cast<int>(v.size());
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    const size_t m = v.size() / 2;
    s.median = v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
    return s;
}

// ---------------------------------------------------------------------------
// Report.

bool g_checkTargets = true;
bool g_failed = false;

void fail(const QString& why) {
    std::fprintf(stderr, "quarn-bench: %s\n", qPrintable(why));
    std::fflush(stderr);
    g_failed = true;
}

void row(const QString& name, const QString& value, const QString& target,
         std::optional<bool> met) {
    QString verdict;
    if (met) {
        verdict = *met ? QStringLiteral("ok") : QStringLiteral("MISSED");
        if (!*met && g_checkTargets) g_failed = true;
    }
    const QString targetText =
        target.startsWith(QLatin1String("<=")) ? QStringLiteral("target ") + target : target;
    std::printf("%-34s %-24s %-24s %s\n", qPrintable(name), qPrintable(value),
                qPrintable(targetText), qPrintable(verdict));
    std::fflush(stdout);
}

QString num(double v, int decimals) { return QString::number(v, 'f', decimals); }

// "0.093 s" for one run, "0.093 / 0.095 s" (min / median) for several.
QString statText(const Stat& s, int decimals, const QString& unit) {
    if (s.n == 1) return num(s.median, decimals) + unit;
    return num(s.min, decimals) + QStringLiteral(" / ") + num(s.median, decimals) + unit;
}

void heading(const QString& text) {
    std::printf("\n%s\n", qPrintable(text));
    std::fflush(stdout);
}

// Targets are judged on the median of the runs.
void statRow(const QString& name, const std::vector<double>& values, int decimals,
             const QString& unit, const QString& target, std::function<bool(double)> meets) {
    if (values.empty()) {
        row(name, QStringLiteral("no good run"), target,
            meets ? std::optional<bool>(false) : std::nullopt);
        return;
    }
    const Stat s = statOf(values);
    row(name, statText(s, decimals, unit), target,
        meets ? std::optional<bool>(meets(s.median)) : std::nullopt);
}

// ---------------------------------------------------------------------------
// One session of the download window, in this process.

struct SessionResult {
    bool timedOut = false;
    int endCode = -1;  // the program's exit code when it ended, -1 when it goes on
    QStringList boxes;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    bool lowLatency = false;
    bool portOpen = false;
    QString lastReply;  // the receive monitor
};

bool g_showWindow = true;  // --hidden-window: what repainting the monitors costs

SessionResult runSession(const QString& file, int16_t length) {
    SessionResult r;
    testsupport::resetProgram();
    quarn::setLinkClock({250, 1000});
    quarn::setMsgBoxHandler([&r](const quarn::MsgBoxRequest& box) {
        r.boxes << box.prompt;
        return 1;
    });
    quarn::Form24* f = testsupport::loadDownloadWindow(
        {file, length, QStringLiteral("Quarn Bench"), kEndMessage, 1, g_showWindow});
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&r] {
        r.timedOut = true;
        if (quarn::Form24* w = quarn::form24IfLoaded()) w->Unload();
    });
    limit.start(kSessionLimitMs);
    ::alarm(kHardLimitS);

    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    f->Start_Download();
    r.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    r.cpuSeconds = cpuSeconds() - cpu0;

    ::alarm(0);
    limit.stop();
    r.endCode = testsupport::programEndCode();
    r.lowLatency = f->link.MSComm1.lowLatency();
    r.portOpen = f->link.MSComm1.portOpen();
    r.lastReply = f->lastResult().lastReply;
    quarn::setMsgBoxHandler(nullptr);
    return r;
}

// ---------------------------------------------------------------------------
// Set-up shared by the cases.

struct Options {
    int runs = 1;
    int pacedRuns = 1;
    int memoryRuns = 1;
    bool fast = true;
    bool paced = true;
    bool memory = true;
    QString child;  // "full" or "flood": one memory case in this (fresh) process
    QString simPath = QStringLiteral(QUARN_UNIT_SIM_PATH);
    int stationSlots = 0;     // --station N
    bool watchSoak = false;   // --watch-soak
    bool records = false;     // --records
    bool plant = false;       // --plant
    bool plantWeb = false;    // --plant-web
    int rows = 0;             // --rows: with --records or --plant, the table's size (0: a million)
    int stations = 0;         // --stations: with --records or --plant (0: the bench's own)
    int sockets = 0;          // --sockets: of each station, likewise
    QString plantView;        // --plant-view: the window's fresh process, on this database
    QString plantSince;       // --plant-since: its --since
    int soakSessions = 100;   // sessions per unit in the soak
    double swapSeconds = -1;  // --swap: with --station, units swapped this long after each session
    int swapUnits = 4;        // --swap-units: units per socket
};

struct Rig {
    QTemporaryDir dir;
    QString file;      // the download file
    QByteArray bytes;  // its contents, which are also the expected image
    QString link;      // COM1
    QString image;     // where the simulator writes each image
};

bool makeRig(Rig* rig) {
    if (!rig->dir.isValid()) return false;
    std::mt19937 gen(20240607);
    rig->bytes.resize(kImageBytes);
    for (char& c : rig->bytes) c = static_cast<char>(gen() & 0xFF);
    rig->file = rig->dir.filePath(QStringLiteral("download.bin"));
    QFile f(rig->file);
    if (!f.open(QIODevice::WriteOnly) || f.write(rig->bytes) != rig->bytes.size()) return false;
    rig->link = rig->dir.filePath(QStringLiteral("COM1"));
    rig->image = rig->dir.filePath(QStringLiteral("image.bin"));
    qputenv("QUARN_COM1", rig->link.toLocal8Bit());
    return true;
}

// The unit's idle reset (1000 ms by default) would race the program's own
// one-second delay between handshake and login; give it room.
QStringList simArgs(const Rig& rig, const QStringList& extra) {
    return QStringList{QStringLiteral("--link"),          rig.link,
                       QStringLiteral("--image"),         rig.image,
                       QStringLiteral("--idle-reset-ms"), QStringLiteral("5000")} +
           extra;
}

// What a good session must leave: only the end box, the program ended with 0.
QString goodSessionProblem(const SessionResult& r) {
    if (r.timedOut)
        return QStringLiteral("the session did not end within %1 s").arg(kSessionLimitMs / 1000);
    if (r.boxes != QStringList{kEndMessage})
        return QStringLiteral("boxes shown: [%1]").arg(r.boxes.join(QStringLiteral("] [")));
    if (r.endCode != 0) return QStringLiteral("the program did not end after the download");
    return QString();
}

QString imageProblem(const Rig& rig) {
    QFile f(rig.image);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("the simulator wrote no image");
    const QByteArray got = f.readAll();
    if (got == rig.bytes) return QString();
    qsizetype at = 0;
    while (at < got.size() && at < rig.bytes.size() && got[at] == rig.bytes[at]) ++at;
    return QStringLiteral("wrong image: %1 bytes, %2 expected, first difference at byte %3")
        .arg(got.size())
        .arg(rig.bytes.size())
        .arg(at);
}

struct GoodRuns {
    std::vector<double> transfer, wire, ratio, cpu, wall, cpuShare;
    int images = 0;
    int attempted = 0;
    std::optional<bool> lowLatency;
    QString device;
};

// Runs `runs` full-image sessions against one simulator started with `extra`.
GoodRuns runGoodSessions(const Rig& rig, const Options& o, const QStringList& extra, int runs) {
    GoodRuns g;
    SimProcess sim;
    QString error;
    if (!sim.start(o.simPath, simArgs(rig, extra), &error)) {
        fail(error);
        return g;
    }
    g.device = sim.output().device();
    for (int i = 0; i < runs; ++i) {
        ++g.attempted;
        QFile::remove(rig.image);
        const size_t before = sim.output().sessions().size();
        const SessionResult r = runSession(rig.file, kFullLength);
        if (!g.lowLatency) g.lowLatency = r.lowLatency;
        const QString problem = goodSessionProblem(r);
        if (!problem.isEmpty()) {
            fail(QStringLiteral("run %1: %2").arg(i + 1).arg(problem));
            continue;
        }
        if (!sim.waitForSessions(before + 1)) {
            fail(QStringLiteral("run %1: the simulator reported no complete session").arg(i + 1));
            continue;
        }
        const QString bad = imageProblem(rig);
        if (bad.isEmpty())
            ++g.images;
        else
            fail(QStringLiteral("run %1: %2").arg(i + 1).arg(bad));
        const bench::SimSession& s = sim.output().sessions()[before];
        g.transfer.push_back(s.transferSeconds);
        g.wire.push_back(s.wireSeconds);
        g.ratio.push_back(s.wireSeconds > 0 ? s.transferSeconds / s.wireSeconds : 0);
        g.cpu.push_back(r.cpuSeconds);
        g.wall.push_back(r.wallSeconds);
        g.cpuShare.push_back(r.cpuSeconds / r.wallSeconds);
    }
    return g;
}

void imageRow(const QString& name, const GoodRuns& g) {
    row(name, QStringLiteral("%1 of %2 correct").arg(g.images).arg(g.attempted),
        QStringLiteral("all correct"), std::nullopt);
}

QString runsText(int n) {
    return n == 1 ? QStringLiteral("1 run") : QStringLiteral("%1 runs, min / median").arg(n);
}

void benchFast(const Rig& rig, const Options& o, GoodRuns* out) {
    heading(QStringLiteral("Full image (512 blocks, 32768 bytes), pseudo-terminal, no pacing (%1)")
                .arg(runsText(o.runs)));
    GoodRuns g = runGoodSessions(rig, o, {}, o.runs);
    statRow(QStringLiteral("transfer (no pacing)"), g.transfer, 3, QStringLiteral(" s"),
            QStringLiteral("<= %1 s").arg(kFastTransferS),
            [](double v) { return v <= kFastTransferS; });
    statRow(QStringLiteral("CPU time, session (no pacing)"), g.cpu, 3, QStringLiteral(" s"),
            QStringLiteral("<= %1 s").arg(kFastCpuS), [](double v) { return v <= kFastCpuS; });
    statRow(QStringLiteral("wall time, session (no pacing)"), g.wall, 3, QStringLiteral(" s"),
            QString(), nullptr);
    imageRow(QStringLiteral("image (no pacing)"), g);
    *out = g;
}

void benchPaced(const Rig& rig, const Options& o, GoodRuns* out) {
    heading(QStringLiteral("Full image, simulator pacing at 9600 bit/s (%1)")
                .arg(runsText(o.pacedRuns)));
    GoodRuns g =
        runGoodSessions(rig, o, {QStringLiteral("--baud"), QStringLiteral("9600")}, o.pacedRuns);
    statRow(QStringLiteral("transfer (9600 bit/s)"), g.transfer, 3, QStringLiteral(" s"), QString(),
            nullptr);
    statRow(QStringLiteral("wire time of the bytes exchanged"), g.wire, 3, QStringLiteral(" s"),
            QString(), nullptr);
    statRow(QStringLiteral("transfer / wire time"), g.ratio, 4, QString(),
            QStringLiteral("<= %1").arg(kPacedTransferRatio),
            [](double v) { return v <= kPacedTransferRatio; });
    statRow(QStringLiteral("CPU time, session (9600 bit/s)"), g.cpu, 3, QStringLiteral(" s"),
            QString(), nullptr);
    statRow(QStringLiteral("wall time, session (9600 bit/s)"), g.wall, 3, QStringLiteral(" s"),
            QString(), nullptr);
    std::vector<double> percent;
    for (double s : g.cpuShare) percent.push_back(100 * s);
    statRow(QStringLiteral("CPU / wall time (9600 bit/s)"), percent, 2, QStringLiteral(" %"),
            QStringLiteral("<= %1 %").arg(100 * kPacedCpuShare),
            [](double v) { return v <= 100 * kPacedCpuShare; });
    imageRow(QStringLiteral("image (9600 bit/s)"), g);
    *out = g;
}

// ---------------------------------------------------------------------------
// Memory: one case per fresh process of this program.

// In the child: runs the case and prints "peak_kb N" and "result ok" or
// "result fail REASON" on standard output.
int runChildCase(const Rig& rig, const Options& o) {
    QStringList extra;
    if (o.child == QLatin1String("flood"))
        extra << QStringLiteral("--fault") << QStringLiteral("login:flood:%1").arg(kFloodBytes);
    SimProcess sim;
    QString error;
    QString problem;
    if (!sim.start(o.simPath, simArgs(rig, extra), &error)) {
        problem = error;
    } else {
        QFile::remove(rig.image);
        const SessionResult r = runSession(rig.file, kFullLength);
        if (o.child == QLatin1String("full")) {
            problem = goodSessionProblem(r);
            if (problem.isEmpty() && !sim.waitForSessions(1))
                problem = QStringLiteral("no session reported");
            if (problem.isEmpty()) problem = imageProblem(rig);
        } else if (r.timedOut) {
            problem =
                QStringLiteral("the session did not end within %1 s").arg(kSessionLimitMs / 1000);
        } else if (r.boxes != QStringList{kLoginBox}) {
            problem = QStringLiteral("boxes shown: [%1]").arg(r.boxes.join(QStringLiteral("] [")));
        } else if (r.endCode != -1 || r.portOpen) {
            problem = QStringLiteral("the window did not stay open with the port closed");
        } else if (r.lastReply != QLatin1String("55")) {
            problem = QStringLiteral("the login reply was %1, not the flood's 55").arg(r.lastReply);
        }
    }
    sim.stop();
    std::printf("peak_kb %lld\n", static_cast<long long>(peakKb()));
    if (problem.isEmpty())
        std::printf("result ok\n");
    else
        std::printf("result fail %s\n", qPrintable(problem));
    std::fflush(stdout);
    return problem.isEmpty() ? 0 : 1;
}

struct ChildResult {
    double peakMB = -1;
    bool ok = false;
    QString problem;
};

ChildResult runChild(const Options& o, const QString& which) {
    ChildResult c;
    QProcess proc;
    proc.setProgram(QCoreApplication::applicationFilePath());
    proc.setArguments({QStringLiteral("--child"), which, QStringLiteral("--sim"), o.simPath});
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dieWithParent(proc);
    proc.start();
    if (!proc.waitForStarted(kSimStartMs)) {
        c.problem = QStringLiteral("cannot start a child: %1").arg(proc.errorString());
        return c;
    }
    g_childPid = static_cast<sig_atomic_t>(proc.processId());
    if (!proc.waitForFinished(kChildLimitMs)) {
        proc.kill();
        proc.waitForFinished(2000);
        g_childPid = 0;
        c.problem = QStringLiteral("the child did not finish in %1 s").arg(kChildLimitMs / 1000);
        return c;
    }
    g_childPid = 0;
    for (const QByteArray& raw : proc.readAllStandardOutput().split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.startsWith(QLatin1String("peak_kb ")))
            c.peakMB = line.mid(8).toDouble() * 1024 / 1e6;
        else if (line == QLatin1String("result ok"))
            c.ok = true;
        else if (line.startsWith(QLatin1String("result fail ")))
            c.problem = line.mid(12);
    }
    if (!c.ok && c.problem.isEmpty())
        c.problem =
            QStringLiteral("the child ended with status %1 and no result").arg(proc.exitCode());
    return c;
}

void benchMemory(const Options& o) {
    heading(QStringLiteral("Peak resident memory (VmHWM), each case in a fresh process (%1)")
                .arg(runsText(o.memoryRuns)));
    std::vector<double> full, flood;
    int floodClean = 0;
    for (int i = 0; i < o.memoryRuns; ++i) {
        const ChildResult a = runChild(o, QStringLiteral("full"));
        if (a.ok)
            full.push_back(a.peakMB);
        else
            fail(QStringLiteral("memory, full image, run %1: %2").arg(i + 1).arg(a.problem));
        const ChildResult b = runChild(o, QStringLiteral("flood"));
        if (b.peakMB >= 0) flood.push_back(b.peakMB);
        if (b.ok)
            ++floodClean;
        else
            fail(QStringLiteral("memory, flood, run %1: %2").arg(i + 1).arg(b.problem));
    }
    statRow(QStringLiteral("peak memory, full image"), full, 1, QStringLiteral(" MB"),
            QStringLiteral("<= %1 MB").arg(kFullPeakMB), [](double v) { return v <= kFullPeakMB; });
    statRow(QStringLiteral("peak memory, 50 MB flood at login"), flood, 1, QStringLiteral(" MB"),
            QStringLiteral("<= %1 MB").arg(kFloodPeakMB),
            [](double v) { return v <= kFloodPeakMB; });
    row(QStringLiteral("flood: login error box, clean end"),
        QStringLiteral("%1 of %2 runs").arg(floodClean).arg(o.memoryRuns),
        QStringLiteral("all runs"), std::nullopt);
}

// ---------------------------------------------------------------------------

void reportLowLatency(const GoodRuns& first) {
    if (!first.lowLatency) return;
    heading(QStringLiteral("Port"));
    QString value;
    if (*first.lowLatency)
        value = QStringLiteral("accepted");
    else if (first.device.startsWith(QLatin1String("/dev/pts/")))
        value = QStringLiteral("skipped (pseudo-terminal)");
    else
        value = QStringLiteral("refused");
    row(QStringLiteral("low-latency request (COM1)"), value, QString(), std::nullopt);
}

int usage(const QString& why) {
    std::fprintf(stderr, "quarn-bench: %s (see --help)\n", qPrintable(why));
    return 2;
}

bool parsePositive(const QString& text, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 1) return false;
    *out = v;
    return true;
}

bool parseCounts(const QString& text, QList<int>* counts) {
    for (const QString& part : text.split(QLatin1Char(','))) {
        int n = 0;
        if (!parsePositive(part, &n)) return false;
        *counts << n;
    }
    return true;
}

// The bench's command line.
struct BenchCommandLine {
    QCommandLineParser p;
    const QCommandLineOption runs{"runs", "Full image without pacing: N runs (default 1).", "N"};
    const QCommandLineOption pacedRuns{
        "paced-runs", "Full image paced at 9600 bit/s: N runs of ~40 s (default 1).", "N"};
    const QCommandLineOption memoryRuns{"memory-runs", "Memory cases: N runs each (default 1).",
                                        "N"};
    const QCommandLineOption skipPaced{"skip-paced", "Leave out the paced runs."};
    const QCommandLineOption only{"only", "Run only that group: fast, paced or memory.", "GROUP"};
    const QCommandLineOption noTargets{"no-targets", "Print the figures but never fail on them."};
    const QCommandLineOption sim{"sim", "The simulator to run (default: the one built with this).",
                                 "PATH"};
    const QCommandLineOption hidden{"hidden-window",
                                    "Run the sessions with the download window hidden (a "
                                    "diagnostic: the difference is what repainting costs)."};
    const QCommandLineOption gangPaced{
        "gang", "Instead: quarn-flash loading N units at once, paced at 9600 bit/s.", "N[,N...]"};
    const QCommandLineOption gangUnpaced{"gang-unpaced", "The same without pacing.", "N[,N...]"};
    const QCommandLineOption station{"station",
                                     "Instead: quarn-station (offscreen, Auto-start) loading N "
                                     "units paced at 9600 bit/s, then listening on N empty slots.",
                                     "N"};
    const QCommandLineOption swap{
        "swap",
        "With --station: each unit taken out after its session and the next put in SECONDS "
        "later; units per hour per socket beside the wire's limit.",
        "SECONDS"};
    const QCommandLineOption swapUnits{"swap-units", "Units per socket with --swap (default 4).",
                                       "N"};
    const QCommandLineOption watchSoak{
        "watch-soak",
        "Instead: quarn-flash --watch on 16 units, units taken out and brought back with faults "
        "drawn at random, without pacing."};
    const QCommandLineOption records{
        "records",
        "Instead: quarn-records pushing 100,000 records and reporting over 1,000,000 rows, on a "
        "server of its own."};
    const QCommandLineOption plant{
        "plant",
        "Instead: the plant's figures over 1,000,000 rows (or --rows) from 20 stations of 16 "
        "sockets (or --stations, --sockets), on a server of its own: reports by slot and by "
        "station, quarn-plant's views from its start, a push of 20,000 records, a refresh after "
        "a push, push to screen."};
    const QCommandLineOption plantWeb{
        "plant-web",
        "Instead: quarn-plant-web over 1,000,000 rows (or --rows) in a headless chromium: the "
        "first page complete, push to page with 1 and 100 pages open, memory, threads and CPU "
        "with 200 open streams."};
    const QCommandLineOption stations{
        "stations", "With --records or --plant: the stations of the plant (default 8 or 20).", "N"};
    const QCommandLineOption sockets{
        "sockets", "With --records or --plant: the sockets of each station (default 1 or 16).",
        "N"};
    QCommandLineOption plantView{"plant-view", "The plant's window in this fresh process.", "URL"};
    QCommandLineOption plantSince{"plant-since", "Its --since.", "DATE"};
    const QCommandLineOption rows{
        "rows",
        "With --records, --plant or --plant-web: fill the table to 1,000,000 rows in 30 days, then to N, and "
        "print each figure at both sizes with its ratio to 1,000,000.",
        "N"};
    const QCommandLineOption soakSessions{"soak-sessions",
                                          "Sessions per unit in the soak (default 100).", "N"};
    QCommandLineOption child{"child", "One memory case in this fresh process.", "full|flood"};
    QCommandLineOption help = p.addHelpOption();

    BenchCommandLine() {
        p.setApplicationDescription(QStringLiteral(
            "Runs whole download sessions of the full image against quarn-unit-sim (started as a "
            "child process) and prints each figure beside its target.\nExit status: 1 when a "
            "target is missed or a session goes wrong."));
        for (QCommandLineOption* o : {&child, &plantView, &plantSince})
            o->setFlags(QCommandLineOption::HiddenFromHelp);
        p.addOptions({runs,      pacedRuns,    memoryRuns, skipPaced,   only,      noTargets,
                      sim,       hidden,       gangPaced,  gangUnpaced, station,   swap,
                      swapUnits, watchSoak,    records,    plant,       plantWeb, rows,      stations,
                      sockets,   soakSessions, child,      plantView,   plantSince});
    }
};

// --only GROUP: the one group of the window's sessions to run.
bool takeOnly(const QString& which, Options* o) {
    if (which != QLatin1String("fast") && which != QLatin1String("paced") &&
        which != QLatin1String("memory"))
        return false;
    o->fast = which == QLatin1String("fast");
    o->paced = which == QLatin1String("paced");
    o->memory = which == QLatin1String("memory");
    return true;
}

// -1 when the bench is to run; else the exit status (help, a bad option).
int parseOptions(const QStringList& args, Options* o, bench::GangOptions* gang) {
    BenchCommandLine cl;
    QCommandLineParser& p = cl.p;
    if (!p.parse(args)) return usage(p.errorText());
    if (p.isSet(cl.help)) return std::fputs(qPrintable(p.helpText()), stdout), 0;
    if (!p.positionalArguments().isEmpty()) return usage(QStringLiteral("no arguments expected"));
    g_checkTargets = !p.isSet(cl.noTargets);
    g_showWindow = !p.isSet(cl.hidden);
    o->paced = !p.isSet(cl.skipPaced);
    o->watchSoak = p.isSet(cl.watchSoak);
    o->records = p.isSet(cl.records);
    o->plant = p.isSet(cl.plant);
    o->plantWeb = p.isSet(cl.plantWeb);
    const std::pair<const QCommandLineOption*, int*> counts[] = {
        {&cl.station, &o->stationSlots},
        {&cl.soakSessions, &o->soakSessions},
        {&cl.swapUnits, &o->swapUnits},
        {&cl.runs, &o->runs},
        {&cl.pacedRuns, &o->pacedRuns},
        {&cl.memoryRuns, &o->memoryRuns},
        {&cl.rows, &o->rows},
        {&cl.stations, &o->stations},
        {&cl.sockets, &o->sockets}};
    for (const auto& [option, value] : counts)
        if (p.isSet(*option) && !parsePositive(p.value(*option), value))
            return usage(QStringLiteral("bad --%1").arg(option->names().first()));
    if (p.isSet(cl.only) && !takeOnly(p.value(cl.only), o))
        return usage(QStringLiteral("bad --only %1").arg(p.value(cl.only)));
    if (p.isSet(cl.sim)) o->simPath = p.value(cl.sim);
    bool swapOk = true;
    if (p.isSet(cl.swap)) o->swapSeconds = p.value(cl.swap).toDouble(&swapOk);
    if (!swapOk || (p.isSet(cl.swap) && (o->swapSeconds < 0 || !p.isSet(cl.station))))
        return usage(QStringLiteral("bad --swap (seconds, with --station)"));
    if ((p.isSet(cl.gangPaced) && !parseCounts(p.value(cl.gangPaced), &gang->paced)) ||
        (p.isSet(cl.gangUnpaced) && !parseCounts(p.value(cl.gangUnpaced), &gang->unpaced)))
        return usage(QStringLiteral("bad --gang or --gang-unpaced"));
    o->plantView = p.value(cl.plantView);
    o->plantSince = p.value(cl.plantSince);
    o->child = p.value(cl.child);
    if (!o->child.isEmpty() && o->child != QLatin1String("full") &&
        o->child != QLatin1String("flood"))
        return usage(QStringLiteral("bad --child %1").arg(o->child));
    return -1;
}

// The window's sessions: fast, paced and memory groups as chosen.
int benchWindow(const Options& o) {
    Rig rig;
    if (!makeRig(&rig)) {
        std::fprintf(stderr, "quarn-bench: cannot write the download file\n");
        return 1;
    }
    if (!o.child.isEmpty()) {
        const int status = runChildCase(rig, o);
        quarn::destroyAllForms();
        return status;
    }
    std::printf(
        "quarn-bench: real clock (250 ms ticks, 1 s delay); several runs show min / median,\n"
        "targets are judged on the median%s\n",
        g_checkTargets ? "" : " but not enforced (--no-targets)");
    GoodRuns fast, paced;
    if (o.fast) benchFast(rig, o, &fast);
    if (o.paced) benchPaced(rig, o, &paced);
    if (o.memory) benchMemory(o);
    reportLowLatency(o.fast ? fast : paced);
    quarn::destroyAllForms();
    std::printf("\n%s\n", g_failed ? "quarn-bench: FAILED" : "quarn-bench: all well");
    return g_failed ? 1 : 0;
}

}  // namespace

bench::StationBenchOptions stationOptions() {
    bench::StationBenchOptions o;
    o.stationPath = QStringLiteral(QUARN_STATION_PATH);
    o.flashPath = QStringLiteral(QUARN_FLASH_PATH);
    o.checkTargets = g_checkTargets;
    return o;
}

// The plant's shape: the bench's own, or --stations and --sockets.
static bench::PlantShape shape(const Options& o, bench::PlantShape s) {
    if (o.stations > 0) s.stations = o.stations;
    if (o.sockets > 0) s.sockets = o.sockets;
    return s;
}

static bench::PlantBenchOptions plantOptions(const Options& o) {
    bench::PlantBenchOptions p;
    p.recordsPath = QStringLiteral(QUARN_RECORDS_PATH);
    p.benchPath = QCoreApplication::applicationFilePath();
    p.checkTargets = g_checkTargets;
    p.rows = o.rows > 0 ? o.rows : bench::kBaseRows;
    p.shape = shape(o, p.shape);
    return p;
}

static bench::RecordsOptions recordsOptions(const Options& o) {
    bench::RecordsOptions r{QStringLiteral(QUARN_RECORDS_PATH), g_checkTargets, o.rows};
    r.shape = shape(o, r.shape);
    return r;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::signal(SIGALRM, onAlarm);
    std::signal(SIGINT, onTerminate);
    std::signal(SIGTERM, onTerminate);
    std::signal(SIGHUP, onTerminate);

    Options o;
    bench::GangOptions gang;
    gang.flashPath = QStringLiteral(QUARN_FLASH_PATH);
    const int status = parseOptions(app.arguments(), &o, &gang);
    if (status >= 0) return status;
    if (o.stationSlots > 0 && o.swapSeconds >= 0)
        return bench::runSwapBench(stationOptions(), o.stationSlots, o.swapSeconds, o.swapUnits);
    if (o.stationSlots > 0) return bench::runStationBench(stationOptions(), o.stationSlots);
    if (o.watchSoak) return bench::runWatchSoak(stationOptions(), 16, o.soakSessions);
    if (!o.plantView.isEmpty()) return bench::runPlantView(o.plantView, o.plantSince);
    if (o.plant) return bench::runPlantBench(plantOptions(o));
    if (o.plantWeb) return bench::runPlantWebBench(g_checkTargets, o.rows > 0 ? o.rows : 1000000);
    if (o.records) return bench::runRecordsBench(recordsOptions(o));
    if (!gang.paced.isEmpty() || !gang.unpaced.isEmpty()) {
        gang.checkTargets = g_checkTargets;
        return bench::runGang(gang);
    }
    return benchWindow(o);
}
