#pragma once
// Shared pieces of the test programs: a message-box recorder that answers in
// place of the user, the unit simulator on a pseudo-terminal mapped to a COM
// port, a scripted unit for byte-exact cases, the fast test clock, a reset
// of the whole program between tests, and what a session shows the user.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "sim/unit_sim.h"
#include "tests/support/process_figures.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/unit_rigs.h"
#include "tests/support/window_setup.h"

class QRadioButton;

namespace quarn {
class DownloadLink;
class Form24;
}  // namespace quarn

namespace testsupport {

struct Box {
    QString prompt;
    int style = 0;
    QString title;
    QString informative;
};

// Installs itself as the message-box handler; records every box and answers
// OK at once. onBox, when set, runs inside the box (as the user would act
// while it is open). The previous handler comes back on destruction.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    QList<Box> boxes;
    std::function<void(const Box&)> onBox;
    QStringList prompts() const;
    int count(const QString& prompt) const;
};

// Tick 20 ms (a time-out of 140 to 160 ms) and a 50 ms delay, for every test
// that does not need the real clock. Installed before the download window loads.
void useFastClock();
void useRealClock();
// Tick 10 ms (a time-out of 70 to 80 ms) and a 20 ms delay: for the long runs
// of sessions, where the pre-send wait and the delay dominate the run time.
void useBriskClock();

// A test object whose every test function starts from a reset program on the
// given clock and leaves it reset, so no window or global outlives a test.
class ProgramTest : public QObject {
    Q_OBJECT
protected:
    explicit ProgramTest(void (*clock)() = useFastClock) : clock_(clock) {}

private slots:
    void init() {
        clock_();
        resetProgram();
    }
    void cleanup() { resetProgram(); }

private:
    void (*clock_)();
};

// A pseudo-terminal whose far end the test drives byte by byte, from the same
// thread: the test reads what the program wrote and writes replies itself.
class ScriptedUnit {
public:
    explicit ScriptedUnit(int com = 1);
    ~ScriptedUnit();
    QString slavePath() const { return pty_.slavePath(); }
    QByteArray readAll();  // everything the program wrote so far (non-blocking)
    void write(const QByteArray& bytes);
    void hangUp();   // closes the master: the port vanishes
    QByteArray log;  // every byte read by readAll, in order

private:
    PseudoTerminal pty_;
    int com_;
};

// Runs fn after every event-loop pass of the link's waits, after whatever
// already ran there.
void onEachPass(quarn::DownloadLink& link, std::function<void()> fn);

// An Init.txt for the QX-200 demo: three header lines, the steps, the
// download file firmware.bin of the given length, the end message and the
// download window's title.
extern const QString kInitEndMessage;
QByteArray initText(const QStringList& steps, const QString& length = QStringLiteral("1000"));
// n step texts: "Step 1 of the preparation", ...
QStringList stepTexts(int n);
// A mouse click on an option button's indicator, inside its click area.
void clickOption(QRadioButton* option);

// The bytes a correct session puts on the wire from the start byte on, with
// no refusals: 01, per block 03 checksum data 07, then 0F.
QByteArray expectedTransferWire(const QByteArray& file, int downloadLength);

// The boxes of a download session, and the lines of its message label.
extern const QString kHandshakeBox;
extern const QString kLoginBox;
extern const QString kStopBox;
extern const QString kRepowerBox;
extern const QString kEndMessage;

extern const QString kLineInitial;
extern const QString kLineHandshakeOk;
extern const QString kLineInProgress;
extern const QString kLineBadReply;
extern const QString kLineGood;

// The link indicator of the download window, told by its three colours.
enum class Indicator { AtLoad, Failure, Ready, Unknown };
Indicator indicatorOf(quarn::Form24* f);
const char* indicatorName(Indicator i);

}  // namespace testsupport
