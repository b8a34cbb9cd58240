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

#include "app/command_line.h"
#include "app/forms.h"
#include "core/settings.h"
#include "core/version.h"
#include "session/form24.h"
#include "startup/form1.h"
#include "startup/form2.h"
#include "tests/support/test_support.h"
#include "ui/form_registry.h"

using namespace quarn;
using namespace testsupport;

namespace {

QByteArray initText(int steps, int length) {
    return testsupport::initText(stepTexts(steps), QString::number(length));
}

// The program's own end: the event loop ends with the exit code.
void endEventLoop(int code) { QCoreApplication::exit(code); }

}  // namespace

class TestProgramRuns : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void binaryCommandLine_data();
    void binaryCommandLine();
    void binaryAssignAndRemove();
    void cancelOnTheStartWindowEndsWith0();
    void goodDownloadEndsWith0_data();
    void goodDownloadEndsWith0();
    void exitDuringTheHandshakeEndsWith0();

private:
    // Runs the program as main does; the steps are queued to run once its
    // event loop has started. A run that does not end in time ends with 99.
    int run(const std::function<void()>& steps,
            const QString& initPath = QStringLiteral("Init.txt"));
    // Runs the real binary in dir_ with its own settings folder (dir_/config),
    // the given arguments and environment changes (an empty value unsets);
    // "%D" in them stands for dir_. Returns its exit code, or -1 when it did
    // not end by itself.
    int runBinary(const QStringList& args, const QStringList& env = {});
    QString binaryOut_, binaryErr_;

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

int TestProgramRuns::run(const std::function<void()>& steps, const QString& initPath) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] {
        qWarning("the program did not end");
        QCoreApplication::exit(99);
    });
    watchdog.start(20000);
    QTimer::singleShot(0, steps);
    return runProgram(initPath);
}

int TestProgramRuns::runBinary(const QStringList& args, const QStringList& envChanges) {
    const QString d = dir_->path();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUARN_AUTO_ANSWER_BOXES"), QStringLiteral("1"));
    env.insert(QStringLiteral("QUARN_CONFIG_DIR"), d + QStringLiteral("/config"));
    for (const QString& change : envChanges) {
        const QString name = change.section(QLatin1Char('='), 0, 0);
        const QString value = change.section(QLatin1Char('='), 1);
        if (value.isEmpty() && !change.endsWith(QLatin1String("=\"\"")))
            env.remove(name);
        else
            env.insert(
                name, value == QLatin1String("\"\"") ? QString() : QString(value).replace("%D", d));
    }
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(d);
    QStringList expanded;
    for (const QString& a : args) expanded << QString(a).replace(QLatin1String("%D"), d);
    program.start(QStringLiteral(QUARN_DOWNLOAD_BINARY), expanded);
    if (!program.waitForStarted(5000) || !program.waitForFinished(15000)) return -1;
    binaryOut_ = QString::fromLocal8Bit(program.readAllStandardOutput());
    binaryErr_ = QString::fromLocal8Bit(program.readAllStandardError());
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

void TestProgramRuns::binaryCommandLine_data() {
    // Files: none in the working folder %D; sub/Init.txt and sub/QX200.txt.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("env");  // NAME=VALUE; NAME= unsets; NAME="" sets empty
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");  // contained in stdout; "=..." is all of it
    QTest::addColumn<QString>("err");  // contained in stderr; "=..." is all of it
    const QStringList noDisplay{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const QString refused = QStringLiteral("BOX 64 Error: Invalid Init File.\n");
    QTest::newRow("no Init.txt") << QStringList{} << QStringList{} << 1 << "=" + refused
                                 << "%D/Init.txt: file not found\n";
    QTest::newRow("INIT a folder") << QStringList{"sub"} << QStringList{} << 1 << "=" + refused
                                   << "%D/sub/Init.txt: line 15: a twelfth step before \"StepEnd\"";
    QTest::newRow("INIT a file") << QStringList{"%D/sub/QX200.txt"} << QStringList{} << 1
                                 << "=" + refused << "%D/sub/QX200.txt: the file ends after line 5";
    QTest::newRow("--help, no display") << QStringList{"--help"} << noDisplay << 0 << "--list-ports"
                                        << "=";
    QTest::newRow("--version, no display")
        << QStringList{"--version"} << noDisplay << 0 << "=quarn-download " QUARN_VERSION "\n"
        << "=";
    QTest::newRow("windows, no display") << QStringList{"sub"} << noDisplay << 1 << "="
                                         << "=quarn-download: no display (DISPLAY and "
                                            "WAYLAND_DISPLAY are not set): the windows cannot be "
                                            "shown; run it in a desktop session, or see --help\n";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << QStringList{} << 1 << "="
                                    << "Unknown option 'frobnicate'";
    QTest::newRow("two INIT") << QStringList{"sub", "."} << QStringList{} << 1 << "="
                              << "one INIT at most";
    QTest::newRow("--list-ports, no display")
        << QStringList{"--list-ports"} << noDisplay << 0 << "\nCOM1  "
        << "";
    QTest::newRow("--assign COM7")
        << QStringList{"--assign", "COM7=/dev/null"} << noDisplay << 1 << "="
        << "COM7 is not a port number";
    QTest::newRow("--choose cancelled")
        << QStringList{"--choose"} << QStringList{"QUARN_AUTO_CHOOSE=\"\""} << 0 << "="
        << "";
    QTest::newRow("--choose a file")
        << QStringList{"--choose"} << QStringList{"QUARN_AUTO_CHOOSE=%D/sub/QX200.txt"} << 1
        << "=" + refused << "%D/sub/QX200.txt: the file ends";
}

void TestProgramRuns::binaryCommandLine() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, env);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QString d = dir_->path();
    QVERIFY(QDir(d).mkpath(QStringLiteral("sub")));
    writeFile(d + QStringLiteral("/sub"), QStringLiteral("Init.txt"), initText(12, 100));
    writeFile(d + QStringLiteral("/sub"), QStringLiteral("QX200.txt"),
              "a\nb\nc\nStepEnd\nfirmware.bin\n");
    QCOMPARE(runBinary(args, env), status);
    const auto check = [&](const QString& got, QString want) {
        want.replace(QLatin1String("%D"), d);
        if (want.startsWith(QLatin1Char('=')))
            QCOMPARE(got, want.mid(1));
        else
            QVERIFY2(got.contains(want), qPrintable(got));
    };
    check(binaryOut_, out);
    // Qt's own notes (XDG_RUNTIME_DIR) may come first on standard error.
    if (err.startsWith(QLatin1Char('=')) && !binaryErr_.isEmpty())
        QCOMPARE(binaryErr_.count(QLatin1Char('\n')), 1);
    check(binaryErr_, err);
    // --choose remembers the folder of the file chosen, in the program's own settings.
    if (QTest::currentDataTag() == QLatin1String("--choose a file")) {
        const quarn::Settings settings(d + QStringLiteral("/config/quarn-download.conf"));
        QCOMPARE(settings.value(quarn::SettingKey::LastInitFolder).toString(),
                 d + QStringLiteral("/sub"));
    }
}

void TestProgramRuns::binaryAssignAndRemove() {
    const QStringList noDisplay{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    QCOMPARE(runBinary({"--assign", "COM3=/dev/null"}, noDisplay), 0);
    QCOMPARE(runBinary({"--list-ports"}, noDisplay), 0);
    QVERIFY2(binaryOut_.contains(QRegularExpression("\nCOM3 +/dev/null ")), qPrintable(binaryOut_));
    QCOMPARE(runBinary({"--assign", "COM3="}, noDisplay), 0);
    QCOMPARE(runBinary({"--list-ports"}, noDisplay), 0);
    QVERIFY2(binaryOut_.contains(QRegularExpression("\nCOM3 +- .* not assigned\n")),
             qPrintable(binaryOut_));
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
    // The INIT argument as main takes it; not empty: the files are in the
    // folder unit/, not in the working folder.
    QTest::addColumn<QString>("init");
    QTest::newRow("first try") << false << QString();
    QTest::newRow("after a failed handshake and Reload") << true << QString();
    QTest::newRow("INIT a folder") << false << QStringLiteral("unit");
    QTest::newRow("INIT a file") << false << QStringLiteral("unit/QX200.txt");
}

void TestProgramRuns::goodDownloadEndsWith0() {
    QFETCH(bool, handshakeFailsFirst);
    QFETCH(QString, init);
    useFastClock();
    const QByteArray firmware = patternBytes(1000);
    const QString folder = init.isEmpty() ? dir_->path() : dir_->filePath(QStringLiteral("unit"));
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder,
              init.endsWith(QLatin1String(".txt")) ? QStringLiteral("QX200.txt")
                                                   : QStringLiteral("Init.txt"),
              initText(4, firmware.size()));
    writeFile(folder, QStringLiteral("firmware.bin"), firmware);
    SimPort unit(sim::Config{}, 1);
    if (handshakeFailsFirst)
        unit.unit().setFault(sim::Stage::Handshake, makeFault(sim::FaultKind::Silence, {}, 1));
    BoxRecorder boxes;
    // The technician's part: Reload once the handshake has failed, and
    // switch the unit off and on when the program asks for it.
    boxes.onBox = [&](const Box& b) {
        if (b.prompt == kHandshakeBox)
            QTimer::singleShot(0,
                               [] { QTest::mouseClick(form24()->ReloadCommand, Qt::LeftButton); });
        if (b.prompt == kRepowerBox) unit.unit().repower();
    };

    const int code = run(
        [] {
            QTest::mouseClick(form1()->Continue, Qt::LeftButton);
            clickOption(form2()->Com_select[0]);
            // The whole session runs inside this click; a good download unloads
            // every window from in there.
            QTest::mouseClick(form2()->Continue1, Qt::LeftButton);
        },
        enterInitFolder(init));

    QCOMPARE(code, 0);
    QCOMPARE(loadedFormCount(), 0);
    QStringList expectedBoxes{kInitEndMessage};
    if (handshakeFailsFirst)
        expectedBoxes = QStringList{kHandshakeBox, kRepowerBox} + expectedBoxes;
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
