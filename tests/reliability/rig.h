#pragma once
// Shared pieces of the reliability tests: a download window on COM1 with the
// unit simulator behind it, how a session ended as the user sees it, and the
// process figures (open descriptors, resident memory, CPU time) the tests
// quote. The box and line texts and the indicator are in test_support.h.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "session/form24.h"
#include "sim/unit_sim.h"
#include "tests/support/test_support.h"
#include "ui/form_registry.h"

namespace reliability {

// Tick 10 ms (a time-out of 70 to 80 ms) and a 20 ms delay: for the long runs
// of sessions, where the pre-send wait and the delay dominate the run time.
void useBriskClock();

// A download window on COM1 with a download file and the simulator behind it.
// Every box is recorded with the message line as it was while the box was up;
// the repower box repowers the simulator, as the user is told to.
struct Rig {
    explicit Rig(sim::Config cfg = {}, int length = 150, int fileSize = -1);

    // Sets the globals the start-up windows would set and builds the window
    // (again, after a good session unloaded it and the program was reset).
    quarn::Form24* load();
    // Runs fn after every event-loop pass of the current window's waits.
    void onEachPass(std::function<void()> fn);

    void start() { f->Start_Download(); }
    QByteArray expectedImage() const;
    // The image of the simulator's newest complete session, empty if none.
    QByteArray lastImage() const;
    // Whether the good-download report was given since the last clearBoxes().
    bool reportedGood() const;
    void clearBoxes();

    // A window unloaded by a good session stays readable until the rig goes.
    quarn::BusyScope keepUnloadedWindows;
    testsupport::BoxRecorder boxes;
    QStringList linesAtBoxes;  // Label2 while each box was up
    QTemporaryDir dir;
    QByteArray file;
    QString filePath;
    int length;
    std::unique_ptr<testsupport::SimPort> port;
    quarn::Form24* f = nullptr;
};

using testsupport::openDescriptors;
using testsupport::residentKb;

}  // namespace reliability
