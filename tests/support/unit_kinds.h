#pragma once
// A rack of simulated units of every kind Auto-start must cope with, each
// kind with every pattern of lost probe replies, side by side: what the tests
// of quarn-flash --watch and quarn-station's Auto-start run against, so that
// one run of a program covers the whole table.
//
// The kinds: a unit that takes a handshake as a new session at any point
// outside a block (the simulator's default); one that reads the eight bytes
// after an answered handshake as its password whatever they are and waits for
// a quiet line of 1.5 s, or 2 s, before it hears a handshake again; one that
// starts its new program after a good download and answers nothing more; and
// units that chatter (lines of their own at random) besides; and one that
// needs its quiet line after a download too. Each kind that
// answers after a download comes with no reply lost, one lost, and two lost
// not in a row (the replies to the third and fifth handshakes after each
// download).

#include <QString>
#include <QStringList>
#include <cstddef>
#include <memory>
#include <vector>

#include "sim/unit_sim.h"

namespace testsupport {

class KindRack {
public:
    // One unit per row, each on a fresh pseudo-terminal linked as dir/kindK.
    explicit KindRack(const QString& dir);
    ~KindRack();
    QStringList ports() const { return ports_; }
    int size() const { return int(units_.size()); }
    // Every unit has completed n downloads.
    bool loaded(size_t n) const;
    // Every unit out of its socket; the next one put in.
    void takeOut();
    void putIn();
    // "ROW: N logins" per unit, one a line; equal to expected(n) when every
    // unit was logged into n times.
    QString logins() const;
    QString expected(int n) const;

    // What a program started on ports() did with the whole rack: every unit
    // loaded, then left in its socket through its lost replies and past any
    // load they would bring, then taken out for 10 s and the next one put in.
    // The logins (as logins() gives them) after each insertion, and whether
    // every unit was loaded each time. Runs the event loop throughout.
    struct Insertions {
        bool loadedFirst = false, loadedSecond = false;
        QString first, second;
    };
    Insertions runInsertions();

private:
    QStringList names_;
    QStringList ports_;
    std::vector<std::unique_ptr<sim::UnitSim>> units_;
};

}  // namespace testsupport
