// The simulated unit, driven from a raw POSIX client on its pseudo-terminal.

#include "sim/unit_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using sim::Bytes;
using Clock = std::chrono::steady_clock;

namespace {

const Bytes kHandshake{0xAA, 0x55, 0xAA};
const Bytes kPassword{'L', 'A', 'N', 'T', 'E', 'R', 'N', 'S'};

int msSince(Clock::time_point t0) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

// The program's end of the line, reduced to open, write and read with a deadline.
class Client {
public:
    explicit Client(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            t.c_cflag |= CLOCAL | CREAD;
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Client() { close(); }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool ok() const { return fd_ >= 0; }

    void send(const Bytes& b) {
        size_t done = 0;
        while (done < b.size()) {
            ssize_t n = ::write(fd_, b.data() + done, b.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else {
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    return;
            }
        }
    }
    // Up to n bytes, waiting at most timeoutMs in all.
    Bytes read(size_t n, int timeoutMs) {
        Bytes got;
        auto t0 = Clock::now();
        while (got.size() < n) {
            int left = timeoutMs - msSince(t0);
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0 || !(p.revents & POLLIN))
                break;
            uint8_t buf[65536];
            ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0)
                break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    // Everything that arrives until the line has been quiet for quietMs.
    Bytes collect(int quietMs) {
        Bytes all;
        for (;;) {
            Bytes more = read(4096, quietMs);
            if (more.empty())
                return all;
            all.insert(all.end(), more.begin(), more.end());
        }
    }
    Bytes exchange(const Bytes& request, size_t replyBytes, int timeoutMs = 1000) {
        send(request);
        return read(replyBytes, timeoutMs);
    }
    bool farEndGone() {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
    }

private:
    int fd_ = -1;
};

Bytes pattern(size_t n, uint8_t seed = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 7);
    return b;
}

Bytes blockMessage(const Bytes& image, size_t index, bool opener) {
    Bytes data(image.begin() + long(index * 64), image.begin() + long(index * 64 + 64));
    uint8_t sum = uint8_t(std::accumulate(data.begin(), data.end(), 0u));
    Bytes msg;
    if (opener)
        msg.push_back(0x03);
    msg.push_back(sum);
    msg.insert(msg.end(), data.begin(), data.end());
    return msg;
}

// A well-behaved program: sends `image` (whole blocks), resending refused
// blocks. Returns the number of refusals, or -1 when the unit misbehaved.
int download(Client& c, const Bytes& image) {
    if (c.exchange(kHandshake, 3) != kHandshake || c.exchange(kPassword, 1) != Bytes{0x88} ||
        c.exchange({0x01}, 1) != Bytes{0x01})
        return -1;
    int refusals = 0;
    for (size_t i = 0; i < image.size() / 64; ++i) {
        Bytes verdict = c.exchange(blockMessage(image, i, true), 1);
        while (verdict == Bytes{0xFF} && refusals < 100) {
            ++refusals;
            verdict = c.exchange(blockMessage(image, i, false), 1);
        }
        if (verdict != Bytes{0x03} || c.exchange({0x07}, 1) != Bytes{0x07})
            return -1;
    }
    c.send({0x0F});
    return refusals;
}

struct Started {
    explicit Started(sim::Config cfg) : unit(std::move(cfg)) {
        std::string error;
        ok = unit.start(&error);
        EXPECT_TRUE(ok) << error;
    }
    sim::UnitSim unit;
    bool ok = false;
};

}  // namespace

TEST(ExpectedImage, FollowsTheLengthRule) {
    const Bytes file = pattern(200);
    struct Row { int length; size_t size; size_t fromFile; };
    const Row rows[] = {
        {0, 64, 1},   {1, 64, 2},    {63, 64, 64},   {64, 64, 64},          {100, 128, 101},
        {127, 128, 128}, {128, 128, 128}, {-5, 64, 1}, {32767, 32768, 32768},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.length);
        Bytes image = sim::expectedImage(file, r.length);
        ASSERT_EQ(image.size(), r.size);
        for (size_t i = 0; i < image.size(); ++i) {
            uint8_t want = i < r.fromFile && i < file.size() ? file[i] : 0;
            ASSERT_EQ(image[i], want) << "at " << i;
        }
    }
}

class GoodSession : public ::testing::TestWithParam<int> {};

TEST_P(GoodSession, RecordsImageLogsAndCounters) {
    const int length = GetParam();
    const Bytes image = sim::expectedImage(pattern(300), length);
    const size_t blocks = image.size() / 64;
    const std::string imagePath = ::testing::TempDir() + "quarn_sim_image_" + std::to_string(getpid()) + ".bin";
    sim::Config cfg;
    cfg.imagePath = imagePath;
    Started s(cfg);
    Client c(s.unit.devicePath());
    ASSERT_TRUE(c.ok());
    ASSERT_EQ(download(c, image), 0);
    ASSERT_TRUE(s.unit.waitForSessions(1, 2000));

    Bytes wantSent{0xAA, 0x55, 0xAA, 0x88, 0x01};
    Bytes wantReceived = kHandshake;
    wantReceived.insert(wantReceived.end(), kPassword.begin(), kPassword.end());
    wantReceived.push_back(0x01);
    for (size_t i = 0; i < blocks; ++i) {
        wantSent.insert(wantSent.end(), {0x03, 0x07});
        Bytes msg = blockMessage(image, i, true);
        wantReceived.insert(wantReceived.end(), msg.begin(), msg.end());
        wantReceived.push_back(0x07);
    }
    wantReceived.push_back(0x0F);
    EXPECT_EQ(s.unit.sent(), wantSent);
    EXPECT_EQ(s.unit.received(), wantReceived);

    const sim::SessionSummary sum = s.unit.sessions().at(0);
    EXPECT_TRUE(sum.complete);
    EXPECT_EQ(sum.image, image);
    EXPECT_EQ(sum.blocks, int(blocks));
    EXPECT_EQ(sum.bytes, image.size());
    EXPECT_EQ(sum.repeats, 0);
    EXPECT_EQ(sum.bytesIn, 1 + blocks * 67 + 1);
    EXPECT_EQ(sum.bytesOut, 1 + blocks * 2);
    EXPECT_DOUBLE_EQ(sum.wireSeconds, double(sum.bytesIn + sum.bytesOut) * 10 / 9600);
    EXPECT_GT(sum.transferSeconds, 0.0);

    std::ifstream f(imagePath, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(f), {}), image);
    std::remove(imagePath.c_str());
}

INSTANTIATE_TEST_SUITE_P(Lengths, GoodSession, ::testing::Values(0, 64, 100, 200));

TEST(Refusals, BadChecksumAndConfiguredRefusalsAreRepeats) {
    struct Row { const char* name; int refuseBlock, refuseTimes; bool badChecksumFirst; int repeats; };
    const Row rows[] = {
        {"bad checksum", -1, 0, true, 1},
        {"block 1 refused twice", 1, 2, false, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim::Config cfg;
        cfg.refuseBlock = r.refuseBlock;
        cfg.refuseTimes = r.refuseTimes;
        Started s(cfg);
        Client c(s.unit.devicePath());
        const Bytes image = pattern(192);
        if (r.badChecksumFirst) {
            ASSERT_EQ(c.exchange(kHandshake, 3), kHandshake);
            ASSERT_EQ(c.exchange(kPassword, 1), Bytes{0x88});
            ASSERT_EQ(c.exchange({0x01}, 1), Bytes{0x01});
            Bytes bad = blockMessage(image, 0, true);
            bad[1] ^= 0x01;
            ASSERT_EQ(c.exchange(bad, 1), Bytes{0xFF});
            ASSERT_EQ(c.exchange(blockMessage(image, 0, false), 1), Bytes{0x03});
            ASSERT_EQ(c.exchange({0x07}, 1), Bytes{0x07});
            c.send({0x0F});
            ASSERT_TRUE(s.unit.waitForSessions(1, 2000));
            EXPECT_EQ(s.unit.sessions()[0].image, Bytes(image.begin(), image.begin() + 64));
        } else {
            ASSERT_EQ(download(c, image), r.repeats);
            ASSERT_TRUE(s.unit.waitForSessions(1, 2000));
            EXPECT_EQ(s.unit.sessions()[0].image, image);
            // The refusals come again in the next session.
            ASSERT_EQ(download(c, image), r.repeats);
            ASSERT_TRUE(s.unit.waitForSessions(2, 2000));
        }
        EXPECT_EQ(s.unit.sessions()[0].repeats, r.repeats);
    }
}

TEST(Faults, ChangeTheReplyOfTheirStage) {
    const Bytes image = pattern(128);
    // Steps of a two-block session: request and normal reply.
    const std::vector<std::pair<Bytes, Bytes>> steps = {
        {kHandshake, kHandshake}, {kPassword, {0x88}}, {{0x01}, {0x01}},
        {blockMessage(image, 0, true), {0x03}}, {{0x07}, {0x07}},
        {blockMessage(image, 1, true), {0x03}}, {{0x07}, {0x07}},
    };
    auto fault = [](sim::FaultKind kind, Bytes bytes = {}, int onlyBlock = -1, int times = -1) {
        sim::Fault f;
        f.kind = kind;
        f.bytes = std::move(bytes);
        f.onlyBlock = onlyBlock;
        f.times = times;
        return f;
    };
    using K = sim::FaultKind;
    struct Row { const char* name; sim::Stage stage; sim::Fault fault; size_t step; Bytes reply; bool completes; };
    const Row rows[] = {
        {"handshake silent", sim::Stage::Handshake, fault(K::Silence), 0, {}, false},
        {"handshake wrong", sim::Stage::Handshake, fault(K::WrongByte, {0xAA, 0x55, 0xAB}), 0, {0xAA, 0x55, 0xAB}, false},
        {"login wrong", sim::Stage::Login, fault(K::WrongByte, {0x08}), 1, {0x08}, false},
        {"login extra", sim::Stage::Login, fault(K::ExtraBytes, {0x01, 0x02}), 1, {0x88, 0x01, 0x02}, true},
        {"start wrong", sim::Stage::StartEcho, fault(K::WrongByte, {0x02}), 2, {0x02}, false},
        {"verdict wrong on block 1 only", sim::Stage::Verdict, fault(K::WrongByte, {0x15}, 1), 5, {0x15}, false},
        {"confirm silent once", sim::Stage::ConfirmEcho, fault(K::Silence, {}, -1, 1), 4, {}, true},
        {"confirm extra", sim::Stage::ConfirmEcho, fault(K::ExtraBytes, {0x07}), 4, {0x07, 0x07}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim::Config cfg;
        cfg.faults[r.stage] = r.fault;
        Started s(cfg);
        Client c(s.unit.devicePath());
        for (size_t i = 0; i < r.step; ++i)
            ASSERT_EQ(c.exchange(steps[i].first, steps[i].second.size()), steps[i].second) << "step " << i;
        c.send(steps[r.step].first);
        EXPECT_EQ(c.collect(150), r.reply);
        if (!r.completes)
            continue;
        // The fault has had its say (or the program ignores the extra bytes): the session goes on.
        for (size_t i = r.step + 1; i < steps.size(); ++i)
            ASSERT_EQ(c.exchange(steps[i].first, steps[i].second.size()), steps[i].second) << "step " << i;
        c.send({0x0F});
        ASSERT_TRUE(s.unit.waitForSessions(1, 2000));
        EXPECT_EQ(s.unit.sessions()[0].image, image);
    }
}

TEST(Faults, DelayHoldsTheReplyBack) {
    sim::Config cfg;
    cfg.faults[sim::Stage::Login].kind = sim::FaultKind::Delay;
    cfg.faults[sim::Stage::Login].delayMs = 300;
    Started s(cfg);
    Client c(s.unit.devicePath());
    ASSERT_EQ(c.exchange(kHandshake, 3), kHandshake);
    auto t0 = Clock::now();
    ASSERT_EQ(c.exchange(kPassword, 1, 2000), Bytes{0x88});
    EXPECT_GE(msSince(t0), 280);
    EXPECT_LT(msSince(t0), 1500);
}

TEST(Faults, HangUpThenPlugInRepointsTheLink) {
    const std::string link = ::testing::TempDir() + "quarn_sim_link_" + std::to_string(getpid());
    sim::Config cfg;
    cfg.symlink = link;
    cfg.faults[sim::Stage::Verdict].kind = sim::FaultKind::HangUp;
    cfg.faults[sim::Stage::Verdict].times = 1;
    {
        Started s(cfg);
        const std::string first = s.unit.devicePath();
        Client c(link);
        ASSERT_TRUE(c.ok());
        EXPECT_EQ(download(c, pattern(64)), -1);
        auto t0 = Clock::now();
        while (!s.unit.hungUp() && msSince(t0) < 1000)
            usleep(5000);
        ASSERT_TRUE(s.unit.hungUp());
        EXPECT_TRUE(c.farEndGone());

        ASSERT_TRUE(s.unit.plugIn());
        EXPECT_FALSE(s.unit.hungUp());
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), s.unit.devicePath());
        EXPECT_NE(s.unit.devicePath(), first);

        Client again(link);
        ASSERT_EQ(download(again, pattern(64)), 0);
        ASSERT_TRUE(s.unit.waitForSessions(1, 2000));
    }
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link outlived the simulator";
}

TEST(Faults, FloodOverrunsThePtyWithoutBlockingTheUnit) {
    const size_t floodSize = 64u << 20;
    const size_t readSize = 1u << 20;  // far more than a pty buffers
    sim::Fault flood;
    flood.kind = sim::FaultKind::Flood;
    flood.floodBytes = floodSize;
    flood.times = 1;
    sim::Config cfg;
    Started s(cfg);
    auto startFlood = [&](Client& c) {
        s.unit.setFault(sim::Stage::StartEcho, flood);
        s.unit.repower();  // the last part left the unit waiting for a password
        ASSERT_EQ(c.exchange(kHandshake, 3), kHandshake);
        ASSERT_EQ(c.exchange(kPassword, 1), Bytes{0x88});
        c.send({0x01});
    };

    // Read through the flood; a new handshake stops it.
    {
        Client c(s.unit.devicePath());
        startFlood(c);
        Bytes got = c.read(readSize, 5000);
        ASSERT_EQ(got.size(), readSize);
        EXPECT_EQ(std::count(got.begin(), got.end(), 0x55), long(readSize));
        c.send(kHandshake);
        Bytes tail;
        auto t0 = Clock::now();
        while (msSince(t0) < 3000) {
            Bytes more = c.read(65536, 200);
            tail.insert(tail.end(), more.begin(), more.end());
            if (tail.size() >= 3 && Bytes(tail.end() - 3, tail.end()) == kHandshake)
                break;
        }
        ASSERT_GE(tail.size(), 3u);
        EXPECT_EQ(Bytes(tail.end() - 3, tail.end()), kHandshake);
        EXPECT_TRUE(c.collect(100).empty());
        EXPECT_LT(s.unit.sentCount(), floodSize);
    }
    // Nobody reads and the port is closed: the flood is given up and the
    // next open starts clean.
    {
        Client c(s.unit.devicePath());
        startFlood(c);
        c.read(1, 500);
        c.close();
        usleep(800 * 1000);
        Client next(s.unit.devicePath());
        EXPECT_EQ(next.exchange(kHandshake, 3), kHandshake);
        EXPECT_TRUE(next.collect(100).empty());
    }
    // A flood that nobody reads does not hold up stop().
    Client c(s.unit.devicePath());
    startFlood(c);
    usleep(100 * 1000);
    auto t0 = Clock::now();
    s.unit.stop();
    EXPECT_LT(msSince(t0), 300);
}

TEST(Reset, PartialBlockIsDroppedByIdleOrRepower) {
    struct Row { const char* name; int idleResetMs; bool repower; bool answered; };
    const Row rows[] = {
        {"idle reset", 150, false, true},
        {"repower", 0, true, true},
        {"neither", 0, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim::Config cfg;
        cfg.idleResetMs = r.idleResetMs;
        Started s(cfg);
        Client c(s.unit.devicePath());
        ASSERT_EQ(c.exchange(kHandshake, 3), kHandshake);
        ASSERT_EQ(c.exchange(kPassword, 1), Bytes{0x88});
        ASSERT_EQ(c.exchange({0x01}, 1), Bytes{0x01});
        Bytes partial = blockMessage(pattern(64), 0, true);
        partial.resize(20);
        c.send(partial);
        if (r.repower)
            s.unit.repower();
        usleep(250 * 1000);
        EXPECT_EQ(c.exchange(kHandshake, 3, 300), r.answered ? kHandshake : Bytes{});
    }
}

TEST(Noise, SeededCorruptionIsRefusedAndRepeatable) {
    const Bytes image = pattern(20 * 64);
    std::vector<int> corrupted;
    for (int run = 0; run < 2; ++run) {
        sim::Config cfg;
        cfg.noiseRate = 0.3;
        cfg.noiseSeed = 7;
        Started s(cfg);
        Client c(s.unit.devicePath());
        int refusals = download(c, image);
        ASSERT_TRUE(s.unit.waitForSessions(1, 2000));
        const sim::SessionSummary sum = s.unit.sessions()[0];
        EXPECT_EQ(sum.image, image);
        EXPECT_GT(sum.corrupted, 0);
        EXPECT_EQ(sum.repeats, sum.corrupted);
        EXPECT_EQ(refusals, sum.repeats);
        corrupted.push_back(sum.corrupted);
    }
    EXPECT_EQ(corrupted[0], corrupted[1]);
}

TEST(Pacing, BlockExchangeTakesItsWireTime) {
    sim::Config cfg;
    cfg.baud = 9600;
    Started s(cfg);
    Client c(s.unit.devicePath());
    const Bytes image = pattern(64);
    ASSERT_EQ(c.exchange(kHandshake, 3), kHandshake);
    ASSERT_EQ(c.exchange(kPassword, 1), Bytes{0x88});
    ASSERT_EQ(c.exchange({0x01}, 1), Bytes{0x01});
    auto t0 = Clock::now();
    ASSERT_EQ(c.exchange(blockMessage(image, 0, true), 1), Bytes{0x03});
    EXPECT_GE(msSince(t0), 66 * 10 * 1000 / 9600);  // 66 bytes in, 1 out
    ASSERT_EQ(c.exchange({0x07}, 1), Bytes{0x07});
    c.send({0x0F});
    ASSERT_TRUE(s.unit.waitForSessions(1, 2000));
    const sim::SessionSummary sum = s.unit.sessions()[0];
    EXPECT_GE(sum.transferSeconds, 0.069);
    EXPECT_DOUBLE_EQ(sum.wireSeconds, double(sum.bytesIn + sum.bytesOut) * 10 / 9600);
}
