// quarn-unit-sim: a simulated unit on a pseudo-terminal, for trying the
// download program without hardware.

#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "sim/unit_sim.h"

namespace {

const char kUsage[] =
    "Usage: quarn-unit-sim [options]\n"
    "\n"
    "Plays the unit's side of the download link: handshake AA 55 AA, password\n"
    "\"LANTERNS\" (answered 88), start byte 01, checksummed 64-byte blocks answered\n"
    "03 (accepted) or FF (send again), confirm byte 07, end byte 0F.\n"
    "\n"
    "Options:\n"
    "  --device PATH        serve this existing serial device instead of creating\n"
    "                       a pseudo-terminal\n"
    "  --link PATH          make (or replace) a symbolic link PATH to the port\n"
    "  --image FILE         write the image of each complete download to FILE\n"
    "  --baud N             pace replies like a line of N bit/s (10 bits a byte);\n"
    "                       default: no pacing\n"
    "  --idle-reset-ms N    wait for a new handshake after N ms of a quiet line\n"
    "                       (default 2000; 0 = never)\n"
    "  --reads-password     a unit that, after answering a handshake, reads the next\n"
    "                       8 bytes as its password whatever they are, answers a\n"
    "                       wrong one with nothing and then ignores the line until\n"
    "                       it has been quiet for --idle-reset-ms (give 1500 or\n"
    "                       2000); it hears a handshake only while waiting for one\n"
    "  --deaf-after-download  a unit that, after a complete download, ignores the\n"
    "                       line until it has been quiet for --idle-reset-ms (with\n"
    "                       --reads-password: one that needs its quiet line after\n"
    "                       every session, not only after a wrong password)\n"
    "  --runs-program       a unit that starts the program it received after a\n"
    "                       complete download and answers nothing any more\n"
    "  --chatter MS         a unit that sends lines of its own (a banner, a log line)\n"
    "                       at random, on average every MS ms, while it waits for a\n"
    "                       handshake or runs its program\n"
    "  --lose-replies LIST  lose the replies to these handshakes after each complete\n"
    "                       download (1 = the first it takes), as line noise would:\n"
    "                       2 loses one, 2,4 two not in a row\n"
    "  --refuse BLOCK:TIMES refuse block BLOCK (0-based) TIMES times, every session\n"
    "  --noise RATE         chance (0 to 1) that a block arrives with one byte\n"
    "                       corrupted, so that it is refused\n"
    "  --seed N             seed of the noise (default 1)\n"
    "  --fault FAULT        act out a fault; may be given once per stage\n"
    "  --sessions N         exit after N complete downloads\n"
    "  --verbose            log every exchange on standard error\n"
    "  --help               show this text\n"
    "\n"
    "FAULT: STAGE:KIND[:ARG][@BLOCK][xTIMES]\n"
    "  STAGE   handshake  the reply to AA 55 AA\n"
    "          login      the reply to the password\n"
    "          start      the echo of the start byte\n"
    "          verdict    the reply to a block\n"
    "          confirm    the echo of the confirm byte\n"
    "  KIND    silence    no reply at all\n"
    "          wrong:HEX  these bytes instead of the reply (e.g. AA55AB, 15)\n"
    "          extra:HEX  the reply followed by these bytes\n"
    "          delay:MS   the reply held back MS milliseconds\n"
    "          hangup     the port vanishes instead of replying; a new one is made\n"
    "                     (and the link re-pointed) after 1 s\n"
    "          flood:N    N bytes of 55 instead of the reply (suffix k or M for\n"
    "                     KiB or MiB); stops when nobody reads for 500 ms or a\n"
    "                     new handshake arrives\n"
    "  @BLOCK  verdict and confirm only: just for that block (0-based)\n"
    "  xTIMES  act TIMES times, then answer normally (default: always)\n"
    "  Examples: --fault verdict:wrong:15@2  --fault login:delay:2500\n"
    "            --fault confirm:silencex1   --fault start:flood:50M\n"
    "\n"
    "Without --reads-password, --deaf-after-download, --runs-program or --chatter\n"
    "the unit takes a\n"
    "handshake as a new session anywhere outside a block's checksum and data.\n"
    "These options combine with one another and with the faults.\n"
    "\n"
    "Output: the first line is \"device: PATH\" (with \" link: PATH\" after it when\n"
    "--link is given), printed again for the new port after a hang-up; every\n"
    "complete download adds a line\n"
    "  session N: blocks B, repeats R, corrupted C, bytes X, transfer T s, wire W s\n"
    "where the transfer time runs from the start byte to the end byte and the wire\n"
    "time is what those bytes take at the pacing rate (9600 bit/s without --baud).\n"
    "SIGINT, SIGTERM or SIGHUP ends the simulator and removes the link.\n";

// What the command line asks for.
struct Options {
    sim::Config cfg;
    size_t sessionsWanted = 0;  // exit after this many complete downloads; 0 = never
    bool autoPlugIn = false;    // a hang-up is acted out: make a new port a second later
    bool help = false;          // show the usage and do nothing else
};

// The command line parsed, or why it cannot be used.
struct Parsed {
    Options options;
    std::string error;  // empty when the command line is good
};

using Clock = std::chrono::steady_clock;

int usageError(const std::string& text) {
    std::fprintf(stderr, "quarn-unit-sim: %s\n(see --help)\n", text.c_str());
    return 2;
}

bool parseInt(const std::string& s, long long lo, long long hi, long long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// N[,N...]: positive numbers.
bool parseList(const std::string& s, std::set<int>* out) {
    out->clear();
    size_t at = 0;
    for (;;) {
        const size_t comma = s.find(',', at);
        long long v = 0;
        if (!parseInt(s.substr(at, comma - at), 1, 1 << 20, &v)) return false;
        out->insert(int(v));
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
}

bool parseHex(std::string s, sim::Bytes* out) {
    if (s.empty()) return false;
    if (s.size() % 2) s.insert(s.begin(), '0');
    out->clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        std::string pair = s.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        out->push_back(uint8_t(std::strtoul(pair.c_str(), nullptr, 16)));
    }
    return true;
}

bool parseStage(const std::string& name, sim::Stage* stage) {
    static const std::map<std::string, sim::Stage> stages = {
        {"handshake", sim::Stage::Handshake}, {"login", sim::Stage::Login},
        {"start", sim::Stage::StartEcho},     {"verdict", sim::Stage::Verdict},
        {"confirm", sim::Stage::ConfirmEcho},
    };
    auto it = stages.find(name);
    if (it == stages.end()) return false;
    *stage = it->second;
    return true;
}

// The KIND[:ARG] part of a fault; `hasArg` tells an empty ARG from none.
bool parseKind(const std::string& kind, const std::string& arg, bool hasArg, sim::Fault* fault,
               std::string* why) {
    bool needsArg = kind == "wrong" || kind == "extra" || kind == "delay" || kind == "flood";
    if (needsArg != hasArg) {
        *why = needsArg ? "fault \"" + kind + "\" needs an argument"
                        : "fault \"" + kind + "\" takes no argument";
        return false;
    }
    long long v = 0;
    if (kind == "silence") {
        fault->kind = sim::FaultKind::Silence;
    } else if (kind == "hangup") {
        fault->kind = sim::FaultKind::HangUp;
    } else if (kind == "wrong" || kind == "extra") {
        fault->kind = kind == "wrong" ? sim::FaultKind::WrongByte : sim::FaultKind::ExtraBytes;
        if (!parseHex(arg, &fault->bytes)) {
            *why = "bad hex bytes \"" + arg + "\"";
            return false;
        }
    } else if (kind == "delay") {
        fault->kind = sim::FaultKind::Delay;
        if (!parseInt(arg, 0, 3600000, &v)) {
            *why = "bad delay \"" + arg + "\"";
            return false;
        }
        fault->delayMs = int(v);
    } else if (kind == "flood") {
        fault->kind = sim::FaultKind::Flood;
        std::string digits = arg;
        long long scale = 1;
        if (!digits.empty() && (digits.back() == 'k' || digits.back() == 'M')) {
            scale = digits.back() == 'k' ? 1024 : 1024 * 1024;
            digits.pop_back();
        }
        if (!parseInt(digits, 1, (1LL << 40) / scale, &v)) {
            *why = "bad flood size \"" + arg + "\"";
            return false;
        }
        fault->floodBytes = size_t(v * scale);
    } else {
        *why = "unknown fault kind \"" + kind + "\"";
        return false;
    }
    return true;
}

// STAGE:KIND[:ARG][@BLOCK][xTIMES]
bool parseFault(const std::string& text, sim::Stage* stage, sim::Fault* fault, std::string* why) {
    // The argument excludes 'x', which introduces the repeat count.
    static const std::regex re(
        "([a-z]+):([a-z]+)(?::([0-9A-Fa-fkM]+))?(?:@([0-9]+))?(?:x([0-9]+))?");
    std::smatch m;
    if (!std::regex_match(text, m, re)) {
        *why = "bad fault \"" + text + "\"";
        return false;
    }
    if (!parseStage(m[1], stage)) {
        *why = "unknown stage \"" + std::string(m[1]) + "\"";
        return false;
    }
    if (!parseKind(m[2], m[3], m[3].matched, fault, why)) return false;
    long long v = 0;
    if (m[4].matched) {
        if (*stage != sim::Stage::Verdict && *stage != sim::Stage::ConfirmEcho) {
            *why = "@BLOCK applies to verdict and confirm only";
            return false;
        }
        if (!parseInt(m[4], 0, 1 << 20, &v)) {
            *why = "bad block \"" + std::string(m[4]) + "\"";
            return false;
        }
        fault->onlyBlock = int(v);
    }
    if (m[5].matched) {
        if (!parseInt(m[5], 1, 1 << 30, &v)) {
            *why = "bad repeat count \"" + std::string(m[5]) + "\"";
            return false;
        }
        fault->times = int(v);
    }
    return true;
}

// Applies one option that takes a value; returns why it cannot, or "" when it can.
std::string applyOption(const std::string& opt, const std::string& val, Options* o) {
    sim::Config& cfg = o->cfg;
    long long v = 0;
    if (opt == "--device") {
        cfg.device = val;
    } else if (opt == "--link") {
        cfg.symlink = val;
    } else if (opt == "--image") {
        cfg.imagePath = val;
    } else if (opt == "--baud") {
        if (!parseInt(val, 0, 10000000, &v)) return "bad --baud " + val;
        cfg.baud = int(v);
    } else if (opt == "--idle-reset-ms") {
        if (!parseInt(val, 0, 3600000, &v)) return "bad --idle-reset-ms " + val;
        cfg.idleResetMs = int(v);
    } else if (opt == "--refuse") {
        size_t colon = val.find(':');
        long long times = 0;
        if (colon == std::string::npos || !parseInt(val.substr(0, colon), 0, 1 << 20, &v) ||
            !parseInt(val.substr(colon + 1), 0, 1 << 30, &times))
            return "bad --refuse " + val + " (want BLOCK:TIMES)";
        cfg.refuseBlock = int(v);
        cfg.refuseTimes = int(times);
    } else if (opt == "--noise") {
        char* end = nullptr;
        double rate = std::strtod(val.c_str(), &end);
        if (val.empty() || *end || !(rate >= 0.0 && rate <= 1.0))
            return "bad --noise " + val + " (want 0 to 1)";
        cfg.noiseRate = rate;
    } else if (opt == "--seed") {
        if (!parseInt(val, 0, 0xFFFFFFFFLL, &v)) return "bad --seed " + val;
        cfg.noiseSeed = uint32_t(v);
    } else if (opt == "--fault") {
        sim::Stage stage;
        sim::Fault fault;
        std::string why;
        if (!parseFault(val, &stage, &fault, &why)) return why;
        o->autoPlugIn = o->autoPlugIn || fault.kind == sim::FaultKind::HangUp;
        cfg.faults[stage] = fault;
    } else if (opt == "--chatter") {
        if (!parseInt(val, 1, 3600000, &v)) return "bad --chatter " + val;
        cfg.chatterMs = int(v);
    } else if (opt == "--lose-replies") {
        if (!parseList(val, &cfg.lostReplies)) return "bad --lose-replies " + val;
    } else if (opt == "--sessions") {
        if (!parseInt(val, 1, 1 << 30, &v)) return "bad --sessions " + val;
        o->sessionsWanted = size_t(v);
    } else {
        return "unknown option " + opt;
    }
    return "";
}

// Reads the command line up to its end, its first error or --help.
Parsed parseArgs(int argc, char** argv) {
    Parsed p;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            p.options.help = true;
            return p;
        }
        if (opt == "--verbose" || opt == "--reads-password" || opt == "--runs-program" ||
            opt == "--deaf-after-download") {
            bool& flag = opt == "--verbose"               ? p.options.cfg.verbose
                         : opt == "--reads-password"      ? p.options.cfg.readsPassword
                         : opt == "--deaf-after-download" ? p.options.cfg.deafAfterDownload
                                                          : p.options.cfg.runsProgram;
            flag = true;
            continue;
        }
        if (i + 1 >= argc) {
            p.error = opt.rfind("--", 0) == 0 ? opt + " needs a value" : "unknown argument " + opt;
            return p;
        }
        p.error = applyOption(opt, argv[++i], &p.options);
        if (!p.error.empty()) return p;
    }
    return p;
}

void printDevice(const sim::UnitSim& unit, const std::string& link) {
    std::printf("device: %s", unit.devicePath().c_str());
    if (!link.empty()) std::printf(" link: %s", link.c_str());
    std::printf("\n");
    std::fflush(stdout);
}

void printSession(size_t n, const sim::SessionSummary& s) {
    std::printf("session %zu: blocks %d, repeats %d, corrupted %d, bytes %zu, ", n, s.blocks,
                s.repeats, s.corrupted, s.bytes);
    std::printf("transfer %.4f s, wire %.4f s\n", s.transferSeconds, s.wireSeconds);
    std::fflush(stdout);
}

// On the command line nobody can plug the cable back in: a second after the
// hang-up was first seen (kept in *hungSince; kNotHungUp when none is), make
// the new port.
constexpr Clock::time_point kNotHungUp = Clock::time_point::min();

void plugInAfterASecond(sim::UnitSim& unit, const std::string& link, Clock::time_point* hungSince) {
    if (!unit.hungUp()) return;
    const Clock::time_point now = Clock::now();
    if (*hungSince == kNotHungUp) {
        *hungSince = now;
        return;
    }
    if (now - *hungSince < std::chrono::seconds(1)) return;
    std::string error;
    if (unit.plugIn(&error))
        printDevice(unit, link);
    else
        std::fprintf(stderr, "quarn-unit-sim: %s\n", error.c_str());
    *hungSince = kNotHungUp;
}

// Serves the unit until a signal arrives or the wanted sessions are done.
int run(const Options& o) {
    // Signals are taken synchronously below; the simulator's thread inherits the mask.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGTERM);
    sigaddset(&sigs, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);

    sim::UnitSim unit(o.cfg);
    std::string error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "quarn-unit-sim: %s\n", error.c_str());
        return 1;
    }
    printDevice(unit, o.cfg.symlink);

    size_t printed = 0;
    Clock::time_point hungSince = kNotHungUp;
    for (;;) {
        const std::timespec tick{0, 50 * 1000 * 1000};
        if (sigtimedwait(&sigs, nullptr, &tick) > 0) break;
        const auto done = unit.sessions();
        for (; printed < done.size(); ++printed) printSession(printed + 1, done[printed]);
        if (o.sessionsWanted > 0 && printed >= o.sessionsWanted) break;
        if (o.autoPlugIn) plugInAfterASecond(unit, o.cfg.symlink, &hungSince);
    }
    unit.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Parsed parsed = parseArgs(argc, argv);
    if (!parsed.error.empty()) return usageError(parsed.error);
    if (parsed.options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return run(parsed.options);
}
