#include "web/plant_views.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "plantfeed/plant_figures.h"
#include "web/view_json.h"
#include "web/web_log.h"

namespace quarn::web {

using plantfeed::FeedState;
using plantfeed::PlantSelection;
using plantfeed::PlantView;

namespace {

HttpResponse unavailable(const QByteArray& state) {
    HttpResponse r;
    r.status = 503;
    r.body = "{\"error\": \"the database cannot be read now\", \"state\": " + state + "}\n";
    return r;
}

}  // namespace

PlantViews::PlantViews(plantfeed::PlantFeed& feed, EventHub& hub, QObject* parent)
    : QObject(parent), feed_(feed), hub_(hub) {
    // The default view is the one most pages show: read from the start.
    kept_.insert(plantfeed::selectionKey({}), Kept{{}, {}, {}, 0, QDateTime::currentDateTimeUtc()});
    connect(&feed_, &plantfeed::PlantFeed::viewReady, this, &PlantViews::onView);
    connect(&feed_, &plantfeed::PlantFeed::stateChanged, this, &PlantViews::onState);
    sweep_.setInterval(1000);
    connect(&sweep_, &QTimer::timeout, this, &PlantViews::sweep);
    sweep_.start();
    hub_.setHello(stateJson_);
}

HttpResponse PlantViews::response(const Kept& k) const {
    HttpResponse r;
    r.body = "{\"seq\": " + QByteArray::number(k.seq) + ", \"state\": " + stateJson_ +
             ", \"view\": " + k.json + "}\n";
    return r;
}

void PlantViews::answer(const PlantSelection& selection, const Reply& reply) {
    answerWith(selection, reply, [this](const Kept& k) { return response(k); });
}

bool PlantViews::csv(const PlantSelection& selection, const QString& part, const Reply& reply) {
    using Csv = QByteArray (*)(const PlantView&);
    const QHash<QString, Csv> parts{{QStringLiteral("yield"), plantfeed::yieldCsv},
                                    {QStringLiteral("causes"), plantfeed::causesCsv},
                                    {QStringLiteral("sockets"), plantfeed::socketsCsv}};
    const Csv make = parts.value(part);
    if (!make) return false;
    answerWith(selection, reply, [make, part](const Kept& k) {
        HttpResponse r;
        r.type = "text/csv; charset=utf-8";
        r.body = make(k.view);
        r.headers << std::pair<QByteArray, QByteArray>(
            "Content-Disposition", "attachment; filename=\"plant-" + part.toLatin1() + ".csv\"");
        return r;
    });
    return true;
}

void PlantViews::answerWith(const PlantSelection& selection, const Reply& reply, const Make& make) {
    const QString key = plantfeed::selectionKey(selection);
    std::unique_lock lock(mutex_);
    auto it = kept_.find(key);
    if (it != kept_.end() && !it->json.isEmpty()) {
        it->asked = QDateTime::currentDateTimeUtc();
        const HttpResponse r = make(*it);
        lock.unlock();
        return reply(r);
    }
    if (state_.mode == FeedState::Mode::Away) {
        const QByteArray state = stateJson_;
        lock.unlock();
        return reply(unavailable(state));
    }
    waiting_ << Waiting{key, reply, QDateTime::currentDateTimeUtc(), make};
    if (it != kept_.end()) return;
    kept_.insert(key, Kept{selection, {}, {}, 0, QDateTime::currentDateTimeUtc()});
    watchKept();
}

void PlantViews::watchKept() {
    // Read in this order at each push: the default view (most pages show
    // it), then the one asked for last, and so on; the oldest beyond the
    // limit are forgotten.
    QList<Kept> all = kept_.values();
    const QString main = plantfeed::selectionKey({});
    std::sort(all.begin(), all.end(), [&](const Kept& a, const Kept& b) {
        const bool aMain = plantfeed::selectionKey(a.selection) == main;
        const bool bMain = plantfeed::selectionKey(b.selection) == main;
        return aMain != bMain ? aMain : a.asked > b.asked;
    });
    if (all.size() > kMaxSelections) {
        for (qsizetype i = kMaxSelections; i < all.size(); ++i)
            kept_.remove(plantfeed::selectionKey(all[i].selection));
        all.resize(kMaxSelections);
    }
    QList<PlantSelection> selections;
    for (const Kept& k : std::as_const(all)) selections << k.selection;
    feed_.watch(selections);
}

void PlantViews::onView(const PlantView& view) {
    const QByteArray json = viewJson(view);
    QList<std::pair<Reply, HttpResponse>> ready;
    QByteArray event;
    {
        const std::lock_guard lock(mutex_);
        const auto it = kept_.find(view.key);
        if (it == kept_.end()) return;
        it->json = json;
        it->view = view;
        it->seq = ++seq_;
        event = QJsonDocument(QJsonObject{{"key", view.key}, {"seq", qint64(seq_)}})
                    .toJson(QJsonDocument::Compact);
        for (qsizetype i = waiting_.size() - 1; i >= 0; --i)
            if (waiting_[i].key == view.key) {
                const Waiting w = waiting_.takeAt(i);
                ready << std::pair{w.reply, w.make(*it)};
            }
    }
    hub_.publish("figures", event);
    for (const auto& [reply, r] : ready) reply(r);
}

void PlantViews::onState(const FeedState& state) {
    const QByteArray json = stateJson(state);
    QList<Waiting> failed;
    bool news = false;  // more than the time of the figures, which each view carries
    {
        const std::lock_guard lock(mutex_);
        if (state.mode != state_.mode) qCInfo(webLog, "database %s", json.constData());
        news = state.mode != state_.mode || state.why != state_.why ||
               state.awaySince != state_.awaySince || state.trouble != state_.trouble;
        state_ = state;
        stateJson_ = json;
        if (state.mode == FeedState::Mode::Away) failed.swap(waiting_);
    }
    hub_.setHello(json);
    if (news) hub_.publish("state", json);
    for (const Waiting& w : failed) w.reply(unavailable(json));
}

void PlantViews::sweep() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<Waiting> late;
    QByteArray state;
    {
        const std::lock_guard lock(mutex_);
        state = stateJson_;
        for (qsizetype i = waiting_.size() - 1; i >= 0; --i)
            if (waiting_[i].since.msecsTo(now) > kFirstReadWaitMs) late << waiting_.takeAt(i);
        const QString main = plantfeed::selectionKey({});
        const qsizetype before = kept_.size();
        for (auto it = kept_.begin(); it != kept_.end();)
            it = it.key() != main && it->asked.secsTo(now) > kKeepMinutes * 60 ? kept_.erase(it)
                                                                               : std::next(it);
        if (kept_.size() != before) watchKept();
    }
    for (const Waiting& w : late) w.reply(unavailable(state));
}

}  // namespace quarn::web
