// The three windows by keyboard and assistive technology, long Init.txt texts,
// the reasons a port is refused that the pseudo-terminal rows elsewhere do not
// reach, and the windows' icon.

#include <QAccessible>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/forms.h"
#include "ports/port_advice.h"
#include "session/form24.h"
#include "startup/form1.h"
#include "startup/form2.h"
#include "tests/support/test_support.h"
#include "ui/form_registry.h"
#include "ui/globals.h"

using namespace quarn;
using namespace testsupport;

class TestWindowAccess : public ProgramTest {
    Q_OBJECT
private slots:
    void initTestCase();
    void returnPressesTheFocusedButton_data();
    void returnPressesTheFocusedButton();
    void everyControlNamedHiddenOnesOffTheTabChain();
    void longTextsWrapAndTheWindowGrows();
    void portReasonsWithoutADevice_data();
    void portReasonsWithoutADevice();
    void nothingAssignedAndTheIcon();

private:
    QTemporaryDir dir_;
    QTemporaryDir config_;
};

void TestWindowAccess::initTestCase() {
    // Init.txt in the current folder; a settings folder of this test's own.
    QVERIFY(QDir::setCurrent(dir_.path()));
    qputenv("QUARN_CONFIG_DIR", config_.path().toLocal8Bit());
    writeFile(dir_.path(), QStringLiteral("Init.txt"), initText(stepTexts(3)));
}

void TestWindowAccess::returnPressesTheFocusedButton_data() {
    QTest::addColumn<int>("window");  // 1, 2 or 24
    QTest::addColumn<int>("key");
    QTest::newRow("start window, Cancel, Return") << 1 << int(Qt::Key_Return);
    QTest::newRow("port window, Continue, Enter") << 2 << int(Qt::Key_Enter);
    QTest::newRow("download window, Exit, Return") << 24 << int(Qt::Key_Return);
}

void TestWindowAccess::returnPressesTheFocusedButton() {
    QFETCH(int, window);
    QFETCH(int, key);
    BoxRecorder boxes;
    Form1* start = form1();
    QVERIFY(start->initOk());
    start->show();
    if (window == 1) {
        QTest::keyClick(start->Cancel, Qt::Key(key));
        QCOMPARE(programEndCode(), 0);  // Cancel ended the program
        return;
    }
    start->Continue_Click();
    Form2* ports = form2IfLoaded();
    QVERIFY(ports);
    if (window == 2) {
        QTest::keyClick(ports->Continue1, Qt::Key(key));
        QCOMPARE(boxes.prompts(), QStringList{QStringLiteral("Invalid port on this machine")});
        return;
    }
    Form24* download = form24();
    download->show();
    QTest::keyClick(download->ExitCommand, Qt::Key(key));
    QVERIFY(!download->isLoaded());
    QCOMPARE(programEndCode(), 0);
}

void TestWindowAccess::everyControlNamedHiddenOnesOffTheTabChain() {
    Form1* start = form1();
    start->show();
    start->Continue_Click();
    Form24* download = form24();
    download->show();
    for (QWidget* window : {static_cast<QWidget*>(start), static_cast<QWidget*>(form2()),
                            static_cast<QWidget*>(download)}) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QFrame*>(w);
            const auto* label = qobject_cast<QLabel*>(w);
            // Start window lines that Init.txt left empty show nothing.
            if (!control || !w->isVisibleTo(window) || (label && label->text().isEmpty())) continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            QVERIFY(a);
            QVERIFY2(!a->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(window->objectName() + "/" + w->objectName()));
        }
    }
    // Tab visits the download window's buttons, never the Link Status
    // controls that lie outside the window.
    QList<QWidget*> chain;
    QWidget* w = download->StopCommand;
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain << w;
        w = w->nextInFocusChain();
    } while (w != download->StopCommand);
    for (QWidget* c : chain)
        QVERIFY2(!download->SSPanel13->isAncestorOf(c), qPrintable(c->objectName()));
    QVERIFY(chain.contains(download->ReloadCommand));
}

void TestWindowAccess::longTextsWrapAndTheWindowGrows() {
    QStringList steps = stepTexts(4);
    steps[1] = QStringLiteral(
        "Disconnect the mains supply and wait until the capacitor bank has "
        "discharged below 50 V and only then remove the service cover");
    writeFile(dir_.path(), QStringLiteral("Init.txt"), initText(steps));
    Form1* start = form1();
    QVERIFY(start->initOk());
    start->show();
    QLabel* longStep = start->StepLabel[1];
    QLabel* next = start->StepLabel[2];
    QVERIFY(longStep->wordWrap());
    QVERIFY(longStep->height() >= longStep->heightForWidth(longStep->width()));
    QVERIFY(next->y() >= longStep->geometry().bottom());
    QVERIFY(!next->wordWrap());
    const int grown = longStep->height() - twipsToPixels(252, start->logicalDpiY());
    QVERIFY(grown > 0);
    const int designHeight =
        twipsToPixels(start->Form_Height - kFrameHeightTwips, start->logicalDpiY());
    QCOMPARE(start->height(), designHeight + grown);
    QCOMPARE(start->Continue->y(), twipsToPixels(Form1::kLayoutTopTwips + 4 * Form1::kStepRiseTwips,
                                                 start->logicalDpiY()) +
                                       grown);
    writeFile(dir_.path(), QStringLiteral("Init.txt"), initText(stepTexts(3)));
}

void TestWindowAccess::portReasonsWithoutADevice_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("state");  // empty: read from the machine
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("says");
    // Root opens any device, so permission is given as the state it reads as.
    QTest::newRow("permission denied")
        << QStringLiteral("/dev/ttyQUARN9") << QStringLiteral("/dev/ttyQUARN9: Permission denied")
        << QStringLiteral("not permitted") << int(PortFault::Other)
        << QStringLiteral(
               "/dev/ttyQUARN9: permission denied. Join the group dialout with\n"
               "sudo usermod -aG dialout $USER\nthen log out and log in again.");
    QTest::newRow("lock held, holder gone")
        << QStringLiteral("/dev/ttyQUARN9")
        << QStringLiteral("/dev/ttyQUARN9: Permission error while locking the device")
        << QStringLiteral("free") << int(PortFault::InUse)
        << QStringLiteral(
               "/dev/ttyQUARN9: in use by another program. Close it, then choose the "
               "port again.");
}

void TestWindowAccess::portReasonsWithoutADevice() {
    QFETCH(QString, device);
    QFETCH(QString, error);
    QFETCH(QString, state);
    QFETCH(int, fault);
    QFETCH(QString, says);
    QCOMPARE(explainPortFailure(device, error, state, PortFault(fault)), says);
}

void TestWindowAccess::nothingAssignedAndTheIcon() {
    // Nothing is assigned to COM4 in this test's settings: the port window
    // says so, and the option's description says it before any choice.
    qunsetenv("QUARN_COM4");
    BoxRecorder boxes;
    Form1* start = form1();
    start->show();
    start->Continue_Click();
    Form2* ports = form2IfLoaded();
    QVERIFY(ports);
    QCOMPARE(ports->Com_select[3]->toolTip(), QStringLiteral("COM4: nothing assigned"));
    clickOption(ports->Com_select[3]);
    QCOMPARE(boxes.boxes.size(), 1);
    qInfo("refused: %s", qPrintable(boxes.boxes[0].informative));
    QVERIFY(boxes.boxes[0].informative.startsWith(
        QStringLiteral("No device: nothing is assigned to COM4; this machine has")));
    QVERIFY(boxes.boxes[0].informative.contains(QStringLiteral("--assign COMn=DEVICE")));

    const QImage icon(QStringLiteral(":/icons/quarn-download.png"));
    QCOMPARE(icon.size(), QSize(64, 64));
}

QTEST_MAIN(TestWindowAccess)
#include "test_window_access.moc"
