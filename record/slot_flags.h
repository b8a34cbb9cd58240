#pragma once
// Which socket wears or fails more than its neighbours: the one set of rules
// behind `quarn-records report --by slot` and quarn-plant's sockets chart.
//
// A socket is a (station, slot). Its sessions are those that were not
// interrupted (a person's stop says nothing of the socket, as first_pass.h
// treats them); its failures are those of them that did not end good; its
// repeats are the blocks the unit refused and were sent again, summed over
// those sessions. Two rules compare a socket with the station's other
// sockets (their sums), and only when it has at least kMinSlotSessions
// sessions; a station with one socket has nothing to compare it with and
// flags nothing:
//  - failures: a one-sided binomial test puts its failures above the
//    others' rate (their failures over their sessions) at the 1 % level:
//    P(X >= failed | sessions, others' rate) < kSlotAlpha;
//  - repeats: a one-sided Poisson test puts its repeats above the others'
//    rate (their repeats over their sessions) at the 1 % level,
//    P(X >= repeats | mean = sessions * others' rate) < kRepeatAlpha, and
//    its repeats per session are at least kRepeatFactor times the others'
//    (a worn contact shows in repeats before it fails units; the factor
//    keeps a large station's small differences from flagging).
// A third rule needs no neighbours: a socket is due for service when more
// sessions than the socket life ([plant] socket-life) started on it since
// it was last serviced (judgeWear).

#include <QList>
#include <QString>

namespace quarn::record {

inline constexpr qint64 kMinSlotSessions = 20;
inline constexpr double kSlotAlpha = 0.01;
inline constexpr double kRepeatAlpha = 0.01;
inline constexpr double kRepeatFactor = 2.0;

struct SocketCount {
    QString station;
    QString slot;
    qint64 sessions = 0;  // not interrupted
    qint64 failed = 0;    // of those, not good
    qint64 repeats = 0;   // block repeats summed over those sessions
    // Every record of the socket started after its last service (all of
    // them when never serviced), whatever the period asked for: -1 unknown
    // (a log knows no service).
    qint64 sinceService = -1;
};

struct SocketVerdict {
    SocketCount count;
    double othersRate = 0;        // the station's other sockets: failures / sessions (0..1)
    double pValue = 1;            // the failure test's tail probability (1 when not tested)
    bool flagged = false;         // by the failure rule
    double othersRepeatRate = 0;  // the other sockets' repeats per session
    double repeatsP = 1;          // the repeat test's tail probability (1 when not tested)
    bool repeatsFlagged = false;
    bool worn = false;  // due for service (judgeWear)
};

// P(X >= k) for X ~ Binomial(n, p). 1 for k <= 0; exact to double precision.
double binomialUpperTail(qint64 k, qint64 n, double p);
// P(X >= k) for X ~ Poisson(mean). 1 for k <= 0; 0 for a mean of 0 and k > 0.
double poissonUpperTail(qint64 k, double mean);

// Repeats (or failures) per session; 0 without sessions.
double perSession(qint64 part, qint64 sessions);

// The verdict of every socket by the failure and repeat rules, in the order
// given. Sockets of one station are compared with each other only.
QList<SocketVerdict> judgeSockets(const QList<SocketCount>& sockets);

// Marks worn the sockets with more than `life` sessions since their last
// service (life <= 0: none).
void judgeWear(QList<SocketVerdict>* sockets, qint64 life);

// Whether any rule flags the socket.
bool anyFlag(const SocketVerdict& v);

// "check SLOT at STATION: F of N failed, the station's other slots P %"
QString socketWarning(const SocketVerdict& v);
// "check SLOT at STATION: R block repeats in N sessions (X per session), the
// station's other slots Y per session"
QString repeatsWarning(const SocketVerdict& v);
// "service SLOT at STATION: N sessions since its last service"
QString wearWarning(const SocketVerdict& v);
// Every warning the socket's flags call for, in that order.
QStringList socketWarnings(const SocketVerdict& v);

}  // namespace quarn::record
