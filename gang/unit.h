#pragma once
// One unit of a gang: a download session on its own thread, for every front
// end that loads units side by side (quarn-flash, its --watch, the station).
//
// Contract
// - A Unit lives on the thread that made it (the owner's); its session runs
//   on a thread of its own, where the link, its port, its timers and the
//   download file are made, so the link's waits run that thread's events only
//   and never another unit's or the owner's.
// - start() begins the session, once. The Unit's signals arrive on the
//   owner's thread: progressed() at each stage change, refused block and
//   answered block (the last only with UnitJob::everyBlock; the session's
//   own SessionProgress, unchanged), then
//   finished() once with the unit's record, after the port is closed.
// - requestStop() may be called from any thread, at any time, any number of
//   times: a running session stops as the window's Cancel does (nothing more
//   is sent after the block on the wire, the port is closed) and its record
//   says interrupted; a unit stopped before start() finishes interrupted
//   as soon as it is started, without opening its port.
// - progress() and transferStartMs() may be read from any thread at any time.
// - Destroying a Unit stops its session and waits for its thread to end.
//
// A unit whose port leads nowhere (UnitJob::device empty) finishes at once
// with outcome port and UnitJob::deviceProblem as its message. A unit whose
// serial number the retest limit holds (UnitJob::retestCheck) finishes
// without its port opening, with outcome held: no byte goes to it.

#include <QMutex>
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <optional>

#include "gang/unit_job.h"
#include "link/download_link.h"
#include "record/unit_record.h"

namespace quarn::gang {

class UnitWorker;

class Unit : public QObject {
    Q_OBJECT
public:
    // slot: the owner's number for the unit (its place in a gang or a rack).
    Unit(int slot, UnitJob job, QObject* parent = nullptr);
    ~Unit() override;

    int slot() const { return slot_; }
    const UnitJob& job() const { return job_; }

    void start();
    void requestStop();
    // finished() has been emitted.
    bool hasFinished() const { return finished_; }
    SessionProgress progress() const;
    // Milliseconds since the epoch when the first block went out; 0 before.
    qint64 transferStartMs() const { return transferStartMs_; }

signals:
    void progressed(int slot, const quarn::SessionProgress& progress);
    void finished(int slot, const quarn::record::UnitRecord& record);

private:
    friend class UnitWorker;
    void publish(const SessionProgress& progress);  // on the unit's thread

    int slot_;
    UnitJob job_;
    QThread thread_;
    UnitWorker* worker_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<qint64> transferStartMs_{0};
    bool finished_ = false;
    mutable QMutex mutex_;
    SessionProgress progress_;
    SessionProgress published_;  // the last one the unit's thread was handed
};

}  // namespace quarn::gang

Q_DECLARE_METATYPE(quarn::record::UnitRecord)
Q_DECLARE_METATYPE(quarn::SessionProgress)
