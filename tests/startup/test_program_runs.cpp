// Whole runs of the program: the real binary where no click is needed, and
// in this process, through the same runProgram() that main uses, where the
// test clicks its way through the windows while the real event loop runs.
// These runs check that the program ends, and with which exit status, also
// when the last window unloads deep inside a session's nested loops.

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "ui/form_registry.h"
#include "app/forms.h"
#include "session/form24.h"
#include "startup/form1.h"
#include "startup/form2.h"
#include "tests/support/test_support.h"

using namespace quarn;
using namespace testsupport;

namespace {

QByteArray initText(int steps, int length) { return testsupport::initText(stepTexts(steps), QString::number(length)); }

// The program's own end: the event loop ends with the exit code.
void endEventLoop(int code) { QCoreApplication::exit(code); }

}  // namespace

class TestProgramRuns : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void binaryEndsWithStatus1OnARefusedInitFile_data();
    void binaryEndsWithStatus1OnARefusedInitFile();
    void cancelOnTheStartWindowEndsWith0();
    void goodDownloadEndsWith0_data();
    void goodDownloadEndsWith0();
    void exitDuringTheHandshakeEndsWith0();

private:
    // Runs the program as main does; the steps are queued to run once its
    // event loop has started. A run that does not end in time ends with 99.
    int run(const std::function<void()>& steps);

    std::unique_ptr<QTemporaryDir> dir_;
    QString home_;
};

void TestProgramRuns::init() {
    resetProgram();
    setProgramEndAction(endEventLoop);
    home_ = QDir::currentPath();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir::setCurrent(dir_->path()));
}

void TestProgramRuns::cleanup() {
    resetProgram();
    useFastClock();
    QDir::setCurrent(home_);
    dir_.reset();
}

int TestProgramRuns::run(const std::function<void()>& steps) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] {
        qWarning("the program did not end");
        QCoreApplication::exit(99);
    });
    watchdog.start(20000);
    QTimer::singleShot(0, steps);
    return runProgram();
}

void TestProgramRuns::binaryEndsWithStatus1OnARefusedInitFile_data() {
    QTest::addColumn<QByteArray>("init");  // empty: no Init.txt at all
    QTest::newRow("no Init.txt") << QByteArray();
    QTest::newRow("twelve steps") << initText(12, 100);
}

void TestProgramRuns::binaryEndsWithStatus1OnARefusedInitFile() {
    QFETCH(QByteArray, init);
    if (!init.isEmpty()) writeFile(dir_->path(), QStringLiteral("Init.txt"), init);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUARN_AUTO_ANSWER_BOXES"), QStringLiteral("1"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir_->path());
    program.start(QStringLiteral(QUARN_DOWNLOAD_BINARY), {});
    QVERIFY(program.waitForStarted(5000));
    QVERIFY2(program.waitForFinished(15000), "the program did not end by itself");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(program.readAllStandardOutput(), QByteArray("BOX 64 Error: Invalid Init File.\n"));
}

void TestProgramRuns::cancelOnTheStartWindowEndsWith0() {
    useFastClock();
    writeFile(dir_->path(), QStringLiteral("Init.txt"), initText(3, 100));
    BoxRecorder boxes;
    const int code = run([] { QTest::mouseClick(form1()->Cancel, Qt::LeftButton); });
    QCOMPARE(code, 0);
    QCOMPARE(loadedFormCount(), 0);
    QVERIFY(boxes.boxes.isEmpty());
}

void TestProgramRuns::goodDownloadEndsWith0_data() {
    QTest::addColumn<bool>("handshakeFailsFirst");
    QTest::newRow("first try") << false;
    QTest::newRow("after a failed handshake and Reload") << true;
}

void TestProgramRuns::goodDownloadEndsWith0() {
    QFETCH(bool, handshakeFailsFirst);
    useFastClock();
    const QByteArray firmware = patternBytes(1000);
    writeFile(dir_->path(), QStringLiteral("Init.txt"), initText(4, firmware.size()));
    writeFile(dir_->path(), QStringLiteral("firmware.bin"), firmware);
    SimPort unit(sim::Config{}, 1);
    if (handshakeFailsFirst)
        unit.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence, {}, 1));
    BoxRecorder boxes;
    // The technician's part: Reload once the handshake has failed, and
    // switch the unit off and on when the program asks for it.
    boxes.onBox = [&](const Box& b) {
        if (b.prompt == kHandshakeBox)
            QTimer::singleShot(0, [] { QTest::mouseClick(form24()->ReloadCommand, Qt::LeftButton); });
        if (b.prompt == kRepowerBox) unit.unit().repower();
    };

    const int code = run([] {
        QTest::mouseClick(form1()->Continue, Qt::LeftButton);
        clickOption(form2()->Com_select[0]);
        // The whole session runs inside this click; a good download unloads
        // every window from in there.
        QTest::mouseClick(form2()->Continue1, Qt::LeftButton);
    });

    QCOMPARE(code, 0);
    QCOMPARE(loadedFormCount(), 0);
    QStringList expectedBoxes{kInitEndMessage};
    if (handshakeFailsFirst) expectedBoxes = QStringList{kHandshakeBox, kRepowerBox} + expectedBoxes;
    QCOMPARE(boxes.prompts(), expectedBoxes);
    QVERIFY(unit.unit().waitForSessions(1, 2000));
    const std::vector<sim::SessionSummary> sessions = unit.unit().sessions();
    QCOMPARE(sessions.size(), size_t(1));
    QVERIFY(sessions[0].complete);
    QVERIFY(sessions[0].image == sim::expectedImage(toBytes(firmware), firmware.size()));
}

void TestProgramRuns::exitDuringTheHandshakeEndsWith0() {
    // Slow enough ticks that the handshake is still waiting when Exit is clicked.
    setLinkClock({100, 50});
    writeFile(dir_->path(), QStringLiteral("Init.txt"), initText(1, 64));
    writeFile(dir_->path(), QStringLiteral("firmware.bin"), patternBytes(64));
    ScriptedUnit unit(1);
    BoxRecorder boxes;
    QTimer watcher;
    bool clickedExit = false;
    connect(&watcher, &QTimer::timeout, [&] {
        if (clickedExit || !unit.readAll().contains(QByteArray("\xAA\x55\xAA", 3))) return;
        clickedExit = true;
        QTest::mouseClick(form24()->ExitCommand, Qt::LeftButton);
    });

    const int code = run([&] {
        QTest::mouseClick(form1()->Continue, Qt::LeftButton);
        clickOption(form2()->Com_select[0]);
        watcher.start(5);
        QTest::mouseClick(form2()->Continue1, Qt::LeftButton);
    });

    QVERIFY(clickedExit);
    QCOMPARE(code, 0);
    QCOMPARE(loadedFormCount(), 0);
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.prompts().join(QStringLiteral(" | "))));
}

QTEST_MAIN(TestProgramRuns)
#include "test_program_runs.moc"
