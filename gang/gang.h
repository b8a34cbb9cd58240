#pragma once
// Units side by side: a gang of Units (gang/unit.h), each on its own thread,
// started together and stopped together. A front end adds one unit per port
// (or rack slot), connects to the gang's signals, calls startAll() and runs
// its event loop until allFinished().
//
// Contract
// - Slots are the order of add(): 0, 1, 2, ...
// - Signals arrive on the gang's thread: progressed() and unitFinished() as
//   each Unit emits them, then allFinished() once after the last unit's
//   unitFinished().
// - requestStop() may be called from any thread, any number of times; every
//   unit still running stops as by Unit::requestStop(). stopRequested() then
//   stays true.

#include <QList>
#include <QObject>
#include <atomic>
#include <memory>
#include <vector>

#include "gang/unit.h"

namespace quarn::gang {

class Gang : public QObject {
    Q_OBJECT
public:
    explicit Gang(QObject* parent = nullptr) : QObject(parent) {}
    ~Gang() override;

    // Before startAll(). Returns the new unit, owned by the gang.
    Unit* add(UnitJob job);
    const QList<Unit*>& units() const { return units_; }
    int size() const { return static_cast<int>(units_.size()); }

    void startAll();
    void requestStop();
    bool stopRequested() const { return stop_; }
    // Units that have not finished yet.
    int running() const { return running_; }

signals:
    void progressed(int slot, const quarn::SessionProgress& progress);
    void unitFinished(int slot, const quarn::record::UnitRecord& record);
    void allFinished();

private:
    QList<Unit*> units_;
    std::atomic<bool> stop_{false};
    int running_ = 0;
};

}  // namespace quarn::gang
