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
// - mayLoad (when given) is asked before each listening attempt; while it
//   says no, the line is only probed (quiet line and handshake, nothing
//   more): a unit that answers puts the slot in Held, and it is probed again
//   every probeGapMs until mayLoad says yes (retryNow() asks at once).
// - After a session: sessionEnded() with its record, then at once the
//   removal probes (link/unit_probe.h, probeOpenLine: the handshake, on a
//   port kept open between probes by a ProbeLine), each awaiting its echo
//   kProbeReplyTicks of the link's ticker, at the pace the unit allows
//   (gang/removal_pace.h): quick probes every probeGapMs, start to start,
//   for a unit proven to take a handshake mid-login (its removal seen in
//   2 s), else safe probes, each after a quiet line of quietMs (seen in about
//   5 s; 2.8 s for a unit taken out as its good session ended, whose first
//   probe's silence counts). A slot whose unit left the first probe after
//   its good session unanswered and answered a later one has met a unit that
//   needs a quiet line after its session: from then on the first probe's
//   silence counts nothing there, until a unit answers a first probe. Once the
//   unit has left: Listening again at once. Meanwhile the
//   phase is Holding for holdMs (the outcome shown), then Remove. One lost
//   reply (line noise, a USB hiccup), or two not in a row, is no removal; a
//   probe whose port did not open, or that was stopped, tells nothing (the
//   next follows after retryMs).
// - answering() tells, after each answered probe once the socket has
//   answered longer than holdMs and a removal at the unit's pace would take
//   to be seen, how long since the session ended: a unit swapped for the
//   next one between two probes is never seen to leave, and the owner can
//   say so.
// - The record's keys (serial number, slot, ...) are those makeJob gives when
//   loading begins, so a number scanned while the slot listened is the
//   loaded unit's.
// - stopSession() stops a session being loaded as Cancel does (its record
//   says interrupted); listening goes on. stop() ends everything at once;
//   finishThenStop() lets a session being loaded end by itself first, and
//   resume() takes that back while the session still runs. stopped()
//   follows once nothing runs. Signals arrive on the owner's thread.
// - makeJob is asked for the slot's job before each attempt (the port looked
//   up again), so a port plugged elsewhere or back is found again; the
//   removal probes look it up as they begin and after a probe whose port
//   failed (the line follows a link pointed elsewhere by itself).

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "gang/probe_line.h"
#include "gang/removal_pace.h"
#include "gang/unit.h"

namespace quarn::gang {

struct WatchTiming {
    int holdMs = 2000;
    // Two ticks of the link's ticker: four probes span the handshake's own
    // time-out period (8 ticks, 2 s), the silence that means nobody is there.
    int probeGapMs = 500;
    int retryMs = 1000;
    // A safe probe's quiet line, from the handshake before it: more than the
    // longest a unit waits for a quiet line before it listens for a handshake
    // again (2 s, from its echo a few milliseconds after our handshake), with
    // margin for a unit's slow clock.
    int quietMs = 2300;
    // The first removal probe after a session: a unit taken out as its
    // session ended is out by then, and its silence decides at once
    // (gang/removal_pace.h); no hand takes a unit out sooner.
    int firstProbeMs = 250;
};

class Watch : public QObject {
    Q_OBJECT
public:
    enum class Phase { Listening, Held, Loading, Holding, Remove, Stopped };

    Watch(int slot, std::function<UnitJob()> makeJob, WatchTiming timing = {},
          QObject* parent = nullptr);
    ~Watch() override;

    void setMayLoad(std::function<bool()> mayLoad) { mayLoad_ = std::move(mayLoad); }
    void start();
    void stopSession();
    void stop();
    void finishThenStop();
    void resume();
    // Held: probe (or load) now instead of after the gap.
    void retryNow();
    bool stopping() const { return stopping_; }
    Phase phase() const { return phase_; }
    // The unit watched for its removal is proven to take a handshake
    // mid-login: its removal is seen at the quick pace.
    bool quickPace() const { return line_ && pace_.quick(); }
    // The session being loaded (Loading), else nullptr.
    const Unit* session() const { return phase_ == Phase::Loading ? unit_.get() : nullptr; }

signals:
    void phaseChanged(int slot, quarn::gang::Watch::Phase phase);
    void progressed(int slot, const quarn::SessionProgress& progress);
    void sessionEnded(int slot, const quarn::record::UnitRecord& record);
    void stopped(int slot);
    // A removal probe was answered: seconds since the session ended.
    void answering(int slot, int seconds);

private:
    enum class Attempt { Listen, HeldProbe };
    void setPhase(Phase phase);
    void launch(Attempt attempt);
    void onProgress(const SessionProgress& p);
    void onDone(record::UnitRecord record);
    void afterListen(const record::UnitRecord& record);
    void afterProbe(const record::UnitRecord& record);
    void endStopped(const record::UnitRecord& record);
    void after(int ms, void (Watch::*next)());
    void listen();
    void watchRemoval(bool afterGood);
    void probe();
    void onProbed(const ProbeReport& report);
    void nextProbe(const ProbeReport& report);
    void learnDeafness(ProbeResult result);
    void left();
    void enterRemove();

    int slot_;
    std::function<UnitJob()> makeJob_;
    std::function<bool()> mayLoad_;
    WatchTiming timing_;
    Phase phase_ = Phase::Stopped;
    Attempt attempt_ = Attempt::Listen;
    RemovalPace pace_{0, 0, 0, false};  // of the unit being watched for its removal
    bool slotDeaf_ = false;             // a unit here was deaf to the first probe after its session
    bool firstSilent_ = false;          // the first probe of this watch went unanswered
    bool stopping_ = false;
    bool letSessionFinish_ = false;
    RecordKeys keysAtLoad_;
    std::unique_ptr<Unit> unit_;
    std::unique_ptr<ProbeLine> line_;  // while a loaded unit is watched for its removal
    QElapsedTimer sinceSession_;       // since the last session ended
    QString probeDevice_;              // where the removal probes go
    QTimer wait_;
    QTimer probeTimer_;
};

}  // namespace quarn::gang

Q_DECLARE_METATYPE(quarn::gang::Watch::Phase)
