#pragma once
// How a slot watches the unit it has just loaded for its removal, learnt
// from the unit itself (gang/watch.h runs the probes; this decides).
//
// Units differ in what they make of a handshake in the middle of a login.
// Some take it as a new session at any moment; others read the eight bytes
// after an answered handshake as their password whatever they are, answer
// a wrong one with nothing and wait for a handshake again only once their
// line has been quiet (1.5 s, or 2 s). A quick probe (the handshake alone,
// every probeGapMs) tells the first kind's presence; the second kind cannot
// answer it, and taking that silence for a removal would load a unit that
// never left. A silence counts only where the unit could have answered:
// - a safe probe: a quiet line of quietMs since the line's last handshake
//   and the last byte it heard (a late reply counts as the unit's activity),
//   then the handshake, which every kind answers;
// - the first probe after a good session, unless the owner says otherwise
//   (firstDecides): a unit waits for a handshake after its end byte, but one
//   that needs a quiet line after its session too could not answer it, and
//   the owner who has met such a unit in the socket says so;
// - a quick probe, once the quick pace is proven for this unit.
// The proof: a quick probe answered within kProofWindowMs of the probe
// before it. A unit that waits for a quiet line would have taken its bytes
// as password bytes (after an answered handshake), or as more noise to be
// quiet after; so the unit that answered takes a handshake at any moment (or
// was put in only just now, and its quick probes tell its removal as well).
// The pace, from the session's end:
// - the first probe is quick (the watch sends it 0.25 s after the session);
//   answered, the proof follows probeGapMs later
//   (and once more after the next answered probe: kProofTries in all, so a
//   lost reply during the first proof costs a quick unit nothing);
// - proven: quick probes every probeGapMs, and kSilentProbesToLeave silent
//   in a row mean the unit has left (2 s);
// - otherwise safe probes, and kSilentSafeProbesToLeave silent deciding
//   probes in a row mean it has left (about 5 s; 2.8 s for a unit taken out
//   as its good session ended when the first probe decides).
// Bytes without the echo (a unit's own chatter, line noise), a port that
// failed and a stopped probe tell nothing: they neither count nor break a
// count. One lost reply, or two not in a row, leave gaps of one silent
// deciding probe: short of either count.

#include <QtGlobal>

#include "link/unit_probe.h"

namespace quarn::gang {

// A quick probe answered this soon after the one before it was not taken as
// password bytes: a unit that waits for a quiet line of 1.5 s would have (the
// margin covers a late timer).
constexpr int kProofWindowMs = 1000;
constexpr int kProofTries = 2;
// Silent deciding probes in a row that mean the unit has left: quick ones
// (every 0.5 s: two seconds without an answer, the handshake's own time-out
// period), and otherwise (each a quiet line and the handshake).
constexpr int kSilentProbesToLeave = 4;
constexpr int kSilentSafeProbesToLeave = 2;

class RemovalPace {
public:
    enum class Probe { Quick, Safe };

    // probeGapMs: quick probes, start to start; quietMs: a safe probe's quiet
    // line, from the handshake before it; replyMs: each probe's wait for the
    // echo. firstDecides: the first probe's silence counts (see above).
    RemovalPace(int probeGapMs, int quietMs, int replyMs, bool firstDecides)
        : gapMs_(probeGapMs), quietMs_(quietMs), replyMs_(replyMs), firstDecides_(firstDecides) {}

    // The kind of the next probe.
    Probe next() const;
    // The result of the probe next() asked for, whose handshake went out at
    // sentMs (-1: it did not): true when the unit has left.
    bool judge(ProbeResult result, qint64 sentMs);
    // The quick pace is proven for this unit.
    bool quick() const { return quick_; }
    // No probe has been judged yet.
    bool atFirst() const { return first_; }
    // How long a unit taken out takes to be seen gone at the pace known now.
    int removalSeenMs() const;

private:
    int gapMs_, quietMs_, replyMs_;
    bool first_ = true;
    bool firstDecides_;
    bool quick_ = false;
    int proofs_ = 0;  // proofs tried
    bool lastAnswered_ = false;
    qint64 lastSentMs_ = -1;  // the last probe that reached the line went out then
    int silent_ = 0;          // deciding probes silent in a row
};

}  // namespace quarn::gang
