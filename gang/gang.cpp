#include "gang/gang.h"

namespace quarn::gang {

Gang::~Gang() {
    // Each unit stops and waits for its thread before the next is asked.
    requestStop();
    qDeleteAll(units_);
}

Unit* Gang::add(UnitJob job) {
    auto* unit = new Unit(size(), std::move(job));
    connect(unit, &Unit::progressed, this, &Gang::progressed);
    connect(unit, &Unit::finished, this, [this](int slot, const record::UnitRecord& record) {
        --running_;
        emit unitFinished(slot, record);
        if (running_ == 0) emit allFinished();
    });
    units_ << unit;
    return unit;
}

void Gang::startAll() {
    running_ = size();
    for (Unit* unit : units_) unit->start();
    if (running_ == 0) emit allFinished();
}

void Gang::requestStop() {
    stop_ = true;
    for (Unit* unit : units_) unit->requestStop();
}

}  // namespace quarn::gang
