#pragma once
// Auto-start for one slot: listen for a unit, load it at once, then wait for
// it to leave before listening again, so that a unit is never loaded twice
// without leaving its socket. For the rack window and quarn-flash --watch.
//
// Contract
// - Listening: a session is started and started again; while it finds nobody
//   (the line silent at the handshake, or the port not opening) it ends
//   without a record and the next one begins (after retryMs when the port did
//   not open). A unit that answers is loaded by that very session: Loading
//   begins when the session passes the handshake.
// - After a session: sessionEnded() with its record, Holding for holdMs (the
//   outcome shown), then Remove: the line is probed (quiet line and
//   handshake, nothing more) every probeGapMs until the unit no longer
//   answers; then Listening again. The gap exceeds the unit's own return to
//   waiting for a handshake, so each probe meets a unit ready to answer.
// - stopSession() stops a session being loaded as Cancel does (its record
//   says interrupted); listening goes on. stop() ends everything; stopped()
//   follows once nothing runs. Signals arrive on the owner's thread.
// - makeJob is asked for the slot's job before each attempt, so a port
//   plugged elsewhere or back is found again.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "gang/unit.h"

namespace quarn::gang {

struct WatchTiming {
    int holdMs = 2000;
    int probeGapMs = 2500;
    int retryMs = 1000;
};

class Watch : public QObject {
    Q_OBJECT
public:
    enum class Phase { Listening, Loading, Holding, Remove, Stopped };

    Watch(int slot, std::function<UnitJob()> makeJob, WatchTiming timing = {},
          QObject* parent = nullptr);
    ~Watch() override;

    void start();
    void stopSession();
    void stop();
    Phase phase() const { return phase_; }
    // The session being loaded (Loading), else nullptr.
    const Unit* session() const { return phase_ == Phase::Loading ? unit_.get() : nullptr; }

signals:
    void phaseChanged(int slot, quarn::gang::Watch::Phase phase);
    void progressed(int slot, const quarn::SessionProgress& progress);
    void sessionEnded(int slot, const quarn::gang::UnitRecord& record);
    void stopped(int slot);

private:
    void setPhase(Phase phase);
    void launch(bool probe);
    void onDone(const UnitRecord& record);
    void after(int ms, void (Watch::*next)());
    void listen() { launch(false); }
    void probe() { launch(true); }
    void enterRemove() {
        setPhase(Phase::Remove);
        probe();
    }

    int slot_;
    std::function<UnitJob()> makeJob_;
    WatchTiming timing_;
    Phase phase_ = Phase::Stopped;
    bool probing_ = false;
    bool stopping_ = false;
    std::unique_ptr<Unit> unit_;
    QTimer wait_;
};

}  // namespace quarn::gang

Q_DECLARE_METATYPE(quarn::gang::Watch::Phase)
