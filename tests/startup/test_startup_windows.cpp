// The start-up window (steps from Init.txt, Continue, Cancel) and the
// port-selection window (the open-and-close test of each choice on real
// pseudo-terminals, Continue, the close box), as real widgets.

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSerialPort>
#include <QtTest>
#include <memory>

#include "app/forms.h"
#include "session/form24.h"
#include "startup/form1.h"
#include "startup/form2.h"
#include "tests/support/test_support.h"
#include "ui/form_registry.h"
#include "ui/globals.h"
#include "ui/ui_util.h"

using namespace quarn;
using namespace testsupport;

namespace {

const QString kSelectPort = QStringLiteral("Select the operational port");
const QString kSelectValid = QStringLiteral("Please select a valid port.");
const QString kInvalidPort = QStringLiteral("Invalid port on this machine");

int px(int twips) { return twipsToPixels(twips, form1()->logicalDpiY()); }

// How the device behind one COM port is set up for a test.
enum class Device { Free, Missing, HeldByOther };

}  // namespace
Q_DECLARE_METATYPE(Device)

class TestStartupWindows : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startWindowSizedToItsSteps_data();
    void startWindowSizedToItsSteps();
    void refusedInitFileEndsTheProgram_data();
    void refusedInitFileEndsTheProgram();
    void continueOpensPortSelectionWithNoPortChosen();
    void cancelAndCloseBoxEndTheProgram_data();
    void cancelAndCloseBoxEndTheProgram();

    void choosingAPortTestsIt_data();
    void choosingAPortTestsIt();
    void continueNeedsTheLastChoiceToHavePassed_data();
    void continueNeedsTheLastChoiceToHavePassed();
    void clickWhileSelectResetIsIgnoredOnce();
    void choiceRefusedWhileThePortIsOpen();
    void closeBoxEndsTheProgram();
    void choosingThroughAccessibilityTestsOnce_data();
    void choosingThroughAccessibilityTestsOnce();

private:
    void writeInit(const QByteArray& text);
    Form2* openPortSelection();
    // Sets the device behind COMn up; keeps what it needs alive until cleanup.
    void prepare(int com, Device device);

    std::unique_ptr<QTemporaryDir> dir_;
    QString home_;
    std::vector<std::unique_ptr<ScriptedUnit>> units_;
    std::vector<std::unique_ptr<QSerialPort>> holders_;
};

void TestStartupWindows::init() {
    useFastClock();
    resetProgram();
    home_ = QDir::currentPath();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir::setCurrent(dir_->path()));
}

void TestStartupWindows::cleanup() {
    resetProgram();
    holders_.clear();
    units_.clear();
    for (int com = 1; com <= 4; ++com)
        qunsetenv(QStringLiteral("QUARN_COM%1").arg(com).toLatin1().constData());
    QDir::setCurrent(home_);
    dir_.reset();
}

void TestStartupWindows::writeInit(const QByteArray& text) {
    writeFile(dir_->path(), QStringLiteral("Init.txt"), text);
}

Form2* TestStartupWindows::openPortSelection() {
    writeInit(initText(stepTexts(4)));
    writeFile(dir_->path(), QStringLiteral("firmware.bin"), patternBytes(1000));
    Form1* start = form1();
    if (!start->initOk()) return nullptr;
    start->show();
    start->Continue_Click();
    return form2IfLoaded();
}

void TestStartupWindows::prepare(int com, Device device) {
    const QByteArray var = QStringLiteral("QUARN_COM%1").arg(com).toLatin1();
    if (device == Device::Missing) {
        qputenv(var.constData(),
                QDir(dir_->path()).filePath(QStringLiteral("ttyNONE")).toLocal8Bit());
        return;
    }
    units_.push_back(std::make_unique<ScriptedUnit>(com));
    if (device == Device::HeldByOther) {
        auto holder = std::make_unique<QSerialPort>(units_.back()->slavePath());
        QVERIFY2(holder->open(QIODevice::ReadWrite), qPrintable(holder->errorString()));
        holders_.push_back(std::move(holder));
    }
}

void TestStartupWindows::startWindowSizedToItsSteps_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("no steps") << QStringList();
    QTest::newRow("four steps, one with a quoted comma") << QStringList{
        QStringLiteral("Switch the unit off"),
        QStringLiteral("Connect the serial cable, 9 pin end at the PC"),
        QStringLiteral("Set the service switch to LOAD"), QStringLiteral("Switch the unit on")};
    QTest::newRow("eleven steps") << stepTexts(11);
}

void TestStartupWindows::startWindowSizedToItsSteps() {
    QFETCH(QStringList, steps);
    QStringList written = steps;
    for (QString& s : written)
        if (s.contains(QLatin1Char(','))) s = QLatin1Char('"') + s + QLatin1Char('"');
    writeInit(initText(written, QStringLiteral("8192")));

    Form1* f = form1();
    QVERIFY(f->initOk());
    QVERIFY(f->isLoaded());
    const int n = steps.size();
    QCOMPARE(int(f->Form_Height), 3850 + 350 * n);
    for (QPushButton* b : {f->Continue, f->Cancel}) QCOMPARE(b->y(), px(2850 + 350 * n));
    QCOMPARE(f->Continue->x(), px(1080));
    QCOMPARE(f->Cancel->x(), px(4080));
    // Outer 7536 x Form_Height twips, less the frame allowance.
    QCOMPARE(f->designSize(), QSize(px(7536 - 80), px(3850 + 350 * n - 360)));

    QCOMPARE(f->HeaderLabel->text(), QStringLiteral("QUARN SYSTEMS"));
    QCOMPARE(f->Label1->text(), QStringLiteral("QX-200 controller"));
    QCOMPARE(f->Label3->text(), QStringLiteral("Caution: mains voltage inside the unit"));
    for (int i = 0; i < 11; ++i) QCOMPARE(f->StepLabel[i]->text(), i < n ? steps[i] : QString());
    QCOMPARE(f->windowTitle(), QStringLiteral("Quarn Systems - Info"));
    QCOMPARE(Download_file, QStringLiteral("firmware.bin"));
    QCOMPARE(int(Download_length), 8192);
    QCOMPARE(End_message, QStringLiteral("Download complete."));
    QCOMPARE(Download_caption, QStringLiteral("QX-200 firmware download"));

    f->show();
    QCOMPARE(f->size(), f->designSize());
    const QPoint centre = f->screen()->availableGeometry().center();
    QVERIFY((f->frameGeometry().center() - centre).manhattanLength() <= 2);
}

void TestStartupWindows::refusedInitFileEndsTheProgram_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("missing") << false << QByteArray();
    QTest::newRow("twelve steps") << true << initText(stepTexts(12));
    QTest::newRow("length beyond 16 bits")
        << true << initText(stepTexts(2), QStringLiteral("40000"));
}

void TestStartupWindows::refusedInitFileEndsTheProgram() {
    QFETCH(bool, present);
    QFETCH(QByteArray, text);
    if (present) writeInit(text);
    BoxRecorder boxes;
    bool shownDuringBox = true;
    boxes.onBox = [&](const Box&) {
        shownDuringBox = form1IfLoaded() && form1IfLoaded()->isVisible();
    };

    Form1* f = form1();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].prompt, QStringLiteral("Invalid Init File."));
    QCOMPARE(boxes.boxes[0].style, 64);
    QCOMPARE(boxes.boxes[0].title, QStringLiteral("Error"));
    QVERIFY(!shownDuringBox);
    QVERIFY(!f->initOk());
    QVERIFY(!f->isLoaded());
    QVERIFY(!f->isVisible());
    QCOMPARE(loadedFormCount(), 0);
    QCOMPARE(programEndCode(), 1);
}

void TestStartupWindows::continueOpensPortSelectionWithNoPortChosen() {
    writeInit(initText(stepTexts(3)));
    Form1* start = form1();
    QVERIFY(start->initOk());
    start->show();
    // A choice left over in the option group must be cleared without being tested.
    Form2* ports = form2();
    ports->Com_select[2]->setChecked(true);
    Com_port = 3;
    Port_valid = true;
    BoxRecorder boxes;

    QTest::mouseClick(start->Continue, Qt::LeftButton);

    QVERIFY(start->isLoaded());
    QVERIFY(!start->isVisible());
    QCOMPARE(form2IfLoaded(), ports);
    QVERIFY(ports->isVisible());
    QCOMPARE(ports->windowTitle(), QStringLiteral("Quarn Systems - Port Selection"));
    QCOMPARE(ports->Label30->text(), kSelectPort);
    for (QRadioButton* option : ports->Com_select) QVERIFY(!option->isChecked());
    QCOMPARE(int(Com_port), 0);
    QVERIFY(!Port_valid);
    QVERIFY(!Select_reset);
    Form24* download = form24IfLoaded();
    QVERIFY(download);
    QVERIFY(!download->isVisible());
    QVERIFY(download->link.Timer2.isActive());
    QVERIFY(boxes.boxes.isEmpty());
    QCOMPARE(ports->size(), ports->designSize());
    QCOMPARE(ports->designSize(), QSize(px(3480 - 80), px(3228 - 360)));

    // A user's click on an option afterwards is tested as usual.
    prepare(1, Device::Free);
    clickOption(ports->Com_select[0]);
    QCOMPARE(int(Com_port), 1);
    QVERIFY(Port_valid);
}

void TestStartupWindows::cancelAndCloseBoxEndTheProgram_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
}

void TestStartupWindows::cancelAndCloseBoxEndTheProgram() {
    QFETCH(bool, closeBox);
    writeInit(initText(stepTexts(2)));
    Form1* start = form1();
    start->show();
    BoxRecorder boxes;
    if (closeBox)
        start->close();
    else
        QTest::mouseClick(start->Cancel, Qt::LeftButton);
    QVERIFY(!start->isLoaded());
    QVERIFY(!start->isVisible());
    QCOMPARE(loadedFormCount(), 0);
    QCOMPARE(programEndCode(), 0);
    QVERIFY(boxes.boxes.isEmpty());
}

void TestStartupWindows::choosingAPortTestsIt_data() {
    QTest::addColumn<int>("com");
    QTest::addColumn<Device>("device");
    QTest::addColumn<QString>("reason");  // in the refusal's informative text
    const QString self = QCoreApplication::applicationName();
    QTest::newRow("Com1, a free port") << 1 << Device::Free << QString();
    QTest::newRow("Com4, a free port") << 4 << Device::Free << QString();
    QTest::newRow("Com2, no such device")
        << 2 << Device::Missing << QStringLiteral("ttyNONE: nothing is plugged in at that name");
    QTest::newRow("Com3, held by another program")
        << 3 << Device::HeldByOther
        << QStringLiteral(": in use by %1 (pid %2). Close that program")
               .arg(self.left(15))
               .arg(QCoreApplication::applicationPid());
}

void TestStartupWindows::choosingAPortTestsIt() {
    QFETCH(int, com);
    QFETCH(Device, device);
    QFETCH(QString, reason);
    prepare(com, device);
    Form2* ports = openPortSelection();
    QVERIFY(ports);
    BoxRecorder boxes;
    QStringList statusDuringBox;
    boxes.onBox = [&](const Box&) { statusDuringBox << ports->Label30->text(); };

    clickOption(ports->Com_select[com - 1]);

    const bool good = device == Device::Free;
    QCOMPARE(int(Com_port), com);  // kept also when refused
    QCOMPARE(Port_valid, good);
    QVERIFY(ports->Com_select[com - 1]->isChecked());
    QVERIFY(!form24()->link.MSComm1.portOpen());
    QCOMPARE(ports->Label30->text(), kSelectPort);
    if (good) {
        QVERIFY(boxes.boxes.isEmpty());
        // The test left the port closed and unlocked for the session.
        QSerialPort again(units_.back()->slavePath());
        QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
    } else {
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].prompt, kInvalidPort);
        QCOMPARE(boxes.boxes[0].style, 48);
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("ERROR!"));
        QCOMPARE(statusDuringBox, QStringList{kSelectValid});
        qInfo("refused: %s", qPrintable(boxes.boxes[0].informative));
        QVERIFY2(boxes.boxes[0].informative.contains(reason),
                 qPrintable(boxes.boxes[0].informative));
    }
    // Each option tells what its number leads to.
    QVERIFY(ports->Com_select[com - 1]->accessibleDescription().startsWith(
        QStringLiteral("COM%1: ").arg(com)));
}

void TestStartupWindows::choosingThroughAccessibilityTestsOnce_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("mouse click") << QString();
    QTest::newRow("accessibility toggle") << QAccessibleActionInterface::toggleAction();
}

void TestStartupWindows::choosingThroughAccessibilityTestsOnce() {
    QFETCH(QString, how);
    prepare(2, Device::Missing);
    Form2* ports = openPortSelection();
    QVERIFY(ports);
    QRadioButton* option = ports->Com_select[1];
    BoxRecorder boxes;
    if (how.isEmpty()) {
        clickOption(option);
    } else {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(option);
        QVERIFY(a && a->actionInterface());
        QVERIFY(a->actionInterface()->actionNames().contains(how));
        a->actionInterface()->doAction(how);
    }
    QCOMPARE(boxes.prompts(), QStringList{kInvalidPort});  // tested once, not twice
    QVERIFY(option->isChecked());
    QCOMPARE(int(Com_port), 2);
}

void TestStartupWindows::continueNeedsTheLastChoiceToHavePassed_data() {
    QTest::addColumn<QList<int>>("choices");  // COM numbers clicked in order
    QTest::addColumn<bool>("starts");
    // COM1 is a free port, COM2 a missing device.
    QTest::newRow("no choice") << QList<int>{} << false;
    QTest::newRow("missing port") << QList<int>{2} << false;
    QTest::newRow("good port, then a missing one") << QList<int>{1, 2} << false;
    QTest::newRow("missing port, then a good one") << QList<int>{2, 1} << true;
}

void TestStartupWindows::continueNeedsTheLastChoiceToHavePassed() {
    QFETCH(QList<int>, choices);
    QFETCH(bool, starts);
    prepare(1, Device::Free);
    prepare(2, Device::Missing);
    ScriptedUnit& unit = *units_.front();
    Form2* ports = openPortSelection();
    QVERIFY(ports);
    for (int com : choices) clickOption(ports->Com_select[com - 1]);
    BoxRecorder boxes;
    QStringList statusDuringBox;
    boxes.onBox = [&](const Box&) { statusDuringBox << ports->Label30->text(); };

    QTest::mouseClick(ports->Continue1, Qt::LeftButton);

    Form24* download = form24IfLoaded();
    QVERIFY(download);
    if (starts) {
        // The session ran inside the click on COM1: the silent unit failed the handshake.
        QVERIFY(!ports->isVisible());
        QVERIFY(download->isVisible());
        QVERIFY(unit.readAll().contains(QByteArray("\xAA\x55\xAA", 3)));
        QCOMPARE(
            boxes.prompts(),
            QStringList{QStringLiteral("Handshake Error! - Please check connection and retry.")});
    } else {
        QVERIFY(ports->isVisible());
        QVERIFY(!download->isVisible());
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].prompt, kInvalidPort);
        QCOMPARE(boxes.boxes[0].style, 48);
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("ERROR!"));
        QCOMPARE(statusDuringBox, QStringList{kSelectValid});
        QCOMPARE(ports->Label30->text(), kSelectPort);
        QCOMPARE(int(Com_port), choices.isEmpty() ? 0 : choices.last());
        QVERIFY(unit.readAll().isEmpty());
    }
}

void TestStartupWindows::clickWhileSelectResetIsIgnoredOnce() {
    prepare(1, Device::Free);
    Form2* ports = openPortSelection();
    QVERIFY(ports);
    Select_reset = true;
    clickOption(ports->Com_select[0]);
    QVERIFY(!Select_reset);
    QCOMPARE(int(Com_port), 0);
    QVERIFY(!Port_valid);
    clickOption(ports->Com_select[0]);
    QCOMPARE(int(Com_port), 1);
    QVERIFY(Port_valid);
}

void TestStartupWindows::choiceRefusedWhileThePortIsOpen() {
    prepare(1, Device::Free);
    prepare(2, Device::Free);
    Form2* ports = openPortSelection();
    QVERIFY(ports);
    clickOption(ports->Com_select[0]);
    QVERIFY(Port_valid);
    SerialPort& port = form24()->link.MSComm1;
    QVERIFY2(port.setPortOpen(true), qPrintable(port.errorString()));
    BoxRecorder boxes;

    clickOption(ports->Com_select[1]);

    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].prompt,
             QStringLiteral("Do not chance com port under program download!"));
    QCOMPARE(boxes.boxes[0].style, 48);
    QCOMPARE(boxes.boxes[0].title, QStringLiteral("WARNING!"));
    QCOMPARE(int(Com_port), 1);
    QVERIFY(Port_valid);
    QVERIFY(port.portOpen());
    QCOMPARE(int(port.commPort()), 1);
    port.setPortOpen(false);
}

void TestStartupWindows::closeBoxEndsTheProgram() {
    Form2* ports = openPortSelection();
    QVERIFY(ports);
    // Unloading it alone is refused while the program runs.
    QVERIFY(!ports->Unload());
    QVERIFY(ports->isLoaded());

    // The close box ends the program as Exit does: every window goes.
    ports->close();
    QVERIFY(Program_end);
    QVERIFY(!ports->isLoaded());
    QVERIFY(!ports->isVisible());
    QCOMPARE(loadedFormCount(), 0);
    QCOMPARE(programEndCode(), 0);
}

QTEST_MAIN(TestStartupWindows)
#include "test_startup_windows.moc"
