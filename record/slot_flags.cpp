#include "record/slot_flags.h"

#include <QHash>
#include <cmath>

namespace quarn::records {

double binomialUpperTail(qint64 k, qint64 n, double p) {
    if (k <= 0) return 1;
    if (k > n || p <= 0) return 0;
    if (p >= 1) return 1;
    // Summed in logarithms from k upwards; the terms fall off fast past the
    // mean, so the sum stops once they no longer change it.
    const double lp = std::log(p), lq = std::log1p(-p);
    double sum = 0;
    for (qint64 i = k; i <= n; ++i) {
        const double term = std::exp(std::lgamma(double(n) + 1) - std::lgamma(double(i) + 1) -
                                     std::lgamma(double(n - i) + 1) + i * lp + (n - i) * lq);
        sum += term;
        if (double(i) > n * p && term < sum * 1e-17) break;
    }
    return std::min(sum, 1.0);
}

QList<SocketVerdict> judgeSockets(const QList<SocketCount>& sockets) {
    QHash<QString, SocketCount> station;  // every socket of the station summed
    for (const SocketCount& s : sockets) {
        station[s.station].sessions += s.sessions;
        station[s.station].failed += s.failed;
    }
    QList<SocketVerdict> out;
    for (const SocketCount& s : sockets) {
        SocketVerdict v{s};
        const qint64 otherSessions = station[s.station].sessions - s.sessions;
        const qint64 otherFailed = station[s.station].failed - s.failed;
        if (otherSessions > 0) {
            v.othersRate = double(otherFailed) / double(otherSessions);
            if (s.sessions >= kMinSlotSessions) {
                v.pValue = binomialUpperTail(s.failed, s.sessions, v.othersRate);
                v.flagged = v.pValue < kSlotAlpha;
            }
        }
        out << v;
    }
    return out;
}

QString socketWarning(const SocketVerdict& v) {
    return QStringLiteral("check %1 at %2: %3 of %4 failed, the station's other slots %5 %")
        .arg(v.count.slot, v.count.station)
        .arg(v.count.failed)
        .arg(v.count.sessions)
        .arg(100.0 * v.othersRate, 0, 'f', 1);
}

}  // namespace quarn::records
