#include "record/slot_flags.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quarn::record {

double binomialUpperTail(qint64 k, qint64 n, double p) {
    if (k <= 0) return 1;
    if (k > n || p <= 0) return 0;
    if (p >= 1) return 1;
    // Summed in logarithms from k upwards, each term's logarithm from the
    // one before (term i+1 = term i * (n - i) / (i + 1) * p / q: one log a
    // term, where three lgamma each would cost a view of a thousand sockets
    // most of its time); the terms fall off fast past the mean, so the sum
    // stops once they no longer change it.
    const double lpq = std::log(p) - std::log1p(-p);
    double lt = std::lgamma(double(n) + 1) - std::lgamma(double(k) + 1) -
                std::lgamma(double(n - k) + 1) + k * std::log(p) + (n - k) * std::log1p(-p);
    double sum = 0;
    for (qint64 i = k; i <= n; ++i) {
        const double term = std::exp(lt);
        sum += term;
        if (double(i) > n * p && term < sum * 1e-17) break;
        lt += std::log(double(n - i) / double(i + 1)) + lpq;
    }
    return std::min(sum, 1.0);
}

double poissonUpperTail(qint64 k, double mean) {
    if (k <= 0) return 1;
    if (mean <= 0) return 0;
    const double lm = std::log(mean);
    auto term = [&](qint64 i) { return std::exp(i * lm - mean - std::lgamma(double(i) + 1)); };
    double sum = 0;
    // At or below the mean the tail is at least a half: 1 less the head
    // loses nothing that counts. Above it 1 - P(X < k) would round to 0, so
    // the tail is summed from k upwards until its terms no longer count.
    if (double(k) <= mean) {
        for (qint64 i = k - 1; i >= 0; --i) {  // the head's terms grow towards k
            const double t = term(i);
            sum += t;
            if (t < sum * 1e-17) break;
        }
        return std::clamp(1.0 - sum, 0.0, 1.0);
    }
    for (qint64 i = k;; ++i) {
        const double t = term(i);
        sum += t;
        if (t < sum * 1e-17) break;
    }
    return std::min(sum, 1.0);
}

double perSession(qint64 part, qint64 sessions) {
    return sessions > 0 ? double(part) / double(sessions) : 0.0;
}

namespace {

// The rules' tests of one socket against the sums of its station's others.
void compare(SocketVerdict* v, const SocketCount& others) {
    if (others.sessions <= 0) return;
    const SocketCount& s = v->count;
    v->othersRate = perSession(others.failed, others.sessions);
    v->othersRepeatRate = perSession(others.repeats, others.sessions);
    if (s.sessions < kMinSlotSessions) return;
    v->pValue = binomialUpperTail(s.failed, s.sessions, v->othersRate);
    v->flagged = v->pValue < kSlotAlpha;
    v->repeatsP = poissonUpperTail(s.repeats, double(s.sessions) * v->othersRepeatRate);
    v->repeatsFlagged = v->repeatsP < kRepeatAlpha &&
                        perSession(s.repeats, s.sessions) >= kRepeatFactor * v->othersRepeatRate;
}

}  // namespace

QList<SocketVerdict> judgeSockets(const QList<SocketCount>& sockets) {
    QHash<QString, SocketCount> station;  // every socket of the station summed
    for (const SocketCount& s : sockets) {
        SocketCount& sum = station[s.station];
        sum.sessions += s.sessions, sum.failed += s.failed, sum.repeats += s.repeats;
    }
    QList<SocketVerdict> out;
    for (const SocketCount& s : sockets) {
        SocketVerdict v{s};
        const SocketCount& all = station[s.station];
        SocketCount others;
        others.sessions = all.sessions - s.sessions;
        others.failed = all.failed - s.failed;
        others.repeats = all.repeats - s.repeats;
        compare(&v, others);
        out << v;
    }
    return out;
}

void judgeWear(QList<SocketVerdict>* sockets, qint64 life) {
    for (SocketVerdict& v : *sockets) v.worn = life > 0 && v.count.sinceService > life;
}

bool anyFlag(const SocketVerdict& v) { return v.flagged || v.repeatsFlagged || v.worn; }

QString socketWarning(const SocketVerdict& v) {
    return QStringLiteral("check %1 at %2: %3 of %4 failed, the station's other slots %5 %")
        .arg(v.count.slot, v.count.station)
        .arg(v.count.failed)
        .arg(v.count.sessions)
        .arg(100.0 * v.othersRate, 0, 'f', 1);
}

QString repeatsWarning(const SocketVerdict& v) {
    return QStringLiteral(
               "check %1 at %2: %3 block repeats in %4 sessions (%5 per session), the "
               "station's other slots %6 per session")
        .arg(v.count.slot, v.count.station)
        .arg(v.count.repeats)
        .arg(v.count.sessions)
        .arg(perSession(v.count.repeats, v.count.sessions), 0, 'f', 2)
        .arg(v.othersRepeatRate, 0, 'f', 2);
}

QString wearWarning(const SocketVerdict& v) {
    return QStringLiteral("service %1 at %2: %3 sessions since its last service")
        .arg(v.count.slot, v.count.station)
        .arg(v.count.sinceService);
}

QStringList socketWarnings(const SocketVerdict& v) {
    QStringList out;
    if (v.flagged) out << socketWarning(v);
    if (v.repeatsFlagged) out << repeatsWarning(v);
    if (v.worn) out << wearWarning(v);
    return out;
}

}  // namespace quarn::record
