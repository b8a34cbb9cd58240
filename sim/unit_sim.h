#pragma once
// A simulated unit: plays the unit's side of the whole download link on a
// pseudo-terminal it creates (or on a device it is given), so the program can
// be run and tested without hardware. Pure POSIX and the standard library;
// the simulator runs on its own thread and never touches Qt.
//
// Normal behaviour, per session:
//   handshake  receives 0xAA 0x55 0xAA, echoes the same three bytes
//   login      receives 8 bytes; "LANTERNS" is answered 0x88, anything else 0x00
//   start      receives 0x01, echoes 0x01
//   blocks     receives 0x03 (opener, new block only), checksum, 64 data bytes;
//              answers 0x03 when the checksum equals the sum of the data modulo
//              256, else 0xFF; then expects a repeat (checksum + 64 bytes, no
//              opener) after 0xFF, or the confirm byte 0x07 after 0x03, which
//              it echoes
//   end        receives 0x0F: the session is complete; the accepted blocks'
//              data (64 bytes each, padding included) form the image, written
//              to Config::imagePath when set; the summary is recorded
// After the end byte, or after the line has been idle for idleResetMs, or on
// repower(), the unit waits for a handshake again. A handshake that arrives
// while it waits for the password, the start byte, a block's opener, the end
// byte or a confirm byte starts a new session as well (none of those bytes
// is 0xAA or 0x55); inside a block's checksum and data every byte is data.
// That is the default kind of unit. Real units vary, and three other kinds
// can be chosen (Config), each alone or together:
//   readsPassword  after answering a handshake it reads the next eight bytes
//                  as its password, whatever they are; a wrong one gets no
//                  answer, and the unit then ignores the line until it has
//                  been quiet for idleResetMs. A handshake counts only while
//                  it waits for one, so one sent during the login is taken
//                  as password bytes.
//   deafAfterDownload  after a complete download it ignores the line until
//                  it has been quiet for idleResetMs, as after a wrong
//                  password: a unit that needs its quiet line after every
//                  session, so a handshake right after its end byte is lost.
//   runsProgram    after a complete download it starts the program it
//                  received and answers nothing any more, until repower()
//                  (taken out and put back, or the next unit put in).
//   chatterMs      it sends lines of its own (a banner, a log line) at
//                  random, on average every chatterMs, while it waits for a
//                  handshake or runs its program. They never contain a
//                  handshake, and they do not count as activity for the idle
//                  reset (that listens to the program's bytes).
// lostReplies loses chosen replies to handshakes on their way to the
// program, as line noise does: the unit goes on as if it had answered.
//
// Faults are chosen per stage; each acts out one failure a real unit or
// cable can produce. A fault changes only what goes on the wire: the unit's
// own state moves on as if it had answered normally, except that HangUp and
// Flood abandon the session (the unit waits for a handshake again). A new
// handshake drops whatever the unit still had to send, a flood included.
// "Idle" means neither a byte received nor a reply still to go out, so a
// delayed reply does not count as idle time.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

enum class Stage {
    Handshake,    // the reply to 0xAA 0x55 0xAA (3 bytes)
    Login,        // the reply to the password (1 byte)
    StartEcho,    // the reply to 0x01
    Verdict,      // the reply to a block
    ConfirmEcho,  // the reply to 0x07
};

enum class FaultKind {
    None,
    Silence,     // no reply at all
    WrongByte,   // the reply's bytes replaced by `bytes` (for the handshake, all three)
    ExtraBytes,  // the normal reply followed by `bytes`
    Delay,       // the normal reply, held back delayMs
    HangUp,      // instead of replying, the pty master is closed (the cable is pulled)
    Flood,       // instead of replying, floodBytes bytes of 0x55 are written
};

struct Fault {
    FaultKind kind = FaultKind::None;
    Bytes bytes;            // WrongByte / ExtraBytes
    int delayMs = 0;        // Delay
    size_t floodBytes = 0;  // Flood
    int onlyBlock = -1;  // Verdict / ConfirmEcho: only for this block index (0-based); -1 = every
    int times = -1;      // how many times the fault acts before normal behaviour; -1 = always
};

struct Config {
    std::string device;     // serve this existing device; empty = create a pseudo-terminal
    std::string symlink;    // make (replace) this symlink to the pty slave; empty = none
    std::string imagePath;  // write each complete image here; empty = keep it only in memory
    int baud = 0;           // pacing: each reply held back by the wire time (10 bits a byte)
                            // of the bytes received and sent; 0 = no pacing
    std::map<Stage, Fault> faults;
    int refuseBlock = -1;    // refuse this block index (0-based) ...
    int refuseTimes = 0;     // ... this many times (0xFF) before accepting it, in every session
    double noiseRate = 0.0;  // chance per block sent that one data byte arrives corrupted
    uint32_t noiseSeed = 1;
    int idleResetMs = 2000;      // back to waiting for a handshake after this long without a byte
                                 // (twice the program's pause before the login); 0 = never
    bool readsPassword = false;  // see the header: a handshake only while waiting for one
    bool deafAfterDownload = false;  // see the header: a quiet line needed after a download
    bool runsProgram = false;        // see the header: silent after a complete download
    int chatterMs = 0;               // see the header: mean gap between lines of its own; 0 = none
    // The replies to these handshakes are lost: 1 is the first handshake the
    // unit takes after each complete download, 2 the next, ...; before its
    // first download nothing is lost.
    std::set<int> lostReplies;
    bool verbose = false;  // log each exchange on stderr
};

struct SessionSummary {
    bool complete = false;       // the end byte arrived
    int blocks = 0;              // accepted blocks
    int repeats = 0;             // refusals sent (0xFF)
    int corrupted = 0;           // blocks corrupted by noise
    size_t bytes = 0;            // image bytes (64 per accepted block)
    size_t bytesIn = 0;          // bytes received, start byte to end byte
    size_t bytesOut = 0;         // bytes sent, start echo to last confirm echo
    double transferSeconds = 0;  // start byte received to end byte received
    double wireSeconds = 0;      // (bytesIn + bytesOut) * 10 / 9600 (or / baud when paced)
    Bytes image;                 // accepted data, in order
};

class UnitSim {
public:
    explicit UnitSim(Config config);
    ~UnitSim();  // stops the thread, closes the pty, removes the symlink it made
    UnitSim(const UnitSim&) = delete;
    UnitSim& operator=(const UnitSim&) = delete;

    // Creates the pty (or opens the device) and starts the thread. False with *error on failure.
    bool start(std::string* error = nullptr);
    void stop();

    // The pty slave's path (or the device); the symlink, when made, points here.
    std::string devicePath() const;

    // Back to waiting for a handshake, as after switching the unit off and on.
    void repower();
    // The unit taken out of its socket, the line left in place: the program's
    // bytes still arrive (received() logs them) but nothing hears or answers
    // them, and nothing is sent. putIn() puts the next unit in: a fresh one,
    // as after repower().
    void takeOut();
    void putIn();
    // After a HangUp: makes a new pty and points the symlink at it ("the port is back").
    bool plugIn(std::string* error = nullptr);
    bool hungUp() const;

    // Replace the faults while running (takes effect at the next reply).
    void setFault(Stage stage, const Fault& fault);
    void clearFaults();

    // Every byte received since start (or clearLog), in order.
    Bytes received() const;
    // Every byte sent since start (or clearLog), in order; of a flood only
    // the first MiB is kept here.
    Bytes sent() const;
    // How many bytes were sent since start (or clearLog), floods in full.
    uint64_t sentCount() const;
    void clearLog();

    // Logins so far: every password received since start, right or wrong.
    int logins() const;

    // Completed sessions so far, oldest first.
    std::vector<SessionSummary> sessions() const;
    // Waits until `count` sessions have completed; false on time-out.
    bool waitForSessions(size_t count, int timeoutMs) const;

private:
    struct Impl;
    Impl* impl_;
};

// The image a correct transfer of `file` with the given length produces:
// the bytes sent (the length rule: a positive multiple of 64 sends that many,
// any other length >= 0 one byte more, a negative one a single byte; bytes
// past the file's end are 0x00), zero-padded to whole 64-byte blocks.
Bytes expectedImage(const Bytes& file, int downloadLength);

}  // namespace sim
