// Plays the unit's side of the link with arbitrary replies: a session of
// handshake, login and block transfer runs in process against the real serial
// layer on a pseudo-terminal, and every pass of every wait hands the unit one
// action taken from the input. The clock is virtual: the ticker never runs,
// the unit calls Timer2_Timer() itself, so a time-out costs no real time.
//
// Input: bytes 0-1 Download_length (little-endian, a non-negative value taken
// modulo 513, so at most 8 blocks), byte 2 the file size, byte 3 the file
// contents; then one action per pass of a wait:
//   0x00-0xFA  ticks = b >> 5 (0..7), then b & 0x1F reply bytes follow;
//              the bytes are written first, then the ticks are given
//   0xFB  the window closes (stop, program end, port closed)
//   0xFC  the far end hangs up (the pseudo-terminal goes away)
//   0xFD  Cancel, then the next action in the same pass
//   0xFE  the reply a good unit gives at this point
//   0xFF  time-out (8 ticks); also every pass once the input is used up
//
// Alongside runs a model of what the exchanges must do with the bytes the
// unit gave: the flags, the counters, the bytes left buffered and every byte
// put on the wire are compared with it at each pass and at each return. Any
// difference aborts with a message saying what differed.

#include <fcntl.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/download_link.h"
#include "ports/port_map.h"
#include "tests/support/pseudo_terminal.h"

namespace {

using quarn::DownloadLink;
using Clock = std::chrono::steady_clock;

constexpr int kMaxPasses = 100000;
constexpr int kBlock = 64;
constexpr int kTicksPerTimeout = 8;
constexpr auto kDeliveryLimit = std::chrono::seconds(2);  // real time for the kernel to move bytes

enum Action : uint8_t {
    kWindowClose = 0xFB,
    kHangUp = 0xFC,
    kCancel = 0xFD,
    kGood = 0xFE,
    kTimeout = 0xFF
};

[[noreturn]] void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "\nfuzz_link: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

QString hex(const QByteArray& b) { return QString::fromLatin1(b.toHex(' ')); }

// The far end of a pseudo-terminal whose near end is COM1. Kept open across
// inputs; replaced after a hang-up.
class FarEnd {
public:
    // True when a new terminal was opened (the port must be opened anew).
    bool ensureOpen() {
        if (pty_.isOpen()) return false;
        QString why;
        if (!pty_.open(&why)) fail("%s", qPrintable(why));
        qputenv("QUARN_COM1", pty_.slavePath().toLocal8Bit());
        return true;
    }
    // Everything the near end has written and the kernel has passed on.
    QByteArray drain() { return pty_.readAll(); }
    void write(const QByteArray& b) {
        if (!pty_.isOpen() || b.isEmpty()) return;
        if (!pty_.write(b)) fail("short write of %d bytes to the far end", int(b.size()));
    }
    void hangUp() { pty_.hangUp(); }

private:
    testsupport::PseudoTerminal pty_;
};

FarEnd& farEnd() {
    static FarEnd* end = new FarEnd;
    return *end;
}

// One link for the whole run, as the window keeps one across sessions.
DownloadLink& theLink() {
    static DownloadLink* link = new DownloadLink;
    return *link;
}

// What the exchanges must do, step by step, given what the unit has sent.
struct Model {
    enum class Wait { None, PreSend, Handshake, Login, StartEcho, Verdict, Confirm };

    // The transfer.
    QByteArray image;  // the bytes the blocks carry, padding included
    int blocks = 0;

    // The program's state as it must be.
    Wait wait = Wait::None;
    int need = 0;
    int ticks = 0;
    bool timeout = false;
    bool kill = false;
    bool end = false;
    bool portOpen = true;
    // The far end hung up while the port was open: a reply wait ends at once.
    bool lost = false;
    QByteArray pending;  // received by the program, not yet taken or flushed
    QByteArray tx;       // every byte the program must have put on the wire
    int recv = 0;
    int trans = 0;
    bool returned = false;
    bool badReply = false;

    // The transfer's progress.
    int block = 0;
    std::vector<int> repeats;
    int verdictsAccepted = 0;
    int echoesAccepted = 0;
    bool endSent = false;

    int bufferedCount() const { return portOpen ? int(pending.size()) : 0; }

    void tick() {
        if (++ticks == 255) ticks = 0;
        if (ticks == kTicksPerTimeout) {
            timeout = true;
            ticks = 0;
        }
    }

    void send(const QByteArray& b) {
        if (portOpen) tx += b;
    }

    void beginWait(Wait w, int n) {
        wait = w;
        need = n;
        ticks = 0;
        timeout = false;
        returned = false;
    }

    void finish() {
        wait = Wait::None;
        returned = true;
    }

    uint8_t take() {
        const uint8_t r = static_cast<uint8_t>(pending[0]);
        pending.remove(0, 1);
        ++recv;
        return r;
    }

    void startHandshake() { beginWait(Wait::PreSend, 0); }

    void sendAndWait(const QByteArray& request, Wait w, int n) {
        pending.clear();
        send(request);
        ++trans;
        beginWait(w, n);
    }

    void startLogin() { sendAndWait(DownloadLink::kPassword, Wait::Login, 1); }

    void startTransfer() {
        pending.clear();
        send(bytes({0x01}));
        ++trans;
        beginWait(Wait::StartEcho, 1);
    }

    QByteArray blockData() const { return image.mid(block * kBlock, kBlock); }

    static uint8_t checksum(const QByteArray& data) {
        uint8_t sum = 0;
        for (char c : data) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        return sum;
    }

    void sendBlockBody() {
        const QByteArray data = blockData();
        send(QByteArray(1, static_cast<char>(checksum(data))) + data);
        trans += kBlock;
        beginWait(Wait::Verdict, 1);
    }

    void openBlock() {
        send(bytes({0x03}));
        ++trans;
        sendBlockBody();
    }

    // The reply a good unit gives in the current wait (empty: stay silent).
    QByteArray goodReply() const {
        switch (wait) {
            case Wait::Handshake:
                return bytes({0xAA, 0x55, 0xAA});
            case Wait::Login:
                return bytes({0x88});
            case Wait::StartEcho:
                return bytes({0x01});
            case Wait::Verdict:
                return bytes({0x03});
            case Wait::Confirm:
                return bytes({0x07});
            default:
                return QByteArray();
        }
    }

    // The program has just returned from a yield: does its wait end, and what
    // does it do then until the next wait or its return?
    void afterPass() {
        const int count = bufferedCount();
        switch (wait) {
            case Wait::None:
                return;
            case Wait::PreSend:
                if (!timeout && !kill) return;
                if (end) return finish();
                timeout = false;
                return sendAndWait(bytes({0xAA, 0x55, 0xAA}), Wait::Handshake, 3);
            case Wait::Handshake:
            case Wait::Login:
                return afterReply(count);
            case Wait::StartEcho:
            case Wait::Verdict:
            case Wait::Confirm:
                break;
        }
        if (replyWaitGoesOn(count)) return;
        if (count < 1) return endShortOfReply();
        if (kill) return finish();
        afterTransferByte(take());
    }

    // A reply wait ends when its bytes are in, on a stop, a time-out or a
    // lost port; a lost port counts as a time-out.
    bool replyWaitGoesOn(int count) const { return count < need && !kill && !timeout && !lost; }
    void endShortOfReply() {
        if (lost) timeout = true;
        finish();
    }

    // The handshake's or the login's reply wait, after a pass.
    void afterReply(int count) {
        if (replyWaitGoesOn(count)) return;
        if (count < need) return endShortOfReply();
        const QByteArray expected =
            wait == Wait::Handshake ? bytes({0xAA, 0x55, 0xAA}) : bytes({0x88});
        for (int i = 0; i < need; ++i) {
            const uint8_t r = static_cast<uint8_t>(pending[0]);
            pending.remove(0, 1);
            if (r != static_cast<uint8_t>(expected[i])) timeout = true;
        }
        ++recv;
        return finish();
    }

    // The transfer's waits, once one reply byte r is taken.
    void afterTransferByte(uint8_t r) {
        if (wait == Wait::StartEcho) {
            if (r != 0x01) {
                timeout = true;
                return finish();
            }
            pending.clear();
            block = 0;
            return openBlock();
        }
        if (wait == Wait::Verdict) {
            if (r == 0xFF) {
                ++repeats[size_t(block)];
                return sendBlockBody();
            }
            if (r != 0x03) return badReplyExit();
            ++verdictsAccepted;
            pending.clear();
            send(bytes({0x07}));
            return beginWait(Wait::Confirm, 1);
        }
        if (r != 0x07) return badReplyExit();
        ++echoesAccepted;
        if (block + 1 < blocks) {
            ++block;
            return openBlock();
        }
        if (verdictsAccepted != blocks || echoesAccepted != blocks)
            fail("model: end byte before every block passed");
        send(bytes({0x0F}));
        ++trans;
        endSent = true;
        return finish();
    }

    void badReplyExit() {
        badReply = true;
        timeout = true;
        finish();
    }
};

const char* waitName(Model::Wait w) {
    static const char* const names[] = {"none",
                                        "handshake pre-send wait",
                                        "handshake reply",
                                        "login reply",
                                        "start echo",
                                        "verdict",
                                        "confirm echo"};
    return names[int(w)];
}

// FUZZ_LINK_TRACE=1 prints each exchange's outcome (to read what an input does).
bool trace() {
    static const bool on = qEnvironmentVariableIntValue("FUZZ_LINK_TRACE") != 0;
    return on;
}

// How many bytes the transfer carries for a Download_length.
int transferCount(int length) {
    if (length < 0) return 1;
    if (length > 0 && length % kBlock == 0) return length;
    return length + 1;
}

// The wire of a transfer from the start byte on, given how often the unit
// refused each block: start, per block opener + (checksum + data) once and
// once more per refusal + confirm, then the end byte.
QByteArray expectedTransferWire(const QByteArray& image, const std::vector<int>& repeats) {
    QByteArray wire = bytes({0x01});
    for (int b = 0; b * kBlock < image.size(); ++b) {
        const QByteArray data = image.mid(b * kBlock, kBlock);
        const QByteArray body = QByteArray(1, static_cast<char>(Model::checksum(data))) + data;
        wire += '\x03';
        for (int i = 0; i <= repeats[size_t(b)]; ++i) wire += body;
        wire += '\x07';
    }
    wire += '\x0F';
    return wire;
}

class Session {
public:
    Session(const uint8_t* data, size_t size) : data_(data), size_(size), link_(theLink()) {}

    // The link as an input starts it: the port open (again only on a fresh
    // terminal), the flags and counters down, the monitors empty.
    void prepareLink(bool freshTerminal) {
        // The port stays open from one input to the next, as between two
        // sessions of the window; opening it again costs a lock file.
        if (freshTerminal || !link_.MSComm1.portOpen()) {
            if (link_.OpenCom(1) != DownloadLink::OpenResult::Opened)
                fail("cannot open the pseudo-terminal: %s",
                     qPrintable(link_.MSComm1.errorString()));
        } else {
            link_.MSComm1.setInputLen(0);
            link_.MSComm1.input();
        }
        link_.Timeout_count = 0;
        link_.Comm_Timeout = false;
        link_.Program_kill = false;
        link_.Transmit_counter = 0;
        link_.Recieve_counter = 0;
        link_.clearMonitors();
        link_.yield = [this] { pass(); };
        link_.onBadReply = [this] { ++badReplies_; };
        checkState("at the start");
    }

    void run() {
        FarEnd& far = farEnd();
        const bool freshTerminal = far.ensureOpen();
        // Bytes from an earlier input can only be extra bytes sent after its end.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const QByteArray stale = far.drain();
        if (!stale.isEmpty())
            fail("%d bytes (%s) arrived after the previous input ended", int(stale.size()),
                 qPrintable(hex(stale.left(16))));

        setUpTransfer();
        closing_ = false;
        link_.closing = [this] { return closing_; };

        prepareLink(freshTerminal);

        model_.startHandshake();
        link_.SendHandshake();
        afterReturn("handshake");
        if (proceed()) {
            model_.startLogin();
            link_.SendPassWord();
            afterReturn("login");
        }
        if (proceed()) {
            model_.startTransfer();
            link_.SendFile(file_, length_);
            afterReturn("transfer");
            checkTransfer();
        }

        link_.yield = nullptr;
        link_.onBadReply = nullptr;
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
        const QByteArray extra = far.drain();
        if (!extra.isEmpty())
            fail("%d bytes (%s) sent after the session ended", int(extra.size()),
                 qPrintable(hex(extra.left(16))));
    }

private:
    uint8_t headerByte(size_t i) const { return i < size_ ? data_[i] : 0; }

    void setUpTransfer() {
        const auto raw = static_cast<int16_t>(headerByte(0) | (headerByte(1) << 8));
        length_ = raw < 0 ? raw : static_cast<int16_t>(raw % 513);
        const int count = transferCount(length_);
        const uint8_t sizeSel = headerByte(2);
        const int fileSize = (sizeSel & 0x80) ? (sizeSel & 0x7F) * 4 : count + (sizeSel & 0x07);
        const uint8_t contentSel = headerByte(3);
        QByteArray contents(fileSize, '\0');
        uint32_t state = contentSel * 2654435761u + 1;
        for (int i = 0; i < fileSize; ++i) {
            switch (contentSel >> 6) {
                case 0:
                    state = state * 1103515245u + 12345u;
                    contents[i] = static_cast<char>(state >> 16);
                    break;
                case 1:
                    contents[i] = '\xFF';
                    break;
                case 2:
                    contents[i] = '\0';
                    break;
                default:
                    contents[i] = static_cast<char>(i * (contentSel & 0x3F) + 1);
                    break;
            }
        }
        file_.setData(contents);
        file_.open(QIODevice::ReadOnly);

        const int padded = (count + kBlock - 1) / kBlock * kBlock;
        model_.image = QByteArray(padded, '\0');
        const int taken = std::min(count, fileSize);
        for (int i = 0; i < taken; ++i) model_.image[i] = contents[i];
        model_.blocks = padded / kBlock;
        model_.repeats.assign(size_t(model_.blocks), 0);
        pos_ = 4;
    }

    // The sequencer's rule: the session goes on only after a clean exchange.
    bool proceed() const { return !closing_ && !link_.Comm_Timeout && !link_.Program_kill; }

    // One pass of a wait: the program yields, the unit acts.
    void pass() {
        if (++passes_ > kMaxPasses) fail("still waiting after %d passes", kMaxPasses);
        if (model_.wait == Model::Wait::None)
            fail(
                "a wait runs where the exchange must have returned (Comm_Timeout %d, Program_kill "
                "%d)",
                int(link_.Comm_Timeout), int(link_.Program_kill));
        syncWire("at a pass");
        checkState("at the start of a pass");
        act();
        deliver();
        model_.afterPass();
    }

    void act() {
        if (pos_ >= size_) return timeOut();
        const uint8_t a = data_[pos_++];
        switch (a) {
            case kTimeout:
                return timeOut();
            case kGood:
                if (model_.wait == Model::Wait::PreSend)
                    return timeOut();  // a good unit stays silent
                return reply(model_.goodReply());
            case kCancel:
                link_.requestStop();
                model_.kill = true;
                if (pos_ < size_) act();  // what the unit does in the same pass
                return;
            case kHangUp: {
                farEnd().hangUp();  // the next input gets a fresh terminal
                if (model_.portOpen) {
                    const auto deadline = Clock::now() + kDeliveryLimit;
                    while (link_.MSComm1.portOpen()) {
                        QCoreApplication::processEvents(QEventLoop::AllEvents);
                        if (Clock::now() > deadline)
                            fail("the port stays open after the far end hung up");
                    }
                }
                model_.lost = model_.lost || model_.portOpen;
                model_.portOpen = false;
                model_.pending.clear();
                return;
            }
            case kWindowClose:
                link_.requestStop();
                closing_ = true;
                if (link_.MSComm1.portOpen()) link_.MSComm1.setPortOpen(false);
                model_.kill = true;
                model_.end = true;
                model_.portOpen = false;
                model_.pending.clear();
                return;
            default: {
                const size_t n = std::min<size_t>(a & 0x1F, size_ - pos_);
                reply(QByteArray(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n)));
                pos_ += n;
                for (int i = 0; i < (a >> 5); ++i) tick();
                return;
            }
        }
    }

    void timeOut() {
        for (int i = 0; i < kTicksPerTimeout; ++i) tick();
    }

    void tick() {
        link_.Timer2_Timer();
        model_.tick();
    }

    void reply(const QByteArray& b) {
        if (!model_.portOpen || b.isEmpty()) return;
        farEnd().write(b);
        model_.pending += b;
    }

    // Runs the event loop until the program holds exactly the bytes it must
    // hold; more means it took fewer replies than it should, fewer that it
    // took more (or the kernel lost them).
    void deliver() {
        if (!model_.portOpen) {
            if (link_.MSComm1.portOpen()) fail("the port is open after it was closed");
            return;
        }
        const qint64 want = model_.pending.size();
        const auto deadline = Clock::now() + kDeliveryLimit;
        for (;;) {
            const qint64 have = link_.MSComm1.bufferedBytes();
            if (have == want) return;
            if (have > want || Clock::now() > deadline)
                fail("in the %s the program holds %lld unread reply bytes where %lld must be left",
                     waitName(model_.wait), have, want);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (link_.MSComm1.bufferedBytes() == have) sched_yield();
        }
    }

    // Collects what the program has written and compares it with the model.
    void syncWire(const char* where) {
        const auto deadline = Clock::now() + kDeliveryLimit;
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const QByteArray got = farEnd().drain();
            wire_ += got;
            if (wire_.size() >= model_.tx.size()) break;
            if (Clock::now() > deadline) break;
            if (got.isEmpty()) sched_yield();
        }
        const QByteArray& want = model_.tx;
        if (wire_ == want) return;
        qsizetype at = 0;
        while (at < wire_.size() && at < want.size() && wire_[at] == want[at]) ++at;
        if (at == want.size() && at < wire_.size() && static_cast<uint8_t>(wire_[at]) == 0x0F)
            fail(
                "%s: end byte sent although the unit has passed %d of %d blocks (verdicts 03: %d, "
                "echoes 07: %d)",
                where, model_.echoesAccepted, model_.blocks, model_.verdictsAccepted,
                model_.echoesAccepted);
        fail("%s (%s): wire differs at byte %lld of %lld sent, %lld due: sent %s, due %s", where,
             waitName(model_.wait), static_cast<long long>(at),
             static_cast<long long>(wire_.size()), static_cast<long long>(want.size()),
             qPrintable(hex(wire_.mid(at, 8))), qPrintable(hex(want.mid(at, 8))));
    }

    void checkState(const char* where) {
        const int count = model_.bufferedCount();
        const bool ticksDiffer =
            model_.wait != Model::Wait::None && link_.Timeout_count != model_.ticks;
        if (link_.Comm_Timeout != model_.timeout || link_.Program_kill != model_.kill ||
            link_.Recieve_counter != model_.recv || link_.Transmit_counter != model_.trans ||
            ticksDiffer || link_.MSComm1.inBufferCount() != count)
            fail(
                "%s (%s): program/due: Comm_Timeout %d/%d Program_kill %d/%d Recieve_counter %d/%d "
                "Transmit_counter %d/%d Timeout_count %d/%d reply bytes waiting %d/%d",
                where, waitName(model_.wait), int(link_.Comm_Timeout), int(model_.timeout),
                int(link_.Program_kill), int(model_.kill), int(link_.Recieve_counter), model_.recv,
                int(link_.Transmit_counter), model_.trans, int(link_.Timeout_count), model_.ticks,
                int(link_.MSComm1.inBufferCount()), count);
    }

    void afterReturn(const char* exchange) {
        if (trace())
            std::fprintf(stderr,
                         "fuzz_link: %s returned: Comm_Timeout %d Program_kill %d Program_end %d, "
                         "%d passes, %lld bytes sent, %d replies, block %d of %d, end byte %d, bad "
                         "reply %d\n",
                         exchange, int(link_.Comm_Timeout), int(link_.Program_kill), int(closing_),
                         passes_, static_cast<long long>(model_.tx.size()), model_.recv,
                         model_.block, model_.blocks, int(model_.endSent), int(model_.badReply));
        syncWire(exchange);
        if (!model_.returned)
            fail(
                "the %s returned in the %s, where it must still wait (Comm_Timeout %d, "
                "Program_kill %d)",
                exchange, waitName(model_.wait), int(link_.Comm_Timeout), int(link_.Program_kill));
        checkState(exchange);
        if (file_.isOpen() == model_.badReply || badReplies_ != (model_.badReply ? 1 : 0))
            fail("%s: file open %d, bad-reply exits %d; must be %d, %d", exchange,
                 int(file_.isOpen()), badReplies_, int(!model_.badReply), int(model_.badReply));
    }

    void checkTransfer() {
        if (link_.Comm_Timeout || link_.Program_kill) return;
        if (!model_.endSent) fail("the transfer succeeded without its end byte");
        const QByteArray want = expectedTransferWire(model_.image, model_.repeats);
        const QByteArray got = wire_.mid(3 + DownloadLink::kPassword.size());
        if (got != want)
            fail("a successful transfer of Download_length %d sent %lld bytes, %lld due",
                 int(length_), static_cast<long long>(got.size()),
                 static_cast<long long>(want.size()));
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    int passes_ = 0;
    int badReplies_ = 0;
    int16_t length_ = 0;
    bool closing_ = false;  // the owner is closing (the window unloading)
    QBuffer file_;
    QByteArray wire_;
    Model model_;
    DownloadLink& link_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    quarn::setComResolver(quarn::resolveComDevice);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session session(data, size);
    session.run();
    return 0;
}
