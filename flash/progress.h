#pragma once
// What people see on standard error while units load. On a terminal: one line
// per unit, redrawn in place (at most 10 times a second by the caller's
// timer), then a summary table. Otherwise: one plain line per unit at each
// stage change and each quarter of the blocks, no control characters.

#include <QList>
#include <QString>
#include <cstdio>

#include "gang/unit.h"

namespace quarn::flash {

using record::outcomeName;
using record::UnitRecord;

// "block 12 of 512", "handshake", ...
QString stageText(int stage, int block, int total);

class ProgressDisplay {
public:
    ProgressDisplay(FILE* out, bool terminal, bool quiet)
        : out_(out), terminal_(terminal), quiet_(quiet) {}

    bool terminal() const { return terminal_; }
    // Terminal: redraws every unit's line.
    // outcomes[i]: the unit's outcome once it ended, else empty.
    void redraw(const QList<gang::Unit*>& units, const QStringList& outcomes);
    // Terminal: takes the drawn lines away, so that standard output (the same
    // terminal, maybe) writes below what is already there; the next redraw
    // draws them again.
    void erase();
    // Not a terminal: one line when a unit's stage or quarter of the blocks
    // answered changes.
    void progressLine(int slot, const QString& port, const SessionProgress& p);
    // A unit ended (both modes): a plain line when not a terminal.
    void endedLine(const UnitRecord& r);
    void summary(const QList<UnitRecord>& records);
    void note(const QString& text);

private:
    QString unitLine(const gang::Unit& u, const QString& outcome) const;
    void stageLine(const QString& port, int stage, int block, int total);

    struct Shown {
        int stage = -1;
        int quarter = 0;
    };
    QList<Shown> shown_;  // by slot: what the last plain line said

    FILE* out_;
    bool terminal_;
    bool quiet_;
    int drawn_ = 0;
};

}  // namespace quarn::flash
