#pragma once
// The sockets' chart: each socket's failure rate in %, flagged sockets in a
// set of their own ("flagged"), flagged first then by rate (at most
// kMaxSockets; the CSV has them all).

#include <QString>

#include "plant/plant_queries.h"

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace quarn::plant {

constexpr int kMaxSockets = 40;

void drawSockets(QChart* chart, const PlantView& view);

// A slot as an axis shows it: its name after the last '/', cut to its last
// 15 characters when longer.
QString shortSlot(const QString& slot);

}  // namespace quarn::plant
