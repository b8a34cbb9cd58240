#pragma once
// Which socket fails more than its neighbours: the one rule behind
// `quarn-records report --by slot` and quarn-plant's sockets chart.
//
// A socket is a (station, slot). Its sessions are those that were not
// interrupted (a person's stop says nothing of the socket, as first_pass.h
// treats them); its failures are those of them that did not end good. A
// socket is flagged when it has at least kMinSlotSessions sessions and a
// one-sided binomial test puts its failures above the rate of the station's
// other sockets (their failures over their sessions) at the 1 % level:
// P(X >= failed | sessions, others' rate) < kSlotAlpha. A station with one
// socket has nothing to compare it with, and flags nothing.

#include <QList>
#include <QString>

namespace quarn::records {

inline constexpr qint64 kMinSlotSessions = 20;
inline constexpr double kSlotAlpha = 0.01;

struct SocketCount {
    QString station;
    QString slot;
    qint64 sessions = 0;  // not interrupted
    qint64 failed = 0;    // of those, not good
};

struct SocketVerdict {
    SocketCount count;
    double othersRate = 0;  // the station's other sockets: failures / sessions (0..1)
    double pValue = 1;      // the test's tail probability (1 when not tested)
    bool flagged = false;
};

// P(X >= k) for X ~ Binomial(n, p). 1 for k <= 0; exact to double precision.
double binomialUpperTail(qint64 k, qint64 n, double p);

// The verdict of every socket, in the order given. Sockets of one station
// are compared with each other only.
QList<SocketVerdict> judgeSockets(const QList<SocketCount>& sockets);

// "check SLOT at STATION: F of N failed, the station's other slots P %"
QString socketWarning(const SocketVerdict& v);

}  // namespace quarn::records
