#pragma once
// How a rack's tiles share the window: the number of columns and the size of
// the status text that give every tile room, the status text as large as the
// space allows. No widgets: the sizes come in as figures, so that the choice
// is the same on any screen and testable without one.

#include <QSize>
#include <functional>

namespace quarn::station {

// The smallest status text in pixels: readable from two metres on a station's
// screen. A rack that cannot have it without scrolling scrolls.
constexpr int kMinStatusPx = 24;
// Beyond this a larger text no longer helps (a rack of a few slots).
constexpr int kMaxStatusPx = 64;

struct RackFit {
    int columns = 1;
    int statusPx = kMinStatusPx;
    bool fits = false;  // every tile inside the area at statusPx; else the rack scrolls
};

// count tiles in area, spacing pixels between them; widthAt(px) and
// heightAt(px): the least a tile needs across and down with its status text
// px high. Of the column counts that fit at kMinStatusPx or more, the one with
// the largest text (ties: fewer columns); none: as many columns as fit
// across at kMinStatusPx, rows scrolling.
RackFit fitRack(int count, QSize area, int spacing, const std::function<int(int)>& widthAt,
                const std::function<int(int)>& heightAt);

}  // namespace quarn::station
