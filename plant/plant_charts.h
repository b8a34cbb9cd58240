#pragma once
// The three charts drawn from the figures (Qt Charts), each replacing what
// its chart showed before:
//   yield:   first-pass yield per hour, a line per station (x: the hour's
//            start, y: 0..100 %); an hour without units has no point;
//   causes:  a Pareto of the failures by outcome and stage, the most
//            frequent first (at most kMaxCauses bars, the rest as "other"),
//            with the cumulative share as a line;
//   sockets: each socket's failure rate in %, flagged sockets in a set of
//            their own ("flagged"), flagged first then by rate (at most
//            kMaxSockets; the CSV has them all).

#include <QString>

#include "plant/plant_queries.h"

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace quarn::plant {

constexpr int kMaxCauses = 12;
constexpr int kMaxSockets = 40;

void drawYield(QChart* chart, const PlantView& view);
void drawCauses(QChart* chart, const PlantView& view);
void drawSockets(QChart* chart, const PlantView& view);

// A slot as an axis shows it: its name after the last '/', cut to its last
// 15 characters when longer.
QString shortSlot(const QString& slot);

}  // namespace quarn::plant
