#pragma once
// What a test needs to run the programs against simulated units, and nothing
// of the windows: a simulator behind a COM number, files of known bytes, and
// a wait on the event loop. Test programs that drive only the command-line
// programs (and their builds under ThreadSanitizer) link this alone.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

#include "sim/unit_sim.h"

namespace testsupport {

// A unit simulator on a fresh pseudo-terminal, with COMn pointing at it.
class SimPort {
public:
    explicit SimPort(sim::Config config = {}, int com = 1);
    ~SimPort();
    sim::UnitSim& unit() { return *sim_; }
    QString linkPath() const { return link_; }

private:
    QTemporaryDir dir_;
    QString link_;
    int com_;
    std::unique_ptr<sim::UnitSim> sim_;
};

// Runs the event loop until pred() holds or ms milliseconds pass; returns pred().
template <class Pred>
bool spinUntil(Pred pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

// Writes bytes to dir/name and returns the path.
QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes);
// n deterministic pseudo-random bytes.
QByteArray patternBytes(int n, uint32_t seed = 7);
sim::Bytes toBytes(const QByteArray& a);
QByteArray toQByteArray(const sim::Bytes& b);

sim::Fault makeFault(sim::FaultKind kind, QByteArray bytes = {}, int times = -1,
                     int onlyBlock = -1);

}  // namespace testsupport
