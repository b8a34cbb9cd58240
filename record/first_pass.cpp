#include "record/first_pass.h"

#include <tuple>

namespace quarn::record {

namespace {

bool earlier(const PassSession& a, const PassSession& b) {
    if (a.started.isValid() != b.started.isValid()) return a.started.isValid();
    return std::tie(a.started, a.id) < std::tie(b.started, b.id);
}

bool good(const PassSession& s) { return s.outcome == QLatin1String(kGoodOutcome); }

}  // namespace

void FirstPass::add(const PassSession& s) {
    if (!isPass(s.outcome)) return;
    if (s.serial.isEmpty()) {
        ++unnamed_;
        unnamedGood_ += good(s);
        return;
    }
    const auto it = first_.constFind(s.serial);
    if (it == first_.cend() || earlier(s, *it)) first_.insert(s.serial, s);
}

bool FirstPass::decides(const PassSession& s) const {
    if (!isPass(s.outcome)) return false;
    if (s.serial.isEmpty()) return true;
    const auto it = first_.constFind(s.serial);
    return it != first_.cend() && it->id == s.id && it->started == s.started;
}

qint64 FirstPass::firstPassGood() const {
    qint64 n = unnamedGood_;
    for (const PassSession& s : first_) n += good(s);
    return n;
}

}  // namespace quarn::record
