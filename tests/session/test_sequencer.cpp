// Whole download sessions run by the download window against the unit
// simulator: every way a session can end, how it leaves the window, and that
// a good download is reported only when the unit got the right image.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <functional>
#include <vector>

#include "app/forms.h"
#include "core/settings.h"
#include "info/form14.h"
#include "session/form24.h"
#include "tests/support/test_support.h"
#include "tests/support/window_rig.h"
#include "ui/form_registry.h"
#include "ui/globals.h"

using namespace quarn;
using namespace testsupport;

namespace {

// A download window with a download file, COM1 on a simulator, the fast clock.
struct Rig : WindowRig {
    explicit Rig(sim::Config cfg = {}, int length = 100, int fileSize = 101)
        : WindowRig(cfg, length, fileSize, 7, QStringLiteral("Quarn Test Download")) {
        boxes.onBox = nullptr;  // the sequencer's cases answer the boxes themselves
    }
};

// A settings file at path with [images] require-approved=true.
void requireApproval(const QString& path) {
    Settings settings(path);
    settings.setValue(SettingKey::ImagesRequireApproved, true);
    QVERIFY(settings.save(nullptr));
}

}  // namespace

class TestSequencer : public ProgramTest {
    Q_OBJECT
private slots:
    void goodDownload();
    void secondCallWhileRunningOnlyDisablesReload();
    void noPortSelected();
    void missingOrShortDownloadFile_data();
    void missingOrShortDownloadFile();
    void portThatCannotOpen();
    void unapprovedImageIsNotSent();
    void approvalCheckedOffTheWindowThread();
    void failedSessionsEndStates_data();
    void failedSessionsEndStates();
    void badReplyUnloadsTheInfoWindow();
    void lastConfirmEchoInTheTimeoutPassIsNoSuccess();
    void exitAtEachWait_data();
    void exitAtEachWait();
    void reloadAfterAFailedHandshake();
};

void TestSequencer::goodDownload() {
    Rig rig;
    QString lineDuringEndBox;
    bool unloadedDuringBox = true;
    rig.boxes.onBox = [&](const Box& b) {
        if (b.prompt != kEndMessage) return;
        lineDuringEndBox = rig.f->Label2->text();
        unloadedDuringBox = !rig.f->isLoaded();
    };
    const QString initialLine = rig.f->Label2->text();
    rig.f->Start_Download();

    QCOMPARE(initialLine, kLineInitial);
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QCOMPARE(rig.boxes.boxes[0].prompt, kEndMessage);
    QCOMPARE(rig.boxes.boxes[0].style, 0);
    QCOMPARE(rig.boxes.boxes[0].title, QStringLiteral("INFO!"));
    QCOMPARE(lineDuringEndBox, kLineGood);
    QVERIFY(!unloadedDuringBox);
    QCOMPARE(rig.f->windowTitle(), QStringLiteral("Quarn Test Download"));
    QVERIFY(!rig.f->isLoaded());
    QVERIFY(!rig.f->isVisible());
    QCOMPARE(programEndCode(), 0);
    QVERIFY(rig.f->Download_start);
    QVERIFY(!rig.f->File1.isOpen());
    QVERIFY(!rig.f->link.MSComm1.portOpen());
    QCOMPARE(indicatorOf(rig.f), Indicator::Ready);
    QVERIFY(rig.port->unit().waitForSessions(1, 2000));
    QCOMPARE(toQByteArray(rig.port->unit().sessions()[0].image),
             toQByteArray(sim::expectedImage(toBytes(rig.file), 100)));
    QCOMPARE(rig.f->TransmitblockLabel->text(), QStringLiteral("F"));
    QCOMPARE(rig.f->RecieveblockLabel->text(), QStringLiteral("7"));
    QCOMPARE(rig.f->TransmitCounterLabel->text(), QString::number(2 + 1 + 2 * 65 + 1));
    QCOMPARE(rig.f->RecieveCounterLabel->text(), QString::number(2 + 1 + 2 * 2));
}

void TestSequencer::secondCallWhileRunningOnlyDisablesReload() {
    Rig rig;
    rig.f->Download_start = true;
    rig.f->TransmitblockLabel->setText(QStringLiteral("kept"));
    rig.f->Start_Download();
    QVERIFY(!rig.f->ReloadCommand->isEnabled());
    QCOMPARE(rig.f->windowTitle(), QStringLiteral("Quarn Test Download"));
    QCOMPARE(rig.f->TransmitblockLabel->text(), QStringLiteral("kept"));
    QVERIFY(rig.boxes.boxes.isEmpty());
    QVERIFY(rig.f->Download_start);
    QVERIFY(!rig.f->link.MSComm1.portOpen());
}

void TestSequencer::noPortSelected() {
    Rig rig;
    Com_port = 0;
    Download_file = rig.dir.filePath(QStringLiteral("not-there.bin"));
    rig.f->Start_Download();
    QCOMPARE(rig.boxes.prompts(), QStringList{"Please select com port under Link Status."});
    QCOMPARE(rig.boxes.boxes[0].style, 64);
    QVERIFY(!rig.f->Download_start);
    QVERIFY(!rig.f->ReloadCommand->isEnabled());
    QVERIFY(!QFile::exists(Download_file));
    QVERIFY(!rig.f->link.MSComm1.portOpen());
    QCOMPARE(rig.f->TransmitCounterLabel->text(), QStringLiteral("0"));  // monitors cleared
    QCOMPARE(rig.f->LastRecieveblockLabel->text(), QString());
}

void TestSequencer::missingOrShortDownloadFile_data() {
    QTest::addColumn<int>("fileSize");  // -1: no file
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("box");
    QTest::newRow("missing") << -1 << 100 << "Download file not found: %1";
    QTest::newRow("short") << 10 << 64 << "Download file too short: %1 holds 10 bytes, 64 needed.";
    QTest::newRow("empty, length 0")
        << 0 << 0 << "Download file too short: %1 holds 0 bytes, 1 needed.";
    QTest::newRow("empty, negative length")
        << 0 << -3 << "Download file too short: %1 holds 0 bytes, 1 needed.";
    QTest::newRow("one byte short of 100")
        << 99 << 100 << "Download file too short: %1 holds 99 bytes, 100 needed.";
}

void TestSequencer::missingOrShortDownloadFile() {
    QFETCH(int, fileSize);
    QFETCH(int, length);
    QFETCH(QString, box);
    Rig rig({}, length);
    Download_file = rig.dir.filePath(QStringLiteral("download.bin"));
    if (fileSize >= 0)
        writeFile(rig.dir.path(), QStringLiteral("download.bin"), patternBytes(fileSize));
    rig.f->Start_Download();
    QCOMPARE(rig.boxes.prompts(), QStringList{box.arg(Download_file)});
    QCOMPARE(rig.boxes.boxes[0].style, 48);
    QCOMPARE(rig.boxes.boxes[0].title, QStringLiteral("INFO!"));
    QCOMPARE(QFile::exists(Download_file), fileSize >= 0);  // no stray file is made
    QVERIFY(!rig.f->Download_start);
    QVERIFY(rig.f->ReloadCommand->isEnabled());
    QVERIFY(!rig.f->File1.isOpen());
    QVERIFY(!rig.f->link.MSComm1.portOpen());
    QTest::qWait(30);
    QVERIFY(rig.wire().isEmpty());  // the port was never touched
}

// With the approved list required and no database to ask, the box gives the
// reason before the handshake, and nothing reaches the port.
void TestSequencer::unapprovedImageIsNotSent() {
    Rig rig;
    QTemporaryDir config;
    requireApproval(config.filePath(QStringLiteral("quarn-download.conf")));
    const QByteArray was = qgetenv("QUARN_CONFIG_DIR");
    qputenv("QUARN_CONFIG_DIR", config.path().toLocal8Bit());
    qunsetenv("QUARN_DB");
    rig.f->Start_Download();
    qputenv("QUARN_CONFIG_DIR", was);
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QVERIFY2(rig.boxes.boxes[0].prompt.endsWith(
                 QStringLiteral(" (image.bin, 100 bytes) cannot be approved: no database is "
                                "configured")),
             qPrintable(rig.boxes.boxes[0].prompt));
    QVERIFY(rig.boxes.boxes[0].informative.contains(QStringLiteral("Quarn Test Download, ")));
    QVERIFY(!rig.f->Download_start && rig.f->ReloadCommand->isEnabled());
    QTest::qWait(30);
    QVERIFY(rig.wire().isEmpty());
}

namespace {

// A Unix socket that takes connections (the system queues them) and never
// answers, as a server that has stopped would; closing it drops them.
int silentSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path, name.constData(), size_t(name.size()));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0)
        return ::close(fd), -1;
    return fd;
}

}  // namespace

// The approved list is required and the database accepts the connection and
// then says nothing: the window goes on answering while it is asked (a timer
// keeps firing), and the refusal comes once the database has gone. An image
// that cannot be read cannot be checked: refused as such, never left to the
// session.
void TestSequencer::approvalCheckedOffTheWindowThread() {
    Rig rig;
    QTemporaryDir env;
    requireApproval(env.filePath(QStringLiteral("quarn-download.conf")));
    int silent = silentSocket(env.filePath(QStringLiteral(".s.PGSQL.5432")));
    QVERIFY(silent >= 0);
    const auto closeSilent = qScopeGuard([&] {
        if (silent >= 0) ::close(silent);
    });
    const QByteArray wasConfig = qgetenv("QUARN_CONFIG_DIR"), wasState = qgetenv("XDG_STATE_HOME");
    qputenv("QUARN_CONFIG_DIR", env.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", env.filePath(QStringLiteral("state")).toLocal8Bit());  // no copy
    qputenv("QUARN_DB",
            "postgresql:///postgres?user=quarn&connect_timeout=5&host=" + env.path().toLocal8Bit());
    int ticks = 0, ticksAtBox = -1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks < 10 || silent < 0) return;
        ::close(silent);  // after ten ticks of the window's loop, the database goes away
        silent = -1;
    });
    tick.start(20);
    rig.boxes.onBox = [&](const Box&) { ticksAtBox = ticks; };
    rig.f->Start_Download();
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QVERIFY2(ticksAtBox >= 10, qPrintable(QString::number(ticksAtBox)));
    QVERIFY2(rig.boxes.boxes[0].prompt.startsWith(QStringLiteral("the image ")),
             qPrintable(rig.boxes.boxes[0].prompt));
    rig.clearBoxes();
    QVERIFY(QFile::remove(rig.filePath));
    rig.f->Start_Download();
    qputenv("QUARN_CONFIG_DIR", wasConfig);
    qputenv("XDG_STATE_HOME", wasState);
    qunsetenv("QUARN_DB");
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QCOMPARE(rig.boxes.boxes[0].prompt, QStringLiteral("Download file not found: ") + rig.filePath);
    QCOMPARE(rig.boxes.boxes[0].title, QStringLiteral("ERROR!"));
    QVERIFY(rig.boxes.boxes[0].informative.startsWith(QStringLiteral("Nothing was sent")));
    QVERIFY(!rig.f->Download_start && rig.f->ReloadCommand->isEnabled());
    QTest::qWait(30);
    QVERIFY(rig.wire().isEmpty());
}

void TestSequencer::portThatCannotOpen() {
    Rig rig;
    qputenv("QUARN_COM1", "/nonexistent/quarn-com1");
    rig.f->Start_Download();
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QVERIFY(rig.boxes.boxes[0].prompt.startsWith(QStringLiteral("Cannot open COM1: ")));
    QVERIFY(rig.boxes.boxes[0].prompt.contains(QStringLiteral("/nonexistent/quarn-com1")));
    // The same reason the port window gives.
    QCOMPARE(rig.boxes.boxes[0].informative,
             QStringLiteral("/nonexistent/quarn-com1: nothing is plugged in at that name. Plug the "
                            "adapter in, or choose another port."));
    QCOMPARE(rig.boxes.boxes[0].title, QStringLiteral("ERROR!"));
    QCOMPARE(rig.boxes.boxes[0].style, 48);
    QCOMPARE(indicatorOf(rig.f), Indicator::Failure);
    QVERIFY(rig.f->ReloadCommand->isEnabled());
    QVERIFY(!rig.f->Download_start);
    QVERIFY(!rig.f->File1.isOpen());
}

namespace {
struct EndCase {
    const char* name;
    sim::Config config;
    std::function<void(Rig&)> arrange;  // e.g. a Cancel at some wait
    Indicator indicator;
    QString box;  // also the message line once the box is answered
    QString why;  // what the box's informative text starts with
    bool portOpen;
};

std::vector<EndCase> endCases() {
    using K = sim::FaultKind;
    using S = sim::Stage;
    std::vector<EndCase> cases;
    auto cfg = [](S stage, sim::Fault f) {
        sim::Config c;
        c.faults[stage] = f;
        return c;
    };
    auto cancelAt = [](Wait w) {
        return [w](Rig& r) { r.atWait(w, [&r] { r.f->StopCommand->click(); }); };
    };
    const QString noReply = QStringLiteral("No reply from the unit within 0.16 s");
    const QString wrong = QStringLiteral("The unit refused or answered wrongly");
    const QString byYou = QStringLiteral("Stopped by you");
    cases.push_back({"no handshake reply", cfg(S::Handshake, makeFault(K::Silence)), nullptr,
                     Indicator::Failure, kHandshakeBox, noReply + ".", false});
    cases.push_back({"wrong handshake reply",
                     cfg(S::Handshake, makeFault(K::WrongByte, "\xAA\x55\xAB")), nullptr,
                     Indicator::Failure, kHandshakeBox, wrong, false});
    cases.push_back({"cancel in the pre-send wait", sim::Config{}, cancelAt(Wait::PreSend),
                     Indicator::Failure, kHandshakeBox, byYou + ".", false});
    cases.push_back({"cancel in the handshake reply wait", cfg(S::Handshake, makeFault(K::Silence)),
                     cancelAt(Wait::HandshakeReply), Indicator::Failure, kHandshakeBox, byYou + ".",
                     false});
    cases.push_back({"no login reply", cfg(S::Login, makeFault(K::Silence)), nullptr,
                     Indicator::Failure, kLoginBox, noReply + ".", false});
    cases.push_back({"login refused", cfg(S::Login, makeFault(K::WrongByte, "\x08")), nullptr,
                     Indicator::Failure, kLoginBox, wrong, false});
    cases.push_back({"cancel in the login wait", cfg(S::Login, makeFault(K::Silence)),
                     cancelAt(Wait::LoginReply), Indicator::Failure, kLoginBox, byYou + ".",
                     false});
    cases.push_back({"cancel in the transfer", cfg(S::ConfirmEcho, makeFault(K::Silence)),
                     cancelAt(Wait::Transfer), Indicator::Ready, kStopBox,
                     byYou + " at block 1 of 2.", true});
    cases.push_back({"no verdict", cfg(S::Verdict, makeFault(K::Silence)), nullptr,
                     Indicator::Ready, kStopBox, noReply + " at block 1 of 2.", true});
    cases.push_back({"wrong start echo", cfg(S::StartEcho, makeFault(K::WrongByte, "\x02")),
                     nullptr, Indicator::Ready, kStopBox, wrong, true});
    cases.push_back({"verdict 0x15", cfg(S::Verdict, makeFault(K::WrongByte, "\x15")), nullptr,
                     Indicator::Ready, kStopBox, wrong + " at block 1 of 2", true});
    cases.push_back({"wrong confirm echo", cfg(S::ConfirmEcho, makeFault(K::WrongByte, "\x08")),
                     nullptr, Indicator::Ready, kStopBox, wrong + " at block 1 of 2", true});
    return cases;
}
}  // namespace

void TestSequencer::failedSessionsEndStates_data() {
    QTest::addColumn<int>("index");
    const auto cases = endCases();
    for (size_t i = 0; i < cases.size(); ++i) QTest::newRow(cases[i].name) << int(i);
}

void TestSequencer::failedSessionsEndStates() {
    QFETCH(int, index);
    const EndCase c = endCases()[static_cast<size_t>(index)];
    Rig rig(c.config);
    if (c.arrange) c.arrange(rig);
    rig.f->Start_Download();
    QCOMPARE(rig.boxes.prompts(), QStringList{c.box});
    QCOMPARE(rig.boxes.boxes[0].style, c.box == kStopBox ? 0 : 64);
    // Once the box is answered the window says what happened, and Reload is the way on.
    QCOMPARE(rig.f->Label2->text(), c.box);
    // ... all of it, inside its panel and below the panel's title.
    const QLabel* line = rig.f->Label2;
    const QRect room = line->contentsRect();
    QVERIFY(line->wordWrap() || line->fontMetrics().horizontalAdvance(c.box) <= room.width());
    QVERIFY(line->fontMetrics().boundingRect(room, Qt::TextWordWrap, c.box).height() <=
            room.height());
    QVERIFY(line->geometry().top() > rig.f->Label31->geometry().bottom());
    QVERIFY(line->geometry().bottom() < rig.f->SSPanel1->height());
    const QString informative = rig.boxes.boxes[0].informative;
    QVERIFY2(informative.startsWith(c.why), qPrintable(informative));
    // A transfer that began leaves a partial program: the box says so.
    QCOMPARE(informative.contains(QStringLiteral("download it again before use")),
             c.box == kStopBox);
    QCOMPARE(indicatorOf(rig.f), c.indicator);
    QVERIFY(rig.f->ReloadCommand->isEnabled());
    QCOMPARE(rig.f->link.MSComm1.portOpen(), c.portOpen);
    QVERIFY(!rig.f->Download_start);
    QVERIFY(!rig.f->File1.isOpen());
    QVERIFY(rig.f->isLoaded());
    QCOMPARE(programEndCode(), -1);
    QTest::qWait(30);
    QVERIFY(!rig.wire().endsWith('\x0F'));
    QVERIFY(rig.port->unit().sessions().empty());
}

void TestSequencer::badReplyUnloadsTheInfoWindow() {
    sim::Config cfg;
    cfg.faults[sim::Stage::Verdict] = makeFault(sim::FaultKind::WrongByte, "\x15");
    Rig rig(cfg);
    rig.f->mnu_help_info->trigger();
    QVERIFY(form14IfLoaded());
    rig.f->Start_Download();
    QVERIFY(!form14IfLoaded());
    QVERIFY(!rig.f->mnu_help_info->isChecked());
    QVERIFY(rig.f->isLoaded());
    QCOMPARE(rig.f->RecieveblockLabel->text(), QStringLiteral("15"));
}

void TestSequencer::lastConfirmEchoInTheTimeoutPassIsNoSuccess() {
    Rig rig({}, 64, 64);
    // Handshake, login, start echo and the one verdict make four replies; the
    // fifth is the last confirm echo: let the time-out rise in its pass.
    bool fired = false;
    onEachPass(rig.f->link, [&] {
        DownloadLink& l = rig.f->link;
        if (!fired && l.Recieve_counter == 4 && l.MSComm1.inBufferCount() >= 1) {
            for (int i = 0; i < l.Timeout_timer; ++i) l.Timer2_Timer();
            fired = true;
        }
    });
    rig.f->Start_Download();
    QVERIFY(fired);
    QCOMPARE(rig.boxes.prompts(), QStringList{kStopBox});
    QVERIFY(rig.f->isLoaded());
    QCOMPARE(rig.f->Label2->text(), kStopBox);
    QTRY_VERIFY(rig.wire().endsWith('\x0F'));  // the end byte still went out, as the unit expects
}

void TestSequencer::exitAtEachWait_data() {
    QTest::addColumn<int>("wait");
    QTest::newRow("pre-send wait") << int(Wait::PreSend);
    QTest::newRow("handshake reply") << int(Wait::HandshakeReply);
    QTest::newRow("one-second delay") << int(Wait::Delay);
    QTest::newRow("login reply") << int(Wait::LoginReply);
    QTest::newRow("transfer") << int(Wait::Transfer);
}

void TestSequencer::exitAtEachWait() {
    QFETCH(int, wait);
    sim::Config cfg;
    cfg.baud = 9600;  // slow enough that every wait is really waited
    Rig rig(cfg, 1000, 1001);
    rig.f->mnu_help_info->trigger();
    rig.atWait(static_cast<Wait>(wait), [&rig] { rig.f->ExitCommand->click(); });
    rig.f->Start_Download();
    QVERIFY(rig.boxes.boxes.isEmpty());  // the program ends without a word
    QVERIFY(!rig.f->isLoaded());
    QVERIFY(!form14IfLoaded());
    QCOMPARE(programEndCode(), 0);
    QVERIFY(!rig.f->link.MSComm1.portOpen());
    QVERIFY(Program_end);
    QVERIFY(rig.port->unit().sessions().empty());
}

void TestSequencer::reloadAfterAFailedHandshake() {
    sim::Config cfg;
    cfg.faults[sim::Stage::Handshake] = makeFault(sim::FaultKind::Silence, {}, 1);
    Rig rig(cfg);
    rig.boxes.onBox = [&](const Box& b) {
        if (b.prompt == kRepowerBox) rig.port->unit().repower();
    };
    rig.f->Start_Download();
    QCOMPARE(rig.boxes.prompts(), QStringList{kHandshakeBox});
    QVERIFY(rig.f->ReloadCommand->isEnabled());
    rig.f->ReloadCommand->click();
    QCOMPARE(rig.boxes.prompts(), (QStringList{kHandshakeBox, kRepowerBox, kEndMessage}));
    QCOMPARE(rig.boxes.boxes[1].style, 64);
    QVERIFY(!rig.f->isLoaded());
    QVERIFY(rig.port->unit().waitForSessions(1, 2000));
    QCOMPARE(toQByteArray(rig.port->unit().sessions()[0].image),
             toQByteArray(sim::expectedImage(toBytes(rig.file), 100)));
}

QTEST_MAIN(TestSequencer)
#include "test_sequencer.moc"
