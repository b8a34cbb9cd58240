// The download window itself: its layout in twips, its fixed size, the
// commands and the Help menu, the ticker and the port opening.

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/forms.h"
#include "info/form14.h"
#include "session/form24.h"
#include "tests/support/test_support.h"
#include "ui/form_registry.h"
#include "ui/globals.h"
#include "ui/ui_util.h"

using namespace quarn;
using namespace testsupport;

class TestDownloadWindow : public ProgramTest {
    Q_OBJECT
private slots:
    void controlsSitWhereTheDesignPutsThem_data();
    void controlsSitWhereTheDesignPutsThem();
    void labelColours_data();
    void labelColours();
    void initialState();
    void sizeIsRestoredAfterAnyResize();
    void cancelWithoutASession();
    void helpInfoOpensOnceAndAgainAfterClosing();
    void infoWindowsAreFreedAfterClosing();
    void exitUnloadsEverything();
    void exitAtEachWaitClosesTheDownloadFile_data();
    void exitAtEachWaitClosesTheDownloadFile();
    void tickerRaisesTheTimeoutOnTheEighthTick();
    void tickerCountWrapsAt255();
    void openComCases_data();
    void openComCases();
    void idleWaitCostsNoCpu();
};

void TestDownloadWindow::controlsSitWhereTheDesignPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    // The window's one table of places; what is checked is that the built
    // window follows it, and that each control the window names is in it.
    for (const Form24::ControlPlace& c : Form24::designLayout())
        QTest::newRow(qPrintable(c.name)) << c.name << c.parent << c.twips << c.caption;
}

void TestDownloadWindow::controlsSitWhereTheDesignPutsThem() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    Form24* f = form24();
    QWidget* w = f->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->parentWidget()->objectName(),
             parent.isEmpty() ? QStringLiteral("Form24Client") : parent);
    const QList<QWidget*> named{f->SSPanel1,
                                f->SSPanel11,
                                f->SSPanel12,
                                f->SSPanel13,
                                f->Label2,
                                f->Label30,
                                f->Label31,
                                f->Label35,
                                f->Label36,
                                f->Label38,
                                f->Label44,
                                f->TransmitblockLabel,
                                f->LastTransmitblockLabel,
                                f->TransmitCounterLabel,
                                f->RecieveblockLabel,
                                f->LastRecieveblockLabel,
                                f->RecieveCounterLabel,
                                f->Com_select[0],
                                f->Com_select[1],
                                f->Com_select[2],
                                f->Com_select[3],
                                f->StatusPanel[0],
                                f->StatusPanel[1],
                                f->StatusPanel[2],
                                f->StopCommand,
                                f->ReloadCommand,
                                f->ExitCommand};
    QVERIFY2(named.contains(w), "the window's member for this control is another widget");
    const int dpi = w->logicalDpiX();
    const QRect g = w->geometry();
    // Within one pixel's rounding of the design value.
    const int tolerance = 1440 / dpi;
    QVERIFY(qAbs(pixelsToTwips(g.x(), dpi) - twips.x()) <= tolerance);
    QVERIFY(qAbs(pixelsToTwips(g.y(), dpi) - twips.y()) <= tolerance);
    QVERIFY(qAbs(pixelsToTwips(g.width(), dpi) - twips.width()) <= tolerance);
    QVERIFY(qAbs(pixelsToTwips(g.height(), dpi) - twips.height()) <= tolerance);
    if (auto* label = qobject_cast<QLabel*>(w)) QCOMPARE(label->text(), caption);
    if (auto* button = qobject_cast<QAbstractButton*>(w)) QCOMPARE(button->text(), caption);
}

void TestDownloadWindow::labelColours_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("back");
    QTest::addColumn<uint>("text");
    const uint black = 0x000000, yellow = 0x00FFFF, white = 0xFFFFFF, green = 0x80FF80;
    for (const char* name :
         {"Label2", "TransmitblockLabel", "LastTransmitblockLabel", "TransmitCounterLabel",
          "RecieveblockLabel", "LastRecieveblockLabel", "RecieveCounterLabel"})
        QTest::newRow(name) << QString::fromLatin1(name) << black << yellow;
    QTest::newRow("Label38") << QStringLiteral("Label38") << black << white;
    QTest::newRow("Label44") << QStringLiteral("Label44") << black << white;
    QTest::newRow("Label31") << QStringLiteral("Label31") << green << black;
}

void TestDownloadWindow::labelColours() {
    QFETCH(QString, name);
    QFETCH(uint, back);
    QFETCH(uint, text);
    auto* label = form24()->findChild<QLabel*>(name);
    QVERIFY2(label, qPrintable(name));
    QVERIFY(label->autoFillBackground());
    QCOMPARE(label->palette().color(QPalette::Window), vbColor(back));
    QCOMPARE(label->palette().color(QPalette::WindowText), vbColor(text));
}

void TestDownloadWindow::initialState() {
    Form24* f = form24();
    QCOMPARE(Back_color, 0x80000004u);
    QVERIFY(f->link.Timer2.isActive());
    QCOMPARE(f->link.Timeout_timer, int16_t(8));
    QVERIFY(!f->Download_start);
    QVERIFY(f->ReloadCommand->isEnabled());
    QCOMPARE(backColorOf(f->StatusPanel[0]), 0x000000FFu);
    QCOMPARE(backColorOf(f->StatusPanel[1]), 0x00008000u);
    QCOMPARE(backColorOf(f->StatusPanel[2]), 0x000000C0u);
    // The link status panel lies wholly outside the visible client area.
    QVERIFY(f->SSPanel13->geometry().left() >= f->centralWidget()->width());
    QVERIFY(!f->link.DelayTimer.isActive());
    QVERIFY(!f->isVisible());  // loading does not show it
}

void TestDownloadWindow::sizeIsRestoredAfterAnyResize() {
    Form24* f = form24();
    f->show();
    const QSize design = f->designSize();
    QCOMPARE(f->size(), design);
    f->setMinimumSize(0, 0);
    f->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    f->resize(120, 90);
    QTRY_COMPARE(f->size(), design);
    f->resize(2000, 1500);
    QTRY_COMPARE(f->size(), design);
}

void TestDownloadWindow::cancelWithoutASession() {
    BoxRecorder boxes;
    Form24* f = form24();
    f->ReloadCommand->setEnabled(false);
    f->StopCommand->click();
    QVERIFY(f->link.Program_kill);
    QVERIFY(f->ReloadCommand->isEnabled());
    QVERIFY(boxes.boxes.isEmpty());
}

void TestDownloadWindow::helpInfoOpensOnceAndAgainAfterClosing() {
    Form24* f = form24();
    f->show();
    f->mnu_help_info->trigger();
    Form14* info = form14IfLoaded();
    QVERIFY(info && info->isVisible());
    QVERIFY(f->mnu_help_info->isChecked());
    info->showMinimized();
    f->mnu_help_info->trigger();
    QCOMPARE(form14IfLoaded(), info);  // the same window, brought back
    QVERIFY(!(info->windowState() & Qt::WindowMinimized));
    QVERIFY(f->mnu_help_info->isChecked());
    for (QLabel* l : info->findChildren<QLabel*>()) QCOMPARE(backColorOf(l), Back_color);
    info->close();
    QVERIFY(!form14IfLoaded());
    QVERIFY(!f->mnu_help_info->isChecked());
    f->mnu_help_info->trigger();
    QVERIFY(form14IfLoaded() && form14IfLoaded()->isVisible());
    QVERIFY(f->mnu_help_info->isChecked());
}

void TestDownloadWindow::infoWindowsAreFreedAfterClosing() {
    Form24* f = form24();
    f->show();
    const auto liveInfoWindows = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) n += qobject_cast<Form14*>(w) != nullptr;
        return n;
    };
    for (int i = 0; i < 50; ++i) {
        f->mnu_help_info->trigger();
        QVERIFY(form14IfLoaded());
        form14IfLoaded()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(liveInfoWindows(), 0);
    QVERIFY(!f->mnu_help_info->isChecked());
}

void TestDownloadWindow::exitUnloadsEverything() {
    Form24* f = form24();
    f->show();
    f->mnu_help_info->trigger();
    f->ExitCommand->click();
    QVERIFY(!form24IfLoaded());
    QVERIFY(!form14IfLoaded());
    QVERIFY(Program_end);
    QVERIFY(f->link.Program_kill);
    QCOMPARE(programEndCode(), 0);
}

void TestDownloadWindow::exitAtEachWaitClosesTheDownloadFile_data() {
    QTest::addColumn<int>("stage");
    QTest::newRow("quiet line before the handshake") << int(LinkStage::QuietLine);
    QTest::newRow("handshake reply") << int(LinkStage::Handshake);
    QTest::newRow("pause before the login") << int(LinkStage::Pause);
    QTest::newRow("login reply") << int(LinkStage::Login);
}

void TestDownloadWindow::exitAtEachWaitClosesTheDownloadFile() {
    QFETCH(int, stage);
    sim::Config cfg;
    cfg.faults[sim::Stage::Handshake] = makeFault(sim::FaultKind::Delay);
    cfg.faults[sim::Stage::Handshake].delayMs = 100;
    cfg.faults[sim::Stage::Login] = makeFault(sim::FaultKind::Silence);
    SimPort unit(cfg);
    QTemporaryDir dir;
    Download_file = writeFile(dir.path(), QStringLiteral("image.bin"), patternBytes(200));
    Download_length = 150;
    Com_port = 1;
    BusyScope keepWindow;  // the unloaded window stays readable here
    BoxRecorder boxes;
    Form24* f = form24();
    f->show();
    onEachPass(f->link, [f, stage] {
        if (int(f->link.stage) == stage && f->isLoaded()) f->ExitCommand_Click();
    });
    f->Start_Download();
    QVERIFY(Program_end);
    QVERIFY(boxes.boxes.isEmpty());
    QVERIFY(!f->File1.isOpen());
}

void TestDownloadWindow::tickerRaisesTheTimeoutOnTheEighthTick() {
    Form24* f = form24();
    DownloadLink& link = f->link;
    link.Timer2.stop();  // ticks by hand
    link.Timeout_count = 0;
    link.Comm_Timeout = false;
    for (int i = 1; i <= 7; ++i) {
        link.Timer2_Timer();
        QCOMPARE(link.Timeout_count, int16_t(i));
        QVERIFY(!link.Comm_Timeout);
    }
    link.Timer2_Timer();
    QVERIFY(link.Comm_Timeout);
    QCOMPARE(link.Timeout_count, int16_t(0));
    link.Comm_Timeout = false;
    for (int i = 0; i < 8; ++i) link.Timer2_Timer();
    QVERIFY(link.Comm_Timeout);  // and again on every eighth tick
}

void TestDownloadWindow::tickerCountWrapsAt255() {
    Form24* f = form24();
    DownloadLink& link = f->link;
    link.Timer2.stop();
    link.Timeout_timer = 300;  // never reached: the count wraps first
    link.Timeout_count = 253;
    link.Timer2_Timer();
    QCOMPARE(link.Timeout_count, int16_t(254));
    link.Timer2_Timer();
    QCOMPARE(link.Timeout_count, int16_t(0));
    QVERIFY(!link.Comm_Timeout);
}

void TestDownloadWindow::openComCases_data() {
    QTest::addColumn<int>("comPort");
    QTest::addColumn<bool>("alreadyOpen");
    QTest::addColumn<int>("result");
    QTest::newRow("port 0") << 0 << false << int(DownloadLink::OpenResult::NoPortNumber);
    QTest::newRow("port 5, open port closed first")
        << 5 << true << int(DownloadLink::OpenResult::NoPortNumber);
    QTest::newRow("port 1") << 1 << false << int(DownloadLink::OpenResult::Opened);
    QTest::newRow("port 1 already open: reopened")
        << 1 << true << int(DownloadLink::OpenResult::Opened);
    QTest::newRow("port 3, no device") << 3 << false << int(DownloadLink::OpenResult::Failed);
}

void TestDownloadWindow::openComCases() {
    QFETCH(int, comPort);
    QFETCH(bool, alreadyOpen);
    QFETCH(int, result);
    ScriptedUnit unit(1);
    qputenv("QUARN_COM3", "/nonexistent/quarn-port");
    BoxRecorder boxes;
    Form24* f = form24();
    SerialPort& port = f->link.MSComm1;
    if (alreadyOpen) {
        port.setCommPort(1);
        QVERIFY(port.setPortOpen(true));
    }
    unit.write("\x99");  // a byte left over from before: gone once the port has opened
    QTest::qWait(20);
    QCOMPARE(int(f->link.OpenCom(static_cast<int16_t>(comPort))), result);
    QCOMPARE(port.portOpen(), result == int(DownloadLink::OpenResult::Opened));
    QTest::qWait(20);
    QCOMPARE(int(port.inBufferCount()), 0);
    QVERIFY(boxes.boxes.isEmpty());  // the link shows nothing; the session tells the user
    if (port.portOpen()) {
        QCOMPARE(port.settings(), QStringLiteral("9600,N,8,1"));
        QVERIFY(port.rtsEnable());
        QCOMPARE(port.commPort(), int16_t(comPort));
    }
    qunsetenv("QUARN_COM3");
}

void TestDownloadWindow::idleWaitCostsNoCpu() {
    // One real time-out period (2 s at 250 ms ticks) of the pre-send wait:
    // the wait blocks between events instead of spinning.
    useRealClock();
    Form24* f = form24();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer t;
    t.start();
    f->link.SendHandshake();  // port closed: the pre-send wait, then a second wait for no reply
    const qint64 ms = t.elapsed();
    const double cpu = cpuSeconds() - cpuBefore;
    qInfo("idle waits of %lld ms used %.4f s of CPU (%.2f%% of a core)", ms, cpu,
          100 * cpu * 1000 / ms);
    QVERIFY(f->link.Comm_Timeout);
    QVERIFY(ms >= 3400);  // two time-out periods of 1.75 to 2 s
    QVERIFY2(cpu < 0.1, "an idle wait must block, not spin");
}

QTEST_MAIN(TestDownloadWindow)
#include "test_download_window.moc"
