#pragma once
// The plant's view (plantfeed/plant_queries.h) as the pages read it, one JSON
// object: the tiles (with whether a station is quiet, as the window judges
// it), the hours, the causes with their labels, the sockets with their
// short names, flags and sentences, the approval mismatches and the units of
// the filtered image. Times ISO 8601 in UTC; sha256 whole. And the feed's
// state ({"mode", "why", "away_since", "figures_at", "trouble"}).

#include <QByteArray>

#include "plantfeed/feed_state.h"
#include "plantfeed/plant_queries.h"

namespace quarn::web {

QByteArray viewJson(const plantfeed::PlantView& view);
QByteArray stateJson(const plantfeed::FeedState& state);

}  // namespace quarn::web
