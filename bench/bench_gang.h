#pragma once
// quarn-bench --gang: quarn-flash loading N simulated units at once.

#include <QList>
#include <QString>

namespace bench {

struct GangOptions {
    QList<int> paced;    // unit counts to run paced at 9600 bit/s
    QList<int> unpaced;  // unit counts to run without pacing
    QString flashPath;
    bool checkTargets = true;
};

// Prints one row per run; returns 0 when every image is right and the
// 16-unit paced targets are met (or not checked), else 1.
int runGang(const GangOptions& options);

}  // namespace bench
