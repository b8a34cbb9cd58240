#pragma once
// quarn-bench --station N: quarn-station (offscreen, Auto-start on) loading
// N simulated units paced at 9600 bit/s with the full image, then listening
// on N empty slots. quarn-bench --station N --swap SECONDS: the same
// station with each unit taken out after its session and the next one put
// in SECONDS later, several per socket: units per hour per socket beside
// the limit the wire and the swap allow. quarn-bench --watch-soak: quarn-flash --watch on 16
// units, 100 sessions each without pacing, faults drawn at random.

#include <QString>

namespace bench {

struct StationBenchOptions {
    QString stationPath;
    QString flashPath;
    bool checkTargets = true;
};

// Prints the figures; 0 when every image is right and the targets are met
// (or not checked), else 1.
int runStationBench(const StationBenchOptions& o, int slots);
int runSwapBench(const StationBenchOptions& o, int slots, double swapSeconds, int unitsEach = 4);
int runWatchSoak(const StationBenchOptions& o, int units = 16, int sessionsEach = 100);

}  // namespace bench
