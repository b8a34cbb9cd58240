#include "tests/support/unit_kinds.h"

#include <QDir>

#include "tests/support/unit_rigs.h"

namespace testsupport {

namespace {

struct Kind {
    const char* name;
    sim::Config config;
    bool answersAfterDownload;
};

sim::Config deafAfterDownload() {
    sim::Config c;
    c.readsPassword = c.deafAfterDownload = true;
    return c;
}

sim::Config kindConfig(bool readsPassword, int idleResetMs, bool runsProgram, int chatterMs) {
    sim::Config c;
    c.readsPassword = readsPassword;
    c.idleResetMs = idleResetMs;
    c.runsProgram = runsProgram;
    c.chatterMs = chatterMs;
    return c;
}

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> table = {
        {"takes a handshake", kindConfig(false, 2000, false, 0), true},
        {"reads its password, 1.5 s", kindConfig(true, 1500, false, 0), true},
        {"reads its password, 2 s", kindConfig(true, 2000, false, 0), true},
        {"chatters", kindConfig(false, 2000, false, 600), true},
        {"reads its password and chatters", kindConfig(true, 2000, false, 600), true},
        // Its first probe after the download cannot be answered.
        {"needs a quiet line after its download", deafAfterDownload(), true},
        {"runs its program", kindConfig(false, 2000, true, 0), false},
        {"runs its program and chatters", kindConfig(false, 2000, true, 600), false},
    };
    return table;
}

}  // namespace

KindRack::KindRack(const QString& dir) {
    const std::vector<std::pair<const char*, std::set<int>>> losses = {
        {"", {}}, {", one reply lost", {3}}, {", two lost not in a row", {3, 5}}};
    for (const Kind& kind : kinds()) {
        for (const auto& [lossName, lost] : losses) {
            if (!kind.answersAfterDownload && !lost.empty()) continue;  // nothing to lose
            sim::Config c = kind.config;
            c.lostReplies = lost;
            c.noiseSeed = uint32_t(units_.size() + 1);  // each chatters at its own times
            c.symlink =
                QDir(dir).filePath(QStringLiteral("kind%1").arg(units_.size())).toStdString();
            units_.push_back(std::make_unique<sim::UnitSim>(c));
            std::string error;
            if (!units_.back()->start(&error)) qFatal("simulator did not start: %s", error.c_str());
            names_ << QString::fromLatin1(kind.name) + QString::fromLatin1(lossName);
            ports_ << QString::fromStdString(c.symlink);
        }
    }
}

KindRack::~KindRack() = default;

bool KindRack::loaded(size_t n) const {
    for (const auto& u : units_)
        if (!u->waitForSessions(n, 0)) return false;
    return true;
}

void KindRack::takeOut() {
    for (const auto& u : units_) u->takeOut();
}

void KindRack::putIn() {
    for (const auto& u : units_) u->putIn();
}

KindRack::Insertions KindRack::runInsertions() {
    const auto wait = [](int ms) { spinUntil([] { return false; }, ms); };
    Insertions r;
    r.loadedFirst = spinUntil([&] { return loaded(1); }, 30000);
    wait(15000);  // the fifth reply after a download is lost about 11 s in at a safe pace
    r.first = logins();
    takeOut();
    wait(10000);
    putIn();
    r.loadedSecond = spinUntil([&] { return loaded(2); }, 30000);
    wait(2000);
    r.second = logins();
    return r;
}

QString KindRack::logins() const {
    QString text;
    for (size_t i = 0; i < units_.size(); ++i)
        text += QStringLiteral("%1: %2 logins\n").arg(names_[int(i)]).arg(units_[i]->logins());
    return text;
}

QString KindRack::expected(int n) const {
    QString text;
    for (const QString& name : names_) text += QStringLiteral("%1: %2 logins\n").arg(name).arg(n);
    return text;
}

}  // namespace testsupport
