#include "station/rack_fit.h"

#include <algorithm>

namespace quarn::station {

namespace {

// The share of the area one of n cells gets along one side.
int cell(int length, int n, int spacing) { return (length - (n - 1) * spacing) / n; }

// The largest px in [kMinStatusPx, kMaxStatusPx] at which a tile fits in w x h;
// 0 when none does. widthAt and heightAt grow with px.
int largestFitting(int w, int h, const std::function<int(int)>& widthAt,
                   const std::function<int(int)>& heightAt) {
    int best = 0;
    for (int lo = kMinStatusPx, hi = kMaxStatusPx; lo <= hi;) {
        const int px = (lo + hi) / 2;
        if (widthAt(px) <= w && heightAt(px) <= h)
            best = px, lo = px + 1;
        else
            hi = px - 1;
    }
    return best;
}

}  // namespace

RackFit fitRack(int count, QSize area, int spacing, const std::function<int(int)>& widthAt,
                const std::function<int(int)>& heightAt) {
    RackFit fit;
    if (count <= 0) return fit.fits = true, fit;
    for (int columns = 1; columns <= count; ++columns) {
        const int rows = (count + columns - 1) / columns;
        const int px = largestFitting(cell(area.width(), columns, spacing),
                                      cell(area.height(), rows, spacing), widthAt, heightAt);
        if (px > fit.statusPx || (px == fit.statusPx && !fit.fits && px > 0))
            fit = {columns, px, true};
    }
    if (fit.fits) return fit;
    // Too many for the area: rows scroll, the columns as many as fit across.
    fit.columns = 1;
    while (fit.columns < count &&
           widthAt(kMinStatusPx) <= cell(area.width(), fit.columns + 1, spacing))
        ++fit.columns;
    return fit;
}

}  // namespace quarn::station
