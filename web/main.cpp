// quarn-plant-web: the options through the front door, the plant's time
// zone made the process's own (so "today" and the pages' times are the
// plant's), then the service until SIGINT, SIGTERM or SIGHUP.
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <ctime>

#include "core/front_door.h"
#include "core/settings.h"
#include "core/stop_signals.h"
#include "core/translations.h"
#include "web/web_options.h"
#include "web/web_service.h"

namespace {

// Chart.js as Debian's libjs-chart.js installs it.
constexpr char kChartJs[] = "/usr/share/javascript/chart.js/chart.min.js";

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    quarn::installTranslations();
    const quarn::FrontDoor door(QStringLiteral("quarn-plant-web"));
    const quarn::web::WebOptions o = quarn::web::parseWebOptions(QCoreApplication::arguments());
    if (const std::optional<int> exit = door.answer(o)) return *exit;
    if (!o.timeZone.isEmpty()) {
        qputenv("TZ", o.timeZone.toUtf8());
        tzset();
    }
    if (!quarn::installStopSignals(130)) return door.fail(QStringLiteral("no stop signals"), 1);
    QSocketNotifier stop(quarn::stopSignalFd(), QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [] {
        quarn::drainStopSignals();
        QCoreApplication::quit();
    });
    quarn::web::WebSettings settings;
    settings.databaseUrl = o.databaseUrl;
    settings.listen = o.listen;
    settings.chartJs = QString::fromLatin1(kChartJs);
    settings.feed.databaseUrl = o.databaseUrl;
    settings.feed.tickMs = 60000;
    settings.feed.socketLife =
        quarn::Settings().value(quarn::SettingKey::PlantSocketLife).toLongLong();
    quarn::web::WebService service(settings);
    QString why;
    if (!service.start(&why))
        return door.fail(QCoreApplication::translate("quarn-plant-web", "cannot listen on %1: %2")
                             .arg(o.listen.url(o.listen.port), why),
                         2);
    door.printErr(QCoreApplication::translate("quarn-plant-web", "serving %1")
                      .arg(o.listen.url(service.port())));
    return QCoreApplication::exec();
}
