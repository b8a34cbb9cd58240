#pragma once
// The sockets' chart: for each socket, its failures and its block repeats
// per 100 sessions side by side (one scale: both are counts per 100
// sessions), the bars a rule flags in red (record/slot_flags.h). Sockets any
// rule flags come first, then by failure rate; at most kMaxSockets (the CSV
// has them all). Every bar is labelled (socketLabel); the value axis has its
// ticks at round numbers (niceTickStep). The chart grows with the sockets
// (socketChartHeight) and its tab scrolls.

#include <QString>

#include "plantfeed/plant_queries.h"

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace quarn::plant {

constexpr int kMaxSockets = 400;

void drawSockets(QChart* chart, const plantfeed::PlantView& view);

// Every series and axis gone, for a new drawing (of any of the charts).
void clearChart(QChart* chart);

// The bar's label on the axis (rich text, two lines): the station and the
// socket's short name (record/socket_name.h), then in red what any rule
// flags ("bay-1 USB 1.3 · check: failures, repeats, service"); below, the
// sessions since service ("812 since service") where known.
QString socketLabel(const record::SocketVerdict& v);

// The least of 1, 2 or 5 times a power of ten that covers 0..top in at most
// 10 steps (top > 0).
double niceTickStep(double top);

// The chart's height in pixels for n sockets: every label legible.
int socketChartHeight(int sockets);

}  // namespace quarn::plant
