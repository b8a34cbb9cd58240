// The station and the watch loop as an operator runs them: each a child
// process, measured from /proc (CPU time, resident and peak memory, open
// descriptors), with the simulated units in this process.

#include "bench/bench_station.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "link/download_link.h"
#include "sim/unit_sim.h"
#include "tests/support/process_figures.h"

namespace bench {

namespace {

constexpr int kLength = 32767;  // the full image: 512 blocks
constexpr double kRatioTarget = 1.03;
constexpr double kLoadCpuTarget = 0.10;
constexpr double kListenCpuTarget = 0.02;
constexpr double kPeakTargetMB = 150;

using Sims = std::vector<std::unique_ptr<sim::UnitSim>>;

sim::Fault faultOf(sim::FaultKind kind, int delayMs = 0, int onlyBlock = -1,
                   sim::Bytes bytes = {}) {
    sim::Fault f;
    f.kind = kind;
    f.delayMs = delayMs;
    f.onlyBlock = onlyBlock;
    f.bytes = std::move(bytes);
    return f;
}

// The folder the programs load from: Init.txt and image.bin.
bool writeInit(const QTemporaryDir& dir, QByteArray* data) {
    data->resize(32768);
    std::mt19937 rng(11);
    for (char& c : *data) c = static_cast<char>(rng());
    QFile image(dir.filePath("image.bin")), init(dir.filePath("Init.txt"));
    const QByteArray text = "Bench\r\nStation\r\nFull image\r\nStepEnd\r\nimage.bin\r\n" +
                            QByteArray::number(kLength) + "\r\nDone.\r\nBench\r\n";
    return image.open(QIODevice::WriteOnly) && image.write(*data) == data->size() &&
           init.open(QIODevice::WriteOnly) && init.write(text) == text.size();
}

bool startSims(Sims& sims, int n, const sim::Config& base, const QTemporaryDir& dir,
               QStringList* args, int first = 0) {
    for (int i = first; i < first + n; ++i) {
        sim::Config c = base;
        c.symlink = dir.filePath(QStringLiteral("unit%1").arg(i)).toStdString();
        sims.push_back(std::make_unique<sim::UnitSim>(c));
        if (!sims.back()->start()) return false;
        *args << "-p" << QString::fromStdString(c.symlink);
    }
    return true;
}

void stopChild(QProcess& p) {
    p.terminate();
    if (!p.waitForFinished(5000)) p.kill();
    p.waitForFinished();
}

}  // namespace

namespace {

// What one station run measured.
struct StationFigures {
    double worst = 0;        // the worst unit's transfer over its wire time
    int right = 0;           // units that received the image exactly
    double loadShare = 0;    // CPU share of one core while all load
    double listenShare = 0;  // the same while every slot listens on an empty socket
    double peakMB = 0;
};

// Every unit loaded (or two minutes passed): the CPU share from the first
// start byte to the last unit's end byte, each unit's ratio and image.
bool measureLoading(Sims& sims, qint64 pid, const sim::Bytes& image, StationFigures* f) {
    auto started = [&] {
        for (auto& s : sims)
            if (s->received().size() > 20) return true;
        return false;
    };
    while (!started()) QThread::msleep(20);
    const double cpu0 = testsupport::cpuSecondsOf(pid);
    QElapsedTimer wall;
    wall.start();
    bool all = true;
    for (auto& s : sims) all = s->waitForSessions(1, 120000) && all;
    f->loadShare = (testsupport::cpuSecondsOf(pid) - cpu0) / (wall.nsecsElapsed() / 1e9);
    for (auto& s : sims) {
        const auto done = s->sessions();
        if (done.empty()) continue;
        f->right += done[0].image == image;
        if (done[0].wireSeconds > 0)
            f->worst = std::max(f->worst, done[0].transferSeconds / done[0].wireSeconds);
    }
    return all;
}

// The units go silent (taken out) and every slot listens: the CPU share over 20 s.
void measureListening(Sims& sims, qint64 pid, StationFigures* f) {
    for (auto& s : sims) s->takeOut();
    QThread::sleep(8);  // the remove probes find the units gone
    const double cpu1 = testsupport::cpuSecondsOf(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::sleep(20);
    f->listenShare = (testsupport::cpuSecondsOf(pid) - cpu1) / (wall.nsecsElapsed() / 1e9);
    f->peakMB = testsupport::peakKb(pid) / 1024.0;
}

// The table row and the targets; true when a target was missed.
bool printStationFigures(int slotCount, const StationFigures& f) {
    std::printf(
        "\nStation: quarn-station offscreen, Auto-start, %d slots, full image paced at 9600 "
        "bit/s\n",
        slotCount);
    std::printf("%-6s %-15s %-16s %-18s %-9s %s\n", "slots", "transfer/wire", "CPU while loading",
                "CPU listening", "peak RSS", "images right");
    std::printf("%-6d %-15.3f %-16s %-18s %-9s %d of %d\n", slotCount, f.worst,
                qPrintable(QString::number(f.loadShare * 100, 'f', 2) + " %"),
                qPrintable(QString::number(f.listenShare * 100, 'f', 2) + " %"),
                qPrintable(QString::number(f.peakMB, 'f', 1) + " MB"), f.right, slotCount);
    std::printf(
        "targets: transfer/wire <= %.2f, CPU < %.0f %% loading and < %.0f %% listening, peak < "
        "%.0f MB\n",
        kRatioTarget, kLoadCpuTarget * 100, kListenCpuTarget * 100, kPeakTargetMB);
    return f.worst > kRatioTarget || f.loadShare >= kLoadCpuTarget ||
           f.listenShare >= kListenCpuTarget || f.peakMB >= kPeakTargetMB;
}

// quarn-station offscreen, its standard error the bench's own.
bool startStation(QProcess& station, const QString& path, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    station.start(path, args);
    return station.waitForStarted();
}

}  // namespace

int runStationBench(const StationBenchOptions& o, int slotCount) {
    QTemporaryDir dir;
    QByteArray data;
    if (!writeInit(dir, &data))
        return std::fputs("quarn-bench: cannot write the folder\n", stderr), 1;
    const sim::Bytes image = sim::expectedImage(sim::Bytes(data.begin(), data.end()), kLength);
    Sims sims;
    QStringList args{"--auto", "--no-log", "--station", "bench"};
    sim::Config paced;
    paced.baud = 9600;
    if (!startSims(sims, slotCount, paced, dir, &args))
        return std::fputs("quarn-bench: simulator\n", stderr), 1;
    QProcess station;
    if (!startStation(station, o.stationPath, args << dir.path()))
        return std::fputs("quarn-bench: cannot start quarn-station\n", stderr), 1;
    StationFigures f;
    const bool all = measureLoading(sims, station.processId(), image, &f);
    measureListening(sims, station.processId(), &f);
    stopChild(station);
    const bool missed = printStationFigures(slotCount, f);
    if (missed && o.checkTargets) std::printf("       a target was missed\n");
    return (!all || f.right != slotCount || (missed && o.checkTargets)) ? 1 : 0;
}

namespace {

// A fault a unit may bring, and the outcome its record must then say.
struct Drawn {
    sim::Stage stage;
    sim::Fault fault;
    const char* outcome;
};

Drawn draw(std::mt19937& rng) {
    static const Drawn kinds[] = {
        {sim::Stage::Handshake, faultOf(sim::FaultKind::None), "good"},
        {sim::Stage::Login, faultOf(sim::FaultKind::WrongByte, 0, -1, {0x00}), "login"},
        {sim::Stage::StartEcho, faultOf(sim::FaultKind::Silence), "transfer"},
        {sim::Stage::ConfirmEcho, faultOf(sim::FaultKind::Silence, 0, 7), "transfer"},
        {sim::Stage::Verdict, faultOf(sim::FaultKind::Delay, 3000, 2), "transfer"},
    };
    return kinds[rng() % (sizeof kinds / sizeof kinds[0])];
}

// The kinds of unit a socket may hold (sim/unit_sim.h): the soak gives each
// socket one of them in turn, the swap bench runs a station of each.
sim::Config unitKind(int k) {
    sim::Config c;
    c.readsPassword = k % 4 == 1 || k % 4 == 3;  // waits for a 2 s quiet line
    c.runsProgram = k % 4 == 2;
    c.chatterMs = k % 4 == 3 ? 700 : 0;
    return c;
}
const char* unitKindName(int k) {
    static const char* const names[] = {"takes a handshake mid-login",
                                        "reads its password, waits 2 s", "runs its program",
                                        "reads its password, chatters"};
    return names[k % 4];
}

void takeOut(sim::UnitSim& s) { s.takeOut(); }

struct SoakUnit {
    QString port;
    const char* expected = "good";
    bool out = false;  // taken out, waiting for the watcher to listen again
    int started = 0;   // insertions so far
    int recorded = 0;
    bool losesProbe = false;  // after its record it stays in, and a probe's reply is lost
    qint64 takeOutAtMs = 0;   // then it is taken out at this time (0: none pending)
    // The watch listens again while the unit is still in (it runs its new
    // program and answers nothing): taken out later, the next goes in at once.
    bool seenListening = false;
};

// Threads of pid now: one per unit in a session, besides the main one.
int threadsOf(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/task").arg(pid))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// Descriptors of pid that no unit now in a session accounts for. Such a unit
// holds its serial port, the port's lock file and its thread's event loop
// (an eventfd), and how many units are in a session at the moment of a sample
// swings widely: the units start in step, so early records come while most
// units hold the outcome with no thread, and later ones, drifted apart, while
// many are mid-session. Leaving those out compares like with like; an eventfd
// beyond one per thread (a thread gone without freeing its event loop), or
// any other descriptor left open, still shows. A thread starting or ending
// between the two readings can add one for a moment; the floor drops that.
int descriptorsBesideUnits(qint64 pid) {
    const int threads = threadsOf(pid);
    const QDir fd(QStringLiteral("/proc/%1/fd").arg(pid));
    int others = 0, eventFds = 0;
    for (const QFileInfo& link : fd.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = link.symLinkTarget();
        if (target.endsWith(QLatin1String("[eventfd]")))
            ++eventFds;
        else
            others += !target.startsWith(QLatin1String("/dev/pts/")) &&
                      !QFileInfo(target).fileName().startsWith(QLatin1String("LCK.."));
    }
    return others + std::max(0, eventFds - threads);
}

// The least seen over a tenth of the sessions, and the most threads seen: a
// unit's thread may still be ending while the next session's begins, so more
// than two per unit besides the main one would be threads never ended.
struct Sample {
    double rssMB = 1e9;
    int fds = 1 << 30;
    int threads = 0;
    void take(qint64 pid) {
        rssMB = std::min(rssMB, testsupport::residentKb(pid) / 1024.0);
        fds = std::min(fds, descriptorsBesideUnits(pid));
        threads = std::max(threads, threadsOf(pid));
    }
};

}  // namespace

namespace {

// The soak's units, what each must record next, and the process's figures.
struct Soak {
    Sims sims;
    std::vector<SoakUnit> state;
    std::mt19937 rng{5};
    int total = 0;
    int records = 0;
    int mismatches = 0;
    int loginMismatches = 0;  // insertions logged into other than exactly once
    int logMoves = 0;
    QString log;
    QSet<QString> ids;
    Sample first, last;

    // The unit comes back as a new one, with a fault drawn at random.
    void present(int i) {
        loginMismatches += sims[size_t(i)]->logins() != state[size_t(i)].started;
        state[size_t(i)].losesProbe = rng() % 8 == 0;
        sims[size_t(i)]->clearFaults();
        const Drawn d = draw(rng);
        if (d.fault.kind != sim::FaultKind::None) sims[size_t(i)]->setFault(d.stage, d.fault);
        sims[size_t(i)]->putIn();
        state[size_t(i)].expected = d.outcome;
        state[size_t(i)].out = false;
        ++state[size_t(i)].started;
    }
    int indexOf(const QString& port) const {
        for (size_t i = 0; i < state.size(); ++i)
            if (state[i].port == port) return int(i);
        return -1;
    }
    // Each record on standard output: its outcome checked, its unit taken out.
    void takeRecords(QProcess& flash, qint64 pid) {
        while (flash.canReadLine()) {
            const QJsonObject r = QJsonDocument::fromJson(flash.readLine()).object();
            const int i = indexOf(r["port"].toString());
            if (i < 0) continue;
            SoakUnit& u = state[size_t(i)];
            mismatches += r["outcome"].toString() != QLatin1String(u.expected);
            ids.insert(r["id"].toString());
            ++u.recorded;
            ++records;
            u.seenListening = false;
            leave(i);
            if (rng() % 25 == 0) moveLogAside();
            if (records <= total / 10) first.take(pid);
            if (records > total - total / 10) last.take(pid);
        }
    }
    // Out of its socket at once, or, losing a probe's reply first, some
    // seconds later: past that probe and the next one, which it answers.
    void leave(int i) {
        SoakUnit& u = state[size_t(i)];
        u.out = true;
        if (!u.losesProbe) return takeOut(*sims[size_t(i)]);
        sims[size_t(i)]->clearFaults();
        sim::Fault lost = faultOf(sim::FaultKind::Silence);
        lost.times = 1;
        sims[size_t(i)]->setFault(sim::Stage::Handshake, lost);
        u.takeOutAtMs = QDateTime::currentMSecsSinceEpoch() + 10000;
    }
    void takeOutDue() {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (size_t i = 0; i < state.size(); ++i) {
            if (state[i].takeOutAtMs == 0 || now < state[i].takeOutAtMs) continue;
            state[i].takeOutAtMs = 0;
            takeOut(*sims[i]);
            if (state[i].seenListening) present(int(i));
        }
    }
    // As log rotation does: the log renamed while quarn-flash writes to it.
    void moveLogAside() { QFile::rename(log, log + QStringLiteral(".%1").arg(++logMoves)); }
    // Every record seen on standard output, once, in the log or a moved one.
    int recordsInLogs() const {
        QSet<QString> found;
        for (int k = 0; k <= logMoves; ++k) {
            QFile f(k == 0 ? log : log + QStringLiteral(".%1").arg(k));
            if (!f.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty()) found.insert(QJsonDocument::fromJson(line)["id"].toString());
        }
        return int((found & ids).size());
    }
    // Every unit keeps coming back until the total is reached, so that the
    // last tenth runs as many units at once as the first.
    void bringBack(QProcess& flash) {
        flash.setReadChannel(QProcess::StandardError);
        while (flash.canReadLine()) {
            const QString line = QString::fromUtf8(flash.readLine()).trimmed();
            if (!line.endsWith(QLatin1String(": waiting for a unit"))) continue;
            const int i = indexOf(line.left(line.size() - 20));
            if (i < 0) continue;
            if (state[size_t(i)].out && state[size_t(i)].takeOutAtMs == 0)
                present(i);
            else
                state[size_t(i)].seenListening = true;
        }
        flash.setReadChannel(QProcess::StandardOutput);
    }
};

// The table; true when memory, descriptors or threads grew.
bool printSoak(const Soak& k, int units, int sessionsEach, double wallSeconds) {
    std::printf(
        "\nWatch soak: quarn-flash --watch, %d units, %d sessions each, no pacing, random faults\n",
        units, sessionsEach);
    std::printf("%-9s %-11s %-13s %-16s %-20s %-22s %-13s %s\n", "records", "mismatches",
                "logins != 1", "in logs (moves)", "RSS first/last tenth", "fds first/last (idle)",
                "threads peak", "wall s");
    const int threads = std::max(k.first.threads, k.last.threads);
    std::printf("%-9d %-11d %-13d %-16s %-20s %-22s %-13d %.0f\n", k.records, k.mismatches,
                k.loginMismatches,
                qPrintable(QStringLiteral("%1 (%2)").arg(k.recordsInLogs()).arg(k.logMoves)),
                qPrintable(QStringLiteral("%1 / %2 MB")
                               .arg(k.first.rssMB, 0, 'f', 1)
                               .arg(k.last.rssMB, 0, 'f', 1)),
                qPrintable(QStringLiteral("%1 / %2").arg(k.first.fds).arg(k.last.fds)), threads,
                wallSeconds);
    return k.last.fds > k.first.fds || k.last.rssMB > k.first.rssMB * 1.05 + 1 ||
           threads > 2 * units + 1;
}

}  // namespace

int runWatchSoak(const StationBenchOptions& o, int units, int sessionsEach) {
    QTemporaryDir dir;
    QByteArray data;
    if (!writeInit(dir, &data))
        return std::fputs("quarn-bench: cannot write the folder\n", stderr), 1;
    Soak k;
    k.log = dir.filePath(QStringLiteral("sessions.jsonl"));
    QStringList args{"--watch", "--json", "--log", k.log, "--max-repeats", "5"};
    for (int i = 0; i < units; ++i)  // a mix of the kinds, one per socket
        if (!startSims(k.sims, 1, unitKind(i), dir, &args, i))
            return std::fputs("quarn-bench: simulator\n", stderr), 1;
    k.state.assign(static_cast<size_t>(units), SoakUnit{});
    for (int i = 0; i < units; ++i) {
        k.state[size_t(i)].port = args[7 + 2 * i];
        k.present(i);
    }
    QProcess flash;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"),
               QStringLiteral("C.UTF-8"));  // its lines are read in English
    env.remove(QStringLiteral("LANGUAGE"));
    flash.setProcessEnvironment(env);
    flash.start(o.flashPath, args << dir.path());
    if (!flash.waitForStarted())
        return std::fputs("quarn-bench: cannot start quarn-flash\n", stderr), 1;
    k.total = units * sessionsEach;
    QElapsedTimer wall;
    wall.start();
    while (k.records < k.total && flash.state() == QProcess::Running && wall.elapsed() < 3600000) {
        flash.waitForReadyRead(200);
        k.takeRecords(flash, flash.processId());
        k.takeOutDue();
        k.bringBack(flash);
    }
    stopChild(flash);
    const bool grew = printSoak(k, units, sessionsEach, wall.elapsed() / 1000.0);
    const bool lost = k.recordsInLogs() != k.records;
    return (k.records != k.total || k.mismatches > 0 || k.loginMismatches > 0 || lost ||
            (grew && o.checkTargets))
               ? 1
               : 0;
}

}  // namespace bench

namespace bench {

namespace {

constexpr double kSwapShareTarget = 0.95;  // units per hour within 5 % of the limit

// One socket: each unit taken out as its session ends, the next put in later.
struct SwapSocket {
    size_t done = 0;             // sessions its units have completed
    qint64 nextInAtMs = 0;       // when the next unit goes in (0: none waiting)
    std::vector<qint64> endsMs;  // when each session ended, as seen here
};

struct SwapRun {
    Sims sims;
    std::vector<SwapSocket> sockets;
    int unitsEach = 0;
    qint64 swapMs = 0;
    QElapsedTimer clock;
    qint64 pid = 0;
    double cpuAtFirstEnd = -1;
    qint64 firstEndMs = 0;

    // One look at every socket; true once each has loaded all its units.
    bool step() {
        bool all = true;
        const qint64 now = clock.elapsed();
        for (size_t i = 0; i < sims.size(); ++i) {
            SwapSocket& s = sockets[i];
            if (sims[i]->waitForSessions(s.done + 1, 0)) ended(i, now);
            if (s.nextInAtMs > 0 && now >= s.nextInAtMs) putIn(i);
            all = all && s.done >= size_t(unitsEach);
        }
        return all;
    }
    void ended(size_t i, qint64 now) {
        SwapSocket& s = sockets[i];
        ++s.done;
        s.endsMs.push_back(now);
        if (cpuAtFirstEnd < 0) {
            cpuAtFirstEnd = testsupport::cpuSecondsOf(pid);
            firstEndMs = now;
        }
        if (s.done >= size_t(unitsEach)) return;
        takeOut(*sims[i]);
        s.nextInAtMs = now + std::max<qint64>(1, swapMs);
    }
    void putIn(size_t i) {
        sims[i]->putIn();  // a fresh unit, waiting for its handshake
        sockets[i].nextInAtMs = 0;
    }
};

struct SwapFigures {
    double perHour = 0;       // units per hour per socket, the mean over the sockets
    double worstPerHour = 0;  // the slowest socket's
    // The limit: a session's time on the line (its quiet line and pause, as
    // the protocol lays them out, and the wire time of its bytes at 9600
    // bit/s) plus the swap; and the same with the bytes' wire time alone.
    double limitPerHour = 0;
    double bytesLimitPerHour = 0;
    double cpuShare = 0;
    double peakMB = 0;
    int right = 0, sessions = 0;
};

SwapFigures swapFigures(const SwapRun& r, const sim::Bytes& image, double swapSeconds) {
    SwapFigures f;
    f.worstPerHour = 1e9;
    double wire = 0;
    for (size_t i = 0; i < r.sims.size(); ++i) {
        const std::vector<qint64>& ends = r.sockets[i].endsMs;
        const double cycleMs = double(ends.back() - ends.front()) / double(ends.size() - 1);
        f.perHour += 3600000.0 / cycleMs / double(r.sims.size());
        f.worstPerHour = std::min(f.worstPerHour, 3600000.0 / cycleMs);
        for (const sim::SessionSummary& s : r.sims[i]->sessions()) {
            f.right += s.image == image;
            wire += s.wireSeconds;
            ++f.sessions;
        }
    }
    quarn::DownloadLink link;
    const double fixedWaits = link.timeoutSeconds() + quarn::linkClock().delayMs / 1000.0;
    f.bytesLimitPerHour = 3600.0 / (wire / f.sessions + swapSeconds);
    f.limitPerHour = 3600.0 / (fixedWaits + wire / f.sessions + swapSeconds);
    const double wall = (r.clock.elapsed() - r.firstEndMs) / 1000.0;
    f.cpuShare = (testsupport::cpuSecondsOf(r.pid) - r.cpuAtFirstEnd) / wall;
    f.peakMB = testsupport::peakKb(r.pid) / 1024.0;
    return f;
}

void printSwapHeader(int sockets, double swapSeconds, int unitsEach) {
    std::printf(
        "\nStation at an operator's pace: quarn-station offscreen, Auto-start, %d sockets, %d "
        "units each, full image paced at 9600 bit/s, each unit swapped for the next in %.1f s\n",
        sockets, unitsEach, swapSeconds);
    std::printf("%-31s %-23s %-22s %-24s %-15s %-9s %s\n", "units", "units/h/socket (worst)",
                "limit: session + swap", "limit: bytes alone + swap", "CPU (one core)", "peak RSS",
                "images right");
}

// One row; with target, true when the target was missed.
bool printSwapFigures(const char* kind, bool target, const SwapFigures& f) {
    const auto share = [&](double limit) {
        return QStringLiteral("%1 (%2 %)")
            .arg(limit, 0, 'f', 1)
            .arg(100 * f.perHour / limit, 0, 'f', 1);
    };
    std::printf(
        "%-31s %-23s %-22s %-24s %-15s %-9s %d of %d\n", kind,
        qPrintable(
            QStringLiteral("%1 (%2)").arg(f.perHour, 0, 'f', 1).arg(f.worstPerHour, 0, 'f', 1)),
        qPrintable(share(f.limitPerHour)), qPrintable(share(f.bytesLimitPerHour)),
        qPrintable(QString::number(f.cpuShare * 100, 'f', 2) + " %"),
        qPrintable(QString::number(f.peakMB, 'f', 1) + " MB"), f.right, f.sessions);
    return target && (f.perHour < kSwapShareTarget * f.limitPerHour ||
                      f.cpuShare >= kLoadCpuTarget || f.peakMB >= kPeakTargetMB);
}

// One station whose sockets all hold units of one kind; false when the
// station could not start or a socket's units were left unloaded.
bool runSwapKind(const StationBenchOptions& o, int sockets, double swapSeconds, int unitsEach,
                 const sim::Config& kind, SwapFigures* f) {
    QTemporaryDir dir;
    QByteArray data;
    if (!writeInit(dir, &data)) return false;
    const sim::Bytes image = sim::expectedImage(sim::Bytes(data.begin(), data.end()), kLength);
    SwapRun run;
    run.unitsEach = unitsEach;
    run.swapMs = qRound64(swapSeconds * 1000);
    run.sockets.resize(size_t(sockets));
    QStringList args{"--auto", "--no-log", "--station", "bench"};
    sim::Config paced = kind;
    paced.baud = 9600;
    QProcess station;
    if (!startSims(run.sims, sockets, paced, dir, &args) ||
        !startStation(station, o.stationPath, args << dir.path()))
        return std::fputs("quarn-bench: cannot start the simulators or quarn-station\n", stderr),
               false;
    run.pid = station.processId();
    run.clock.start();
    bool all = false;
    while (!all && run.clock.elapsed() < 600000 + 120000 * unitsEach) {
        QThread::msleep(10);
        all = run.step();
    }
    if (all) *f = swapFigures(run, image, swapSeconds);
    stopChild(station);
    if (!all) std::fputs("quarn-bench: units left unloaded\n", stderr);
    return all;
}

}  // namespace

// A station of units that take a handshake mid-login (the quick pace: the
// target applies), then one of units that read their password whatever it
// is (the safe pace, as measured).
int runSwapBench(const StationBenchOptions& o, int sockets, double swapSeconds, int unitsEach) {
    if (unitsEach < 2) return std::fputs("quarn-bench: fewer than 2 units\n", stderr), 1;
    SwapFigures quick, safe;
    const bool ran = runSwapKind(o, sockets, swapSeconds, unitsEach, unitKind(0), &quick) &&
                     runSwapKind(o, sockets, swapSeconds, unitsEach, unitKind(1), &safe);
    if (!ran) return 1;
    printSwapHeader(sockets, swapSeconds, unitsEach);
    const bool missed = printSwapFigures(unitKindName(0), true, quick);
    printSwapFigures(unitKindName(1), false, safe);
    std::printf(
        "targets (the first kind): units per hour within %.0f %% of the session-and-swap limit, "
        "CPU < %.0f %%, peak < %.0f MB\n",
        (1 - kSwapShareTarget) * 100, kLoadCpuTarget * 100, kPeakTargetMB);
    if (missed && o.checkTargets) std::printf("       a target was missed\n");
    const bool wrong = quick.right != quick.sessions || safe.right != safe.sessions;
    return (wrong || (missed && o.checkTargets)) ? 1 : 0;
}

}  // namespace bench
