#pragma once
// The download window on COM1 with a download file and the unit simulator
// behind it: the one window rig of the window, sequencer and reliability
// tests. Every box is recorded with the message line as it was while the box
// was up; the repower box repowers the simulator, as the user is told to.

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

namespace testsupport {

// Where a session is waiting, seen from the window: used to act at one wait.
enum class Wait { PreSend, HandshakeReply, Delay, LoginReply, Transfer };
bool isAt(quarn::Form24* f, Wait w);

struct WindowRig {
    // length: Download_length; fileSize: bytes of the download file (-1:
    // length + 1); seed: of its pattern (0: from the length).
    explicit WindowRig(sim::Config cfg = {}, int length = 150, int fileSize = -1, uint32_t seed = 0,
                       const QString& caption = QStringLiteral("Quarn Reliability"));

    // Sets the globals the start-up windows would set and builds the window
    // (again, after a good session unloaded it and the program was reset).
    quarn::Form24* load();
    // Runs fn after every event-loop pass of the current window's waits.
    void onEachPass(std::function<void()> fn);
    // Runs fn once, in the event-loop pass where the session first waits at w.
    void atWait(Wait w, std::function<void()> fn);

    void start() { f->Start_Download(); }
    QByteArray expectedImage() const;
    // The image of the simulator's newest complete session, empty if none.
    QByteArray lastImage() const;
    // Every byte the simulator received, in order.
    QByteArray wire() const { return toQByteArray(port->unit().received()); }
    // Whether the good-download report was given since the last clearBoxes().
    bool reportedGood() const;
    void clearBoxes();

    // A window unloaded by a good session stays readable until the rig goes.
    quarn::BusyScope keepUnloadedWindows;
    BoxRecorder boxes;
    QStringList linesAtBoxes;  // Label2 while each box was up
    QTemporaryDir dir;
    QByteArray file;
    QString filePath;
    int length;
    QString caption;
    std::unique_ptr<SimPort> port;
    quarn::Form24* f = nullptr;
};

}  // namespace testsupport
