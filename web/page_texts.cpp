#include "web/page_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "core/translations.h"

namespace quarn::web {

namespace {

struct PageText {
    const char* key;
    const char* context;
    const char* source;
};

// Every text the pages show: the window's where the window says the same.
const PageText kTexts[] = {
    {"last_hour", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Last hour")},
    {"good_today", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Good today")},
    {"failed_today", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Failed today")},
    {"yield", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Yield")},
    {"second_pass", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Second pass")},
    {"final", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Final")},
    {"last_failure", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Last failure")},
    {"last_record", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Last record")},
    {"at", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "%1 at %2")},
    {"none", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "none")},
    {"quiet", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "quiet for %1 min")},
    {"ago", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "%1 min ago")},
    {"yield_per_hour", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Yield per hour")},
    {"failures_by_cause", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Failures by cause")},
    {"sockets", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "Sockets")},
    {"hour", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "hour")},
    {"first_pass_yield", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "first-pass yield %")},
    {"failures", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "failures")},
    {"cumulative", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "cumulative %")},
    {"per_100", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "per 100 sessions")},
    {"block_repeats", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "block repeats")},
    {"failed", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "failed")},
    {"repeats", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "repeats")},
    {"service", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "service")},
    {"figures_of", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "figures of %1")},
    {"connecting", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "connecting to the database")},
    {"no_figures", "quarn-plant", QT_TRANSLATE_NOOP("quarn-plant", "no figures yet")},
    {"station_n", "quarn::plant::StationTiles",
     QT_TRANSLATE_NOOP("quarn::plant::StationTiles", "Station %1")},
    {"status", "quarn::plant::PlantWindow",
     QT_TRANSLATE_NOOP("quarn::plant::PlantWindow", "Status: %1")},
    {"flagged", "quarn::plant::ChartTabs",
     QT_TRANSLATE_NOOP("quarn::plant::ChartTabs", "Flagged sockets")},
    {"no_flag", "quarn::plant::ChartTabs",
     QT_TRANSLATE_NOOP("quarn::plant::ChartTabs", "no socket stands out")},
    {"period", "quarn::plant::FilterBar", QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "Period")},
    {"station", "quarn::plant::FilterBar", QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "Station")},
    {"every_station", "quarn::plant::FilterBar",
     QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "every station")},
    {"image", "quarn::plant::FilterBar", QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "Image")},
    {"image_hint", "quarn::plant::FilterBar",
     QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "image: title or sha256 prefix")},
    {"today", "quarn::plant::FilterBar", QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "today")},
    {"24h", "quarn::plant::FilterBar",
     QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "last 24 hours")},
    {"7d", "quarn::plant::FilterBar", QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "last 7 days")},
    {"30d", "quarn::plant::FilterBar",
     QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "last 30 days")},
    {"since", "quarn::plant::FilterBar", QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "since %1")},
    {"mismatches", "quarn::plant::FilterBar",
     QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "Approval mismatches: %1")},
    {"image_units", "quarn::plant::FilterBar",
     QT_TRANSLATE_NOOP("quarn::plant::FilterBar", "Units with the image: %1")},
    {"title", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "Quarn Plant")},
    {"plant", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "Plant")},
    {"units_n", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "%1 units")},
    {"live", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "live")},
    {"polling", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "polling: %1")},
    {"db_away", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web", "database away since %1; the figures are of %2")},
    {"service_gone", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web",
                       "the service cannot be reached since %1; the figures are of %2")},
    {"times_in", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "times in %1")},
    {"csv", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "CSV")},
    {"sessions_cause", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web", "Sessions that failed: %1")},
    {"sessions_socket", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web", "Sessions of %1 at %2")},
    {"sessions_hour", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web", "Sessions of %1 in the hour from %2")},
    {"more", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "more")},
    {"close", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "close")},
    {"serial", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "Serial number")},
    {"open", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "Open")},
    {"unit_n", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "Unit %1")},
    {"no_records", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "no records of %1")},
    {"col_time", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "time")},
    {"col_station", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "station")},
    {"col_socket", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "socket")},
    {"col_image", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "image")},
    {"col_title", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "title")},
    {"col_approved", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "approved")},
    {"col_server", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "server")},
    {"col_outcome", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "outcome")},
    {"col_stage", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "stage")},
    {"col_seconds", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "seconds")},
    {"col_operator", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "operator")},
    {"col_pushed_by", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "pushed by")},
    {"col_serial", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "serial")},
    {"col_message", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "message")},
    {"col_sessions", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "sessions")},
    {"col_since_service", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "since service")},
    {"col_flags", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "flagged for")},
    {"yes", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "yes")},
    {"no", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "no")},
    {"v_first_pass", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "first pass")},
    {"v_passed", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "passed on attempt %1")},
    {"v_held", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "held at the retest limit")},
    {"v_failing", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "failing (%1 attempts)")},
    {"v_none", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "no attempt")},
    {"moved", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web",
                       "passed only after moving from %1 at %2 to %3 at %4: check that socket")},
    {"recall", "quarn-plant-web",
     QT_TRANSLATE_NOOP("quarn-plant-web", "Units whose latest good session loaded %1")},
    {"error", "quarn-plant-web", QT_TRANSLATE_NOOP("quarn-plant-web", "the service answered: %1")},
};

const QStringList kLanguages{QStringLiteral("en"), QStringLiteral("de")};

}  // namespace

PageTexts::PageTexts() {
    for (const QString& language : kLanguages) {
        if (language == QLatin1String("en")) continue;
        for (const QString& folder : translationFolders()) {
            auto t = std::make_shared<QTranslator>();
            if (!t->load(QStringLiteral("quarn_") + language, folder)) continue;
            catalogues_.insert(language, t);
            break;
        }
    }
}

PageTexts::~PageTexts() = default;

QString PageTexts::language(const QByteArray& acceptLanguage) const {
    // The tags in the order of their weights (q=), the first one ours wins.
    QList<std::pair<double, QString>> asked;
    for (const QByteArray& part : acceptLanguage.split(',')) {
        const QList<QByteArray> fields = part.trimmed().split(';');
        double q = 1;
        for (const QByteArray& f : fields.mid(1))
            if (f.trimmed().startsWith("q=")) q = f.trimmed().mid(2).toDouble();
        const QString tag = QString::fromLatin1(fields.value(0).trimmed()).toLower();
        asked << std::pair{q, tag.section(QLatin1Char('-'), 0, 0)};
    }
    std::stable_sort(asked.begin(), asked.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [q, tag] : asked)
        if (q > 0 && (tag == QLatin1String("en") || catalogues_.contains(tag))) return tag;
    return QStringLiteral("en");
}

QString PageTexts::text(const QString& language, const char* key) const {
    for (const PageText& t : kTexts) {
        if (qstrcmp(t.key, key) != 0) continue;
        const auto it = catalogues_.find(language);
        const QString done =
            it == catalogues_.end() ? QString() : (*it)->translate(t.context, t.source);
        return done.isEmpty() ? QString::fromUtf8(t.source) : done;
    }
    return QString::fromLatin1(key);
}

QByteArray PageTexts::textsJson(const QString& language) const {
    QJsonObject o;
    for (const PageText& t : kTexts) o.insert(QLatin1String(t.key), text(language, t.key));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace quarn::web
