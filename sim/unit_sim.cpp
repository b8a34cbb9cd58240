#include "sim/unit_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <random>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using std::chrono::milliseconds;

constexpr size_t kBlockSize = 64;
constexpr uint8_t kStartByte = 0x01;
constexpr uint8_t kOpener = 0x03;
constexpr uint8_t kAccept = 0x03;
constexpr uint8_t kRefuse = 0xFF;
constexpr uint8_t kConfirm = 0x07;
constexpr uint8_t kEndByte = 0x0F;
constexpr uint8_t kLoginOk = 0x88;
constexpr uint8_t kLoginBad = 0x00;
constexpr uint8_t kFloodByte = 0x55;
const Bytes kHandshake = {0xAA, 0x55, 0xAA};
const Bytes kPassword = {'L', 'A', 'N', 'T', 'E', 'R', 'N', 'S'};

// A flood nobody reads any more (the port was closed) is abandoned after this.
constexpr auto kFloodGiveUp = milliseconds(500);
// A master that reports a hang-up is looked at again after this, not in a spin.
constexpr auto kHangUpRetry = milliseconds(20);
// Of each flood only this much goes into the sent log.
constexpr size_t kFloodLogCap = size_t(1) << 20;
constexpr size_t kFloodChunk = 4096;

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string hex(const uint8_t* p, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        if (i) s += ' ';
        s += buf;
    }
    return s;
}

std::string hex(const Bytes& b) { return hex(b.data(), b.size()); }

speed_t speedFor(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B9600;
    }
}

void makeRaw(int fd, int baud) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, speedFor(baud));
    cfsetospeed(&t, speedFor(baud));
    tcsetattr(fd, TCSANOW, &t);
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// The port end the program sees: a fresh pseudo-terminal, or the given device.
struct Port {
    int master = -1;  // our end
    int slave = -1;   // pty only: held open so the master never sees the program's close
    std::string path;
};

bool openPort(const Config& cfg, Port* port, std::string* error) {
    if (!cfg.device.empty()) {
        int fd = ::open(cfg.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            setError(error, errnoText("cannot open " + cfg.device));
            return false;
        }
        makeRaw(fd, cfg.baud);
        port->master = fd;
        port->path = cfg.device;
        return true;
    }
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) {
        setError(error, errnoText("posix_openpt"));
        return false;
    }
    char name[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        setError(error, errnoText("pseudo-terminal set-up"));
        ::close(m);
        return false;
    }
    int flags = fcntl(m, F_GETFL);
    fcntl(m, F_SETFL, flags | O_NONBLOCK);
    int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        setError(error, errnoText(std::string("cannot open ") + name));
        ::close(m);
        return false;
    }
    makeRaw(s, cfg.baud);
    port->master = m;
    port->slave = s;
    port->path = name;
    return true;
}

// Points `link` at `target`, replacing an older link atomically; refuses to
// replace anything that is not a symlink.
bool pointLink(const std::string& link, const std::string& target, std::string* error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        setError(error, link + " exists and is not a symbolic link");
        return false;
    }
    static std::atomic<unsigned> counter{0};
    std::string tmp = link + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0) {
        setError(error, errnoText("cannot make link " + tmp));
        return false;
    }
    if (::rename(tmp.c_str(), link.c_str()) != 0) {
        setError(error, errnoText("cannot make link " + link));
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::string readLink(const std::string& link) {
    char buf[4096];
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, size_t(n));
}

// ppoll until `next` at the latest (TimePoint::max(): no limit).
int pollUntil(pollfd* fds, nfds_t n, TimePoint now, TimePoint next) {
    if (next == TimePoint::max()) return ppoll(fds, n, nullptr, nullptr);
    auto wait = std::max(next - now, Clock::duration::zero());
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec ts{};
    ts.tv_sec = time_t(ns / 1000000000);
    ts.tv_nsec = long(ns % 1000000000);
    return ppoll(fds, n, &ts, nullptr);
}

// Ignoring: after a wrong password (readsPassword) or a download
// (deafAfterDownload), until the line is quiet.
// Program: the received program runs (runsProgram), until repowered.
enum class Phase { Handshake, Login, Start, Opener, Checksum, Data, Confirm, Ignoring, Program };

// What a chattering unit says of its own accord; no handshake in any of them.
const char* const kChatter[] = {"QX-200 boot 1.4\r\n", "log: supply 5.02 V\r\n",
                                "log: temp 41 C\r\n"};

struct Chunk {
    enum Kind { Data, Flood, HangUp } kind = Data;
    Bytes bytes;             // Data
    size_t offset = 0;       // Data: bytes already written
    uint64_t floodLeft = 0;  // Flood: bytes still to write
    size_t floodLogged = 0;  // Flood: bytes put into the sent log
    TimePoint due;
    TimePoint progress;  // last time a byte went out (or the chunk became due)
    bool begun = false;
    bool own = false;  // the unit's own chatter: no reply, so no activity for the idle reset
};

}  // namespace

struct UnitSim::Impl {
    explicit Impl(Config c) : cfg(std::move(c)), rng(cfg.noiseSeed) {}

    // Shared with the caller's threads, under mu.
    Config cfg;
    mutable std::mutex mu;
    mutable std::condition_variable sessionsChanged;
    Bytes rxLog, txLog;
    uint64_t txCount = 0;
    std::vector<SessionSummary> done;
    std::atomic<int> logins{0};  // passwords received, right or wrong
    Port port;
    std::string linkMade;  // the symlink we made, to remove at the end
    std::atomic<bool> stopping{false};
    std::atomic<bool> hung{false};
    std::atomic<bool> absent{false};  // taken out of its socket
    uint64_t repowerAsked = 0;        // under mu; the thread answers by raising repowerDone
    uint64_t repowerDone = 0;
    std::condition_variable repowered;
    int wakeFd = -1;
    std::thread thread;
    std::atomic<bool> running{false};

    // The unit itself: touched only by the thread.
    std::mt19937 rng;
    Phase phase = Phase::Handshake;
    Bytes window;     // last bytes seen while waiting for a handshake
    Bytes collected;  // password or block data so far
    uint8_t checksum = 0;
    int refusedNow = 0;  // refusals of refuseBlock in this session
    bool inTransfer = false;
    SessionSummary cur;
    TimePoint transferStart;
    std::deque<Chunk> out;
    bool blocked = false;  // the master would not take more: wait for POLLOUT
    TimePoint lastRx, lastTx;
    TimePoint lineIn, lineOut;  // when the line is free, each direction (pacing)
    TimePoint hangUpRetry;      // master reported a hang-up: leave it alone until then
    int sinceDownload = -1;     // handshakes taken since the last complete download; -1: none yet
    TimePoint nextChatter = TimePoint::max();

    void wake() {
        if (wakeFd >= 0) {
            uint64_t one = 1;
            ssize_t r = ::write(wakeFd, &one, sizeof one);
            (void)r;
        }
    }

    void log(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (!cfg.verbose) return;
        char line[512];
        va_list args;
        va_start(args, fmt);
        std::vsnprintf(line, sizeof line, fmt, args);
        va_end(args);
        std::fprintf(stderr, "quarn-unit-sim: %s\n", line);
    }

    Clock::duration byteTime(size_t n) const {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(n) * 10.0 / cfg.baud));
    }

    void applyRepower(TimePoint now) {
        {
            std::lock_guard<std::mutex> lock(mu);
            if (repowerDone == repowerAsked) return;
            repowerDone = repowerAsked;
        }
        log("repowered");
        out.clear();
        blocked = false;
        resetUnit(now);
        sinceDownload = -1;
        lineIn = lineOut = now;
        repowered.notify_all();
    }

    void resetUnit(TimePoint now) {
        phase = Phase::Handshake;
        window.clear();
        collected.clear();
        inTransfer = false;
        lastRx = lastTx = now;
    }

    int masterFd() {
        std::lock_guard<std::mutex> lock(mu);
        return port.master;
    }

    void drainWake() {
        uint64_t v;
        ssize_t n = ::read(wakeFd, &v, sizeof v);
        (void)n;
    }

    // The idle reset is armed: the unit is past a handshake's first byte
    // and has nothing left to send.
    bool idleWatched() const {
        return cfg.idleResetMs > 0 && out.empty() && phase != Phase::Program &&
               (phase != Phase::Handshake || !window.empty());
    }

    // A line of its own now and then, while nothing else is going out.
    void chatter(TimePoint now) {
        if (cfg.chatterMs <= 0 || now < nextChatter || absent) return;
        std::uniform_int_distribution<int> gap(cfg.chatterMs / 2, cfg.chatterMs * 3 / 2);
        nextChatter = now + milliseconds(gap(rng));
        if ((phase != Phase::Handshake && phase != Phase::Program) || !out.empty()) return;
        const char* line = kChatter[rng() % (sizeof kChatter / sizeof kChatter[0])];
        Chunk c;
        c.bytes.assign(line, line + std::strlen(line));
        c.own = true;
        c.due = now;
        if (cfg.baud > 0) c.due = lineOut = std::max(now, lineOut) + byteTime(c.bytes.size());
        log("-> %s", std::string(line, std::strlen(line) - 2).c_str());
        enqueue(std::move(c));
    }

    // The thread's loop and its steps.
    void loop();
    void resetWhenIdle(TimePoint now);
    // When to look again without an event: the next reply due, the give-up
    // of a flood nobody reads, the idle reset, the end of a hang-up's rest.
    TimePoint nextWake(TimePoint now, bool masterResting) const;
    // Reads what the master holds; an error or end of file rests it a while.
    void readMaster(int fd, TimePoint now);

    // Sending: writes what is due and the master takes.
    void pump(TimePoint now, int fd);
    void wrote(Chunk& c, const uint8_t* p, size_t k, TimePoint now);  // k bytes of c from p
    void abandonFlood();

    // Receiving: the program's bytes, one at a time, and the unit's answers.
    void onBytes(const uint8_t* p, size_t n, TimePoint now);
    void onByte(uint8_t b, TimePoint now);
    bool handshakeSeen(uint8_t b);      // b completes a handshake the unit would take
    void startSession(TimePoint now);   // the handshake arrived
    void judgePassword(TimePoint now);  // all 8 password bytes arrived
    void startTransfer(TimePoint now);  // the start byte arrived
    void judgeBlock(TimePoint now);
    void completeSession(TimePoint now);
    Fault takeFault(Stage stage, int block);
    void reply(Stage stage, Bytes normal, int block, TimePoint now);
    void enqueue(Chunk c) { out.push_back(std::move(c)); }
    void hangUpNow();
};

Fault UnitSim::Impl::takeFault(Stage stage, int block) {
    std::lock_guard<std::mutex> lock(mu);
    auto it = cfg.faults.find(stage);
    if (it == cfg.faults.end() || it->second.kind == FaultKind::None || it->second.times == 0)
        return Fault{};
    Fault& f = it->second;
    bool perBlock = stage == Stage::Verdict || stage == Stage::ConfirmEcho;
    if (perBlock && f.onlyBlock >= 0 && f.onlyBlock != block) return Fault{};
    Fault acting = f;
    if (f.times > 0) --f.times;
    return acting;
}

void UnitSim::Impl::reply(Stage stage, Bytes normal, int block, TimePoint now) {
    Fault f = takeFault(stage, block);
    Bytes bytes = std::move(normal);
    int delayMs = 0;
    switch (f.kind) {
        case FaultKind::None:
            break;
        case FaultKind::Silence:
            bytes.clear();
            break;
        case FaultKind::WrongByte:
            bytes = f.bytes;
            break;
        case FaultKind::ExtraBytes:
            bytes.insert(bytes.end(), f.bytes.begin(), f.bytes.end());
            break;
        case FaultKind::Delay:
            delayMs = f.delayMs;
            break;
        case FaultKind::HangUp:
        case FaultKind::Flood: {
            Chunk c;
            c.kind = f.kind == FaultKind::HangUp ? Chunk::HangUp : Chunk::Flood;
            c.floodLeft = f.floodBytes;
            c.due = std::max(now, cfg.baud > 0 ? lineIn : now);
            enqueue(std::move(c));
            if (f.kind == FaultKind::HangUp)
                log("fault: hang-up instead of a reply");
            else
                log("fault: flood of %zu bytes instead of a reply", f.floodBytes);
            resetUnit(now);
            return;
        }
    }
    if (inTransfer) cur.bytesOut += bytes.size();
    if (bytes.empty()) {
        log("-> (silence)");
        return;
    }
    TimePoint due = now;
    if (cfg.baud > 0) due = std::max({now, lineIn, lineOut}) + byteTime(bytes.size());
    due += milliseconds(delayMs);
    if (cfg.baud > 0) lineOut = due;
    log("-> %s%s", hex(bytes).c_str(), delayMs ? " (delayed)" : "");
    Chunk c;
    c.bytes = std::move(bytes);
    c.due = due;
    enqueue(std::move(c));
}

void UnitSim::Impl::hangUpNow() {
    std::string linkLeft;  // why the link could not be removed, else empty
    {
        std::lock_guard<std::mutex> lock(mu);
        closeFd(port.master);
        closeFd(port.slave);
        hung = true;
        // A pulled adapter's names go with it (udev removes its by-id and
        // by-path links); a link left behind would lead to whichever
        // pseudo-terminal gets the number next. plugIn() makes it again.
        if (!linkMade.empty() && readLink(linkMade) == port.path && ::unlink(linkMade.c_str()) != 0)
            linkLeft = errnoText("unlink " + linkMade);
    }
    out.clear();
    blocked = false;
    log("hung up: %s is gone", port.path.c_str());
    if (!linkLeft.empty()) log("%s", linkLeft.c_str());
}

void UnitSim::Impl::pump(TimePoint now, int fd) {
    static const std::vector<uint8_t> floodBuf(kFloodChunk, kFloodByte);
    blocked = false;
    if (absent) out.clear();  // taken out: what it still had to say goes with it
    while (!out.empty()) {
        Chunk& c = out.front();
        if (c.due > now) return;
        if (!c.begun) {
            c.begun = true;
            c.progress = now;
        }
        if (c.kind == Chunk::HangUp) {
            hangUpNow();
            return;
        }
        if (fd < 0 || hangUpRetry > now) return;
        if (c.kind == Chunk::Flood && now - c.progress >= kFloodGiveUp) {
            abandonFlood();
            continue;
        }
        const uint8_t* p = c.kind == Chunk::Data ? c.bytes.data() + c.offset : floodBuf.data();
        const size_t n = c.kind == Chunk::Data
                             ? c.bytes.size() - c.offset
                             : size_t(std::min<uint64_t>(c.floodLeft, kFloodChunk));
        if (n == 0) {
            out.pop_front();
            continue;
        }
        ssize_t w = ::write(fd, p, n);
        if (w > 0) {
            wrote(c, p, size_t(w), now);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            blocked = true;
            return;
        }
        hangUpRetry = now + kHangUpRetry;
        return;
    }
}

void UnitSim::Impl::wrote(Chunk& c, const uint8_t* p, size_t k, TimePoint now) {
    c.progress = now;
    if (!c.own) lastTx = now;
    {
        std::lock_guard<std::mutex> lock(mu);
        txCount += k;
        size_t logged = k;
        if (c.kind == Chunk::Flood) {
            logged = std::min(k, kFloodLogCap - c.floodLogged);
            c.floodLogged += logged;
        }
        txLog.insert(txLog.end(), p, p + logged);
    }
    if (c.kind == Chunk::Data)
        c.offset += k;
    else
        c.floodLeft -= k;
}

// Nobody has read the flood for a while: the program has closed its port.
// (Decided before trying again: the kernel finds room for a few more bytes
// now and then even when nobody reads.) What a real line would have lost
// with the close must not greet the next open.
void UnitSim::Impl::abandonFlood() {
    log("flood abandoned, %llu bytes unsent", (unsigned long long)out.front().floodLeft);
    out.pop_front();
    int slave;
    {
        std::lock_guard<std::mutex> lock(mu);
        slave = port.slave;
    }
    if (slave >= 0) tcflush(slave, TCIFLUSH);
}

void UnitSim::Impl::onBytes(const uint8_t* p, size_t n, TimePoint now) {
    {
        std::lock_guard<std::mutex> lock(mu);
        rxLog.insert(rxLog.end(), p, p + n);
    }
    if (absent) return;  // nobody there to hear them
    for (size_t i = 0; i < n; ++i) onByte(p[i], now);
}

// Outside a block's checksum and data, where any byte may stand, the unit
// tells a handshake from what it waits for: it starts a new session.
// A unit that reads its password whatever it is takes a handshake only
// while it waits for one; neither kind hears one while it ignores the line or
// runs its program.
bool UnitSim::Impl::handshakeSeen(uint8_t b) {
    if (phase == Phase::Checksum || phase == Phase::Data) return false;
    if (phase == Phase::Ignoring || phase == Phase::Program) return false;
    if (cfg.readsPassword && phase != Phase::Handshake) return false;
    window.push_back(b);
    if (window.size() > kHandshake.size()) window.erase(window.begin());
    return window == kHandshake;
}

void UnitSim::Impl::onByte(uint8_t b, TimePoint now) {
    lastRx = now;
    if (cfg.baud > 0) lineIn = std::max(lineIn, now) + byteTime(1);
    if (inTransfer) ++cur.bytesIn;
    if (handshakeSeen(b)) return startSession(now);
    switch (phase) {
        case Phase::Handshake:
        case Phase::Ignoring:
        case Phase::Program:
            break;
        case Phase::Login:
            collected.push_back(b);
            if (collected.size() == kPassword.size()) judgePassword(now);
            break;
        case Phase::Start:
            if (b == kStartByte)
                startTransfer(now);
            else
                log("<- %02X ignored, waiting for the start byte", b);
            break;
        case Phase::Opener:
            if (b == kOpener)
                phase = Phase::Checksum;
            else if (b == kEndByte)
                completeSession(now);
            else
                log("<- %02X ignored, waiting for a block or the end byte", b);
            break;
        case Phase::Checksum:
            checksum = b;
            collected.clear();
            phase = Phase::Data;
            break;
        case Phase::Data:
            collected.push_back(b);
            if (collected.size() == kBlockSize) judgeBlock(now);
            break;
        case Phase::Confirm:
            if (b != kConfirm) {
                log("<- %02X ignored, waiting for the confirm byte", b);
                break;
            }
            phase = Phase::Opener;
            reply(Stage::ConfirmEcho, {kConfirm}, cur.blocks - 1, now);
            break;
    }
}

void UnitSim::Impl::startSession(TimePoint now) {
    log("<- handshake");
    out.clear();  // a new session: whatever was still going out (a flood) stops
    blocked = false;
    window.clear();
    collected.clear();
    inTransfer = false;
    cur = SessionSummary{};
    refusedNow = 0;
    phase = Phase::Login;
    if (sinceDownload >= 0 && cfg.lostReplies.count(++sinceDownload)) {
        log("-> (the reply to handshake %d after the download is lost)", sinceDownload);
        return;
    }
    reply(Stage::Handshake, kHandshake, -1, now);
}

void UnitSim::Impl::judgePassword(TimePoint now) {
    bool ok = collected == kPassword;
    ++logins;
    log("<- password %s (%s)", hex(collected).c_str(), ok ? "good" : "wrong");
    collected.clear();
    if (!ok && cfg.readsPassword) {
        phase = Phase::Ignoring;  // no answer; deaf until the line is quiet
        return;
    }
    phase = ok ? Phase::Start : Phase::Handshake;
    reply(Stage::Login, {ok ? kLoginOk : kLoginBad}, -1, now);
}

void UnitSim::Impl::startTransfer(TimePoint now) {
    log("<- start");
    inTransfer = true;
    transferStart = now;
    cur.bytesIn = 1;
    phase = Phase::Opener;
    reply(Stage::StartEcho, {kStartByte}, -1, now);
}

void UnitSim::Impl::judgeBlock(TimePoint now) {
    int index = cur.blocks;
    if (cfg.noiseRate > 0) {
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        if (chance(rng) < cfg.noiseRate) {
            std::uniform_int_distribution<int> pos(0, int(kBlockSize) - 1);
            std::uniform_int_distribution<int> flip(1, 255);
            size_t at = size_t(pos(rng));
            collected[at] ^= uint8_t(flip(rng));
            ++cur.corrupted;
            log("noise: block %d byte %zu corrupted", index, at);
        }
    }
    unsigned sum = 0;
    for (uint8_t v : collected) sum += v;
    bool good = uint8_t(sum) == checksum;
    bool refused = !good;
    if (good && index == cfg.refuseBlock && refusedNow < cfg.refuseTimes) {
        ++refusedNow;
        refused = true;
    }
    log("<- block %d, checksum %02X %s", index, checksum, good ? "good" : "bad");
    if (refused) {
        ++cur.repeats;
        phase = Phase::Checksum;  // a repeat comes without an opener
        reply(Stage::Verdict, {kRefuse}, index, now);
    } else {
        ++cur.blocks;
        cur.image.insert(cur.image.end(), collected.begin(), collected.end());
        phase = Phase::Confirm;
        reply(Stage::Verdict, {kAccept}, index, now);
    }
    collected.clear();
}

void UnitSim::Impl::completeSession(TimePoint now) {
    cur.complete = true;
    cur.bytes = cur.image.size();
    cur.transferSeconds = std::chrono::duration<double>(now - transferStart).count();
    cur.wireSeconds = double(cur.bytesIn + cur.bytesOut) * 10.0 / (cfg.baud > 0 ? cfg.baud : 9600);
    log("<- end: %d blocks, %d repeats", cur.blocks, cur.repeats);
    if (!cfg.imagePath.empty()) {
        std::ofstream f(cfg.imagePath, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(cur.image.data()), std::streamsize(cur.image.size()));
        if (!f) std::fprintf(stderr, "quarn-unit-sim: cannot write %s\n", cfg.imagePath.c_str());
    }
    {
        std::lock_guard<std::mutex> lock(mu);
        done.push_back(cur);
    }
    sessionsChanged.notify_all();
    cur = SessionSummary{};
    inTransfer = false;
    phase = cfg.runsProgram         ? Phase::Program
            : cfg.deafAfterDownload ? Phase::Ignoring
                                    : Phase::Handshake;
    if (cfg.runsProgram) log("the received program runs: no more answers");
    if (cfg.deafAfterDownload) log("deaf until the line is quiet");
    sinceDownload = 0;
    window.clear();
}

void UnitSim::Impl::loop() {
    TimePoint now = Clock::now();
    resetUnit(now);
    lineIn = lineOut = now;
    hangUpRetry = now;
    if (cfg.chatterMs > 0) nextChatter = now + milliseconds(cfg.chatterMs);
    while (!stopping) {
        now = Clock::now();
        applyRepower(now);
        chatter(now);
        pump(now, masterFd());
        const int fd = masterFd();  // pump may have hung up
        resetWhenIdle(now);
        const bool watchMaster = fd >= 0 && hangUpRetry <= now;
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, short(POLLIN | (blocked ? POLLOUT : 0)), 0}};
        if (pollUntil(fds, watchMaster ? 2 : 1, now, nextWake(now, fd >= 0 && !watchMaster)) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "quarn-unit-sim: %s\n", errnoText("poll").c_str());
            std::this_thread::sleep_for(kHangUpRetry);
            continue;
        }
        if (fds[0].revents & POLLIN) drainWake();
        now = Clock::now();
        applyRepower(now);  // before any byte that was sent after the switch-on
        if (!watchMaster) continue;
        if (fds[1].revents & POLLIN)
            readMaster(fd, now);
        else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            hangUpRetry = now + kHangUpRetry;
    }
}

void UnitSim::Impl::resetWhenIdle(TimePoint now) {
    if (!idleWatched() || now - std::max(lastRx, lastTx) < milliseconds(cfg.idleResetMs)) return;
    if (phase != Phase::Handshake) log("idle: back to waiting for a handshake");
    resetUnit(now);
}

TimePoint UnitSim::Impl::nextWake(TimePoint now, bool masterResting) const {
    TimePoint next = TimePoint::max();
    if (!out.empty()) {
        const Chunk& c = out.front();
        if (c.due > now)
            next = c.due;
        else if (blocked && c.kind == Chunk::Flood)
            next = c.progress + kFloodGiveUp;
    }
    if (idleWatched())
        next = std::min(next, std::max(lastRx, lastTx) + milliseconds(cfg.idleResetMs));
    if (masterResting) next = std::min(next, hangUpRetry);
    return std::min(next, nextChatter);
}

void UnitSim::Impl::readMaster(int fd, TimePoint now) {
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            onBytes(buf, size_t(n), now);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        hangUpRetry = now + kHangUpRetry;  // EIO or end of file
        return;
    }
}

UnitSim::UnitSim(Config config) : impl_(new Impl(std::move(config))) {}

UnitSim::~UnitSim() {
    stop();
    delete impl_;
}

bool UnitSim::start(std::string* error) {
    Impl& d = *impl_;
    if (d.running) return true;
    Port port;
    if (!openPort(d.cfg, &port, error)) return false;
    if (!d.cfg.symlink.empty() && !pointLink(d.cfg.symlink, port.path, error)) {
        closeFd(port.master);
        closeFd(port.slave);
        return false;
    }
    d.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d.wakeFd < 0) {
        setError(error, errnoText("eventfd"));
        closeFd(port.master);
        closeFd(port.slave);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d.mu);
        d.port = port;
        d.linkMade = d.cfg.symlink;
    }
    d.stopping = false;
    d.hung = false;
    d.out.clear();
    d.running = true;
    d.thread = std::thread([&d] { d.loop(); });
    return true;
}

void UnitSim::stop() {
    Impl& d = *impl_;
    if (!d.running) return;
    d.stopping = true;
    d.wake();
    d.thread.join();
    d.running = false;
    closeFd(d.wakeFd);
    std::lock_guard<std::mutex> lock(d.mu);
    // Remove our link, unless someone has pointed it elsewhere meanwhile.
    if (!d.linkMade.empty() && readLink(d.linkMade) == d.port.path) ::unlink(d.linkMade.c_str());
    d.linkMade.clear();
    closeFd(d.port.master);
    closeFd(d.port.slave);
}

std::string UnitSim::devicePath() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->port.path;
}

void UnitSim::repower() {
    Impl& d = *impl_;
    std::unique_lock<std::mutex> lock(d.mu);
    uint64_t ticket = ++d.repowerAsked;
    if (!d.running || std::this_thread::get_id() == d.thread.get_id())
        return;  // applied when the thread next looks
    lock.unlock();
    d.wake();
    lock.lock();
    d.repowered.wait_for(lock, milliseconds(1000), [&] { return d.repowerDone >= ticket; });
}

void UnitSim::takeOut() {
    impl_->absent = true;
    impl_->log("taken out");
    impl_->wake();
}

void UnitSim::putIn() {
    repower();
    impl_->absent = false;
    impl_->log("the next unit put in");
    impl_->wake();
}

bool UnitSim::plugIn(std::string* error) {
    Impl& d = *impl_;
    if (!d.hung) return true;
    Port port;
    if (!openPort(d.cfg, &port, error)) return false;
    {
        std::lock_guard<std::mutex> lock(d.mu);
        if (!d.linkMade.empty() && !pointLink(d.linkMade, port.path, error)) {
            closeFd(port.master);
            closeFd(port.slave);
            return false;
        }
        d.port = port;
        d.hung = false;
    }
    d.log("plugged in again: %s", port.path.c_str());
    d.wake();
    return true;
}

bool UnitSim::hungUp() const { return impl_->hung; }

void UnitSim::setFault(Stage stage, const Fault& fault) {
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->cfg.faults[stage] = fault;
    }
    impl_->wake();
}

void UnitSim::clearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->cfg.faults.clear();
}

Bytes UnitSim::received() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rxLog;
}

Bytes UnitSim::sent() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->txLog;
}

uint64_t UnitSim::sentCount() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->txCount;
}

void UnitSim::clearLog() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->rxLog.clear();
    impl_->txLog.clear();
    impl_->txCount = 0;
}

int UnitSim::logins() const { return impl_->logins.load(); }

std::vector<SessionSummary> UnitSim::sessions() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->done;
}

bool UnitSim::waitForSessions(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->sessionsChanged.wait_for(lock, milliseconds(timeoutMs),
                                           [&] { return impl_->done.size() >= count; });
}

Bytes expectedImage(const Bytes& file, int downloadLength) {
    size_t count;
    if (downloadLength < 0)
        count = 1;
    else if (downloadLength > 0 && downloadLength % int(kBlockSize) == 0)
        count = size_t(downloadLength);
    else
        count = size_t(downloadLength) + 1;
    size_t padded = (count + kBlockSize - 1) / kBlockSize * kBlockSize;
    Bytes image(padded, 0);
    std::copy_n(file.begin(), std::min(count, file.size()), image.begin());
    return image;
}

}  // namespace sim
