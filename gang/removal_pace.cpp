#include "gang/removal_pace.h"

namespace quarn::gang {

RemovalPace::Probe RemovalPace::next() const {
    if (quick_ || first_) return Probe::Quick;
    return lastAnswered_ && proofs_ < kProofTries ? Probe::Quick : Probe::Safe;
}

bool RemovalPace::judge(ProbeResult result, qint64 sentMs) {
    const Probe kind = next();
    const bool decides = kind == Probe::Safe || quick_ || (first_ && firstDecides_);
    proofs_ += kind == Probe::Quick && !quick_ && !first_;
    first_ = false;
    const qint64 before = lastSentMs_;
    const bool reached = result == ProbeResult::Answered || result == ProbeResult::Silent ||
                         result == ProbeResult::Noise;
    if (reached) lastSentMs_ = sentMs;
    lastAnswered_ = result == ProbeResult::Answered;
    if (result == ProbeResult::Answered) {
        quick_ =
            quick_ || (kind == Probe::Quick && before >= 0 && sentMs - before <= kProofWindowMs);
        silent_ = 0;
        return false;
    }
    if (result != ProbeResult::Silent || !decides) return false;  // nothing learnt
    return ++silent_ >= (quick_ ? kSilentProbesToLeave : kSilentSafeProbesToLeave);
}

int RemovalPace::removalSeenMs() const {
    if (quick_) return kSilentProbesToLeave * gapMs_;
    return kSilentSafeProbesToLeave * quietMs_ + replyMs_;
}

}  // namespace quarn::gang
