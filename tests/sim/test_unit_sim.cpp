// The simulated unit, driven from a raw POSIX client on its pseudo-terminal.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>

#include "sim/unit_sim.h"

using sim::Bytes;

Q_DECLARE_METATYPE(sim::Bytes)
Q_DECLARE_METATYPE(sim::Stage)
Q_DECLARE_METATYPE(sim::Fault)

namespace {

const Bytes kHandshake{0xAA, 0x55, 0xAA};
const Bytes kPassword{'L', 'A', 'N', 'T', 'E', 'R', 'N', 'S'};

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
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool ok() const { return fd_ >= 0; }

    void send(const Bytes& b) {
        for (size_t done = 0; done < b.size();) {
            ssize_t n = ::write(fd_, b.data() + done, b.size() - done);
            pollfd p{fd_, POLLOUT, 0};
            if (n > 0)
                done += size_t(n);
            else if (::poll(&p, 1, 1000) <= 0)
                return;
        }
    }
    // Up to n bytes, waiting at most timeoutMs in all.
    Bytes read(size_t n, int timeoutMs) {
        Bytes got;
        QElapsedTimer t;
        t.start();
        while (got.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            int left = timeoutMs - int(t.elapsed());
            if (left <= 0 || ::poll(&p, 1, left) <= 0 || !(p.revents & POLLIN)) break;
            uint8_t buf[65536];
            ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    // Everything that arrives until the line has been quiet for quietMs.
    Bytes collect(int quietMs) {
        Bytes all, more;
        while (!(more = read(4096, quietMs)).empty())
            all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    Bytes exchange(const Bytes& request, size_t replyBytes, int timeoutMs = 1000) {
        send(request);
        return read(replyBytes, timeoutMs);
    }
    // Handshake and password, answered normally.
    bool login() {
        return exchange(kHandshake, 3) == kHandshake && exchange(kPassword, 1) == Bytes{0x88};
    }
    // ... and the start byte echoed: the unit waits for the first block.
    bool begin() { return login() && exchange({0x01}, 1) == Bytes{0x01}; }
    bool farEndGone() {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
    }

private:
    int fd_ = -1;
};

// A started unit with a client on its port.
struct Rig {
    explicit Rig(sim::Config cfg)
        : unit(std::move(cfg)), started(unit.start(&error)), c(unit.devicePath()) {}
    bool ok() const { return started && c.ok(); }
    sim::UnitSim unit;
    std::string error;
    bool started;
    Client c;
};

Bytes pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(1 + i * 7);
    return b;
}

Bytes blockMessage(const Bytes& image, size_t index, bool opener) {
    Bytes data(image.begin() + long(index * 64), image.begin() + long(index * 64 + 64));
    Bytes msg;
    if (opener) msg.push_back(0x03);
    msg.push_back(uint8_t(std::accumulate(data.begin(), data.end(), 0u)));
    msg.insert(msg.end(), data.begin(), data.end());
    return msg;
}

// A well-behaved program: sends `image` (whole blocks), resending refused
// blocks; the first sending of block `badBlock` carries a wrong checksum.
// Returns the number of refusals, or -1 when the unit misbehaved.
int download(Client& c, const Bytes& image, int badBlock = -1) {
    if (!c.begin()) return -1;
    int refusals = 0;
    for (size_t i = 0; i < image.size() / 64; ++i) {
        Bytes first = blockMessage(image, i, true);
        if (int(i) == badBlock) first[1] ^= 0x01;
        Bytes verdict = c.exchange(first, 1);
        for (; verdict == Bytes{0xFF} && refusals < 100; ++refusals)
            verdict = c.exchange(blockMessage(image, i, false), 1);
        if (verdict != Bytes{0x03} || c.exchange({0x07}, 1) != Bytes{0x07}) return -1;
    }
    c.send({0x0F});
    return refusals;
}

// The exchanges of a good session of `image`, up to the end byte: request and reply.
std::vector<std::pair<Bytes, Bytes>> sessionSteps(const Bytes& image) {
    std::vector<std::pair<Bytes, Bytes>> steps = {
        {kHandshake, kHandshake}, {kPassword, {0x88}}, {{0x01}, {0x01}}};
    for (size_t i = 0; i < image.size() / 64; ++i) {
        steps.push_back({blockMessage(image, i, true), {0x03}});
        steps.push_back({{0x07}, {0x07}});
    }
    return steps;
}

sim::Fault fault(sim::FaultKind kind, Bytes bytes = {}, int onlyBlock = -1, int times = -1) {
    sim::Fault f;
    f.kind = kind;
    f.bytes = std::move(bytes);
    f.onlyBlock = onlyBlock;
    f.times = times;
    return f;
}

}  // namespace

class TestUnitSim : public QObject {
    Q_OBJECT

private slots:
    void expectedImageFollowsTheLengthRule_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("fromFile");
        const int rows[][3] = {{0, 64, 1},      {1, 64, 2},      {63, 64, 64},
                               {64, 64, 64},    {100, 128, 101}, {127, 128, 128},
                               {128, 128, 128}, {-5, 64, 1},     {32767, 32768, 200}};
        for (const auto& r : rows) QTest::addRow("%d", r[0]) << r[0] << r[1] << r[2];
    }
    void expectedImageFollowsTheLengthRule() {
        QFETCH(int, length);
        QFETCH(int, size);
        QFETCH(int, fromFile);
        const Bytes file = pattern(200);
        Bytes want(size_t(size), 0);
        std::copy_n(file.begin(), fromFile, want.begin());
        QCOMPARE(sim::expectedImage(file, length), want);
    }

    void goodSessionRecordsImageLogsAndCounters_data() {
        QTest::addColumn<int>("length");
        for (int n : {0, 64, 100, 200}) QTest::addRow("%d", n) << n;
    }
    void goodSessionRecordsImageLogsAndCounters() {
        QFETCH(int, length);
        const Bytes image = sim::expectedImage(pattern(300), length);
        const size_t blocks = image.size() / 64;
        QTemporaryDir dir;
        sim::Config cfg;
        cfg.imagePath = dir.filePath("image.bin").toStdString();
        Rig r(cfg);
        QVERIFY2(r.ok(), r.error.c_str());
        QCOMPARE(download(r.c, image), 0);
        QVERIFY(r.unit.waitForSessions(1, 2000));

        Bytes wantSent, wantReceived;
        for (const auto& [request, reply] : sessionSteps(image)) {
            wantReceived.insert(wantReceived.end(), request.begin(), request.end());
            wantSent.insert(wantSent.end(), reply.begin(), reply.end());
        }
        wantReceived.push_back(0x0F);
        QCOMPARE(r.unit.sent(), wantSent);
        QCOMPARE(r.unit.received(), wantReceived);

        const sim::SessionSummary sum = r.unit.sessions().at(0);
        QVERIFY(sum.complete);
        QCOMPARE(sum.image, image);
        QCOMPARE(sum.blocks, int(blocks));
        QCOMPARE(sum.bytes, image.size());
        QCOMPARE(sum.repeats, 0);
        QCOMPARE(sum.bytesIn, 1 + blocks * 67 + 1);
        QCOMPARE(sum.bytesOut, 1 + blocks * 2);
        QCOMPARE(sum.wireSeconds, double(sum.bytesIn + sum.bytesOut) * 10 / 9600);
        QVERIFY(sum.transferSeconds > 0);
        std::ifstream f(cfg.imagePath, std::ios::binary);
        QCOMPARE(Bytes(std::istreambuf_iterator<char>(f), {}), image);
    }

    // Each session: the bad checksum is sent again, the configured refusals come again.
    void refusedBlocksAreRepeatedEverySession_data() {
        QTest::addColumn<int>("refuseBlock");
        QTest::addColumn<int>("refuseTimes");
        QTest::addColumn<int>("badBlock");
        QTest::addColumn<int>("repeats");
        QTest::newRow("bad checksum") << -1 << 0 << 0 << 1;
        QTest::newRow("block 1 refused twice") << 1 << 2 << -1 << 2;
    }
    void refusedBlocksAreRepeatedEverySession() {
        QFETCH(int, refuseBlock);
        QFETCH(int, refuseTimes);
        QFETCH(int, badBlock);
        QFETCH(int, repeats);
        sim::Config cfg;
        cfg.refuseBlock = refuseBlock;
        cfg.refuseTimes = refuseTimes;
        Rig r(cfg);
        QVERIFY2(r.ok(), r.error.c_str());
        const Bytes image = pattern(192);
        for (size_t n = 1; n <= 2; ++n) {
            QCOMPARE(download(r.c, image, badBlock), repeats);
            QVERIFY(r.unit.waitForSessions(n, 2000));
            QCOMPARE(r.unit.sessions().back().repeats, repeats);
            QCOMPARE(r.unit.sessions().back().image, image);
        }
    }

    void faultChangesTheReplyOfItsStage_data() {
        using K = sim::FaultKind;
        using S = sim::Stage;
        QTest::addColumn<sim::Stage>("stage");
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<int>("step");  // of sessionSteps(pattern(128))
        QTest::addColumn<Bytes>("reply");
        QTest::addColumn<bool>("completes");
        QTest::newRow("handshake silent")
            << S::Handshake << fault(K::Silence) << 0 << Bytes{} << false;
        QTest::newRow("handshake wrong") << S::Handshake << fault(K::WrongByte, {0xAA, 0x55, 0xAB})
                                         << 0 << Bytes{0xAA, 0x55, 0xAB} << false;
        QTest::newRow("login wrong")
            << S::Login << fault(K::WrongByte, {0x08}) << 1 << Bytes{0x08} << false;
        QTest::newRow("login extra") << S::Login << fault(K::ExtraBytes, {0x01, 0x02}) << 1
                                     << Bytes{0x88, 0x01, 0x02} << true;
        QTest::newRow("start wrong")
            << S::StartEcho << fault(K::WrongByte, {0x02}) << 2 << Bytes{0x02} << false;
        QTest::newRow("verdict wrong on block 1 only")
            << S::Verdict << fault(K::WrongByte, {0x15}, 1) << 5 << Bytes{0x15} << false;
        QTest::newRow("confirm silent once")
            << S::ConfirmEcho << fault(K::Silence, {}, -1, 1) << 4 << Bytes{} << true;
        QTest::newRow("confirm extra")
            << S::ConfirmEcho << fault(K::ExtraBytes, {0x07}) << 4 << Bytes{0x07, 0x07} << false;
    }
    void faultChangesTheReplyOfItsStage() {
        QFETCH(sim::Stage, stage);
        QFETCH(sim::Fault, fault);
        QFETCH(int, step);
        QFETCH(Bytes, reply);
        QFETCH(bool, completes);
        const Bytes image = pattern(128);
        const auto steps = sessionSteps(image);
        sim::Config cfg;
        cfg.faults[stage] = fault;
        Rig r(cfg);
        QVERIFY2(r.ok(), r.error.c_str());
        for (int i = 0; i < step; ++i)
            QCOMPARE(r.c.exchange(steps[i].first, steps[i].second.size()), steps[i].second);
        r.c.send(steps[step].first);
        QCOMPARE(r.c.collect(150), reply);
        if (!completes) return;
        // The fault has had its say (or the program ignores the extra bytes): the session goes on.
        for (size_t i = step + 1; i < steps.size(); ++i)
            QCOMPARE(r.c.exchange(steps[i].first, steps[i].second.size()), steps[i].second);
        r.c.send({0x0F});
        QVERIFY(r.unit.waitForSessions(1, 2000));
        QCOMPARE(r.unit.sessions()[0].image, image);
    }

    void replyIsHeldBack_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("loginDelayMs");
        QTest::addColumn<int>("step");  // of sessionSteps(pattern(128))
        QTest::addColumn<int>("minMs");
        QTest::newRow("login delayed 300 ms") << 0 << 300 << 1 << 280;
        QTest::newRow("block paced at 9600 bit/s") << 9600 << 0 << 3 << 66 * 10 * 1000 / 9600;
    }
    void replyIsHeldBack() {
        QFETCH(int, baud);
        QFETCH(int, loginDelayMs);
        QFETCH(int, step);
        QFETCH(int, minMs);
        sim::Config cfg;
        cfg.baud = baud;
        if (loginDelayMs) {
            cfg.faults[sim::Stage::Login] = fault(sim::FaultKind::Delay);
            cfg.faults[sim::Stage::Login].delayMs = loginDelayMs;
        }
        Rig r(cfg);
        QVERIFY2(r.ok(), r.error.c_str());
        const auto steps = sessionSteps(pattern(128));
        for (int i = 0; i < step; ++i)
            QCOMPARE(r.c.exchange(steps[i].first, steps[i].second.size()), steps[i].second);
        QElapsedTimer t;
        t.start();
        QCOMPARE(r.c.exchange(steps[step].first, 1, 2000), steps[step].second);
        QVERIFY2(t.elapsed() >= minMs && t.elapsed() < 1500,
                 qPrintable(QString::number(t.elapsed())));
    }

    void hangUpThenPlugInRepointsTheLink() {
        QTemporaryDir dir;
        const std::string link = dir.filePath("COM1").toStdString();
        sim::Config cfg;
        cfg.symlink = link;
        cfg.faults[sim::Stage::Verdict] = fault(sim::FaultKind::HangUp, {}, -1, 1);
        {
            sim::UnitSim unit(cfg);
            QVERIFY(unit.start());
            const std::string first = unit.devicePath();
            Client c(link);
            QVERIFY(c.ok());
            QCOMPARE(download(c, pattern(64)), -1);
            QTRY_VERIFY_WITH_TIMEOUT(unit.hungUp(), 1000);
            QVERIFY(c.farEndGone());

            QVERIFY(unit.plugIn());
            QVERIFY(!unit.hungUp());
            QCOMPARE(QFile::symLinkTarget(QString::fromStdString(link)),
                     QString::fromStdString(unit.devicePath()));
            QVERIFY(unit.devicePath() != first);
            Client again(link);
            QCOMPARE(download(again, pattern(64)), 0);
            QVERIFY(unit.waitForSessions(1, 2000));
        }
        struct stat st {};
        QVERIFY2(lstat(link.c_str(), &st) != 0, "the link outlived the simulator");
    }

    void floodOverrunsThePtyWithoutBlockingTheUnit() {
        const size_t floodSize = 64u << 20;
        const size_t readSize = 1u << 20;  // far more than a pty buffers
        sim::Fault flood = fault(sim::FaultKind::Flood, {}, -1, 1);
        flood.floodBytes = floodSize;
        sim::UnitSim unit{sim::Config{}};
        QVERIFY(unit.start());
        auto startFlood = [&](Client& c) {
            unit.setFault(sim::Stage::StartEcho, flood);
            unit.repower();  // the last part left the unit waiting for a password
            bool ok = c.login();
            c.send({0x01});
            return ok;
        };

        // Read through the flood; a new handshake stops it.
        {
            Client c(unit.devicePath());
            QVERIFY(startFlood(c));
            Bytes got = c.read(readSize, 5000);
            QCOMPARE(got.size(), readSize);
            QCOMPARE(size_t(std::count(got.begin(), got.end(), 0x55)), readSize);
            c.send(kHandshake);
            const Bytes tail = c.collect(200);  // the rest of the flood, then the echo
            QVERIFY(tail.size() >= 3);
            QCOMPARE(Bytes(tail.end() - 3, tail.end()), kHandshake);
            QVERIFY(unit.sentCount() < floodSize);
        }
        // Nobody reads and the port is closed: the flood is given up and the
        // next open starts clean.
        {
            Client c(unit.devicePath());
            QVERIFY(startFlood(c));
            c.read(1, 500);
            c.close();
            usleep(800 * 1000);
            Client next(unit.devicePath());
            QCOMPARE(next.exchange(kHandshake, 3), kHandshake);
            QCOMPARE(next.collect(100), Bytes{});
        }
        // A flood that nobody reads does not hold up stop().
        Client c(unit.devicePath());
        QVERIFY(startFlood(c));
        usleep(100 * 1000);
        QElapsedTimer t;
        t.start();
        unit.stop();
        QVERIFY2(t.elapsed() < 300, qPrintable(QString::number(t.elapsed())));
    }

    void partialBlockIsDroppedByIdleOrRepower_data() {
        QTest::addColumn<int>("idleResetMs");
        QTest::addColumn<bool>("repower");
        QTest::addColumn<bool>("answered");
        QTest::newRow("idle reset") << 150 << false << true;
        QTest::newRow("repower") << 0 << true << true;
        QTest::newRow("neither") << 0 << false << false;
    }
    void partialBlockIsDroppedByIdleOrRepower() {
        QFETCH(int, idleResetMs);
        QFETCH(bool, repower);
        QFETCH(bool, answered);
        sim::Config cfg;
        cfg.idleResetMs = idleResetMs;
        Rig r(cfg);
        QVERIFY2(r.ok(), r.error.c_str());
        QVERIFY(r.c.begin());
        Bytes partial = blockMessage(pattern(64), 0, true);
        partial.resize(20);
        r.c.send(partial);
        if (repower) r.unit.repower();
        usleep(250 * 1000);
        QCOMPARE(r.c.exchange(kHandshake, 3, 300), answered ? kHandshake : Bytes{});
    }

    // A handshake starts a new session wherever the unit can tell it from
    // what it waits for (the password, the start byte), so a unit in its
    // socket answers every probe; inside a block the same bytes are data.
    void handshakeStartsANewSessionOutsideBlocks() {
        Rig r({});
        QVERIFY2(r.ok(), r.error.c_str());
        QCOMPARE(r.c.exchange(kHandshake, 3), kHandshake);
        QCOMPARE(r.c.exchange(kHandshake, 3), kHandshake);  // while it waits for the password
        QVERIFY(r.c.login());
        QCOMPARE(r.c.exchange(kHandshake, 3), kHandshake);  // while it waits for the start byte
        QCOMPARE(r.unit.logins(), 1);
        QVERIFY(r.c.begin());
        QCOMPARE(r.c.exchange({0x03, 0x00, 0xAA, 0x55, 0xAA}, 3, 300), Bytes{});
    }

    void seededNoiseIsRefusedAndRepeatable() {
        const Bytes image = pattern(20 * 64);
        std::vector<int> corrupted;
        for (int run = 0; run < 2; ++run) {
            sim::Config cfg;
            cfg.noiseRate = 0.3;
            cfg.noiseSeed = 7;
            Rig r(cfg);
            QVERIFY2(r.ok(), r.error.c_str());
            int refusals = download(r.c, image);
            QVERIFY(r.unit.waitForSessions(1, 2000));
            const sim::SessionSummary sum = r.unit.sessions()[0];
            QCOMPARE(sum.image, image);
            QVERIFY(sum.corrupted > 0);
            QCOMPARE(sum.repeats, sum.corrupted);
            QCOMPARE(refusals, sum.repeats);
            corrupted.push_back(sum.corrupted);
        }
        QCOMPARE(corrupted[0], corrupted[1]);
    }
};

QTEST_GUILESS_MAIN(TestUnitSim)
#include "test_unit_sim.moc"
