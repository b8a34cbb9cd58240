// quarn-plant: reads the command line before any application object, so
// that --help and --version need no display; then the window, fed from the
// database on a thread of its own, until it closes.

#include <QApplication>

#include "core/front_door.h"
#include "core/settings.h"
#include "core/translations.h"
#include "plant/plant_options.h"
#include "plant/plant_window.h"
#include "plantfeed/plant_feed.h"
#include "ui/init_chooser.h"
#include "ui/message_box_widget.h"

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    using quarn::plant::PlantOptions;
    const quarn::FrontDoor door(QStringLiteral("quarn-plant"));
    // Parsed once in English to learn whether a window follows; without one,
    // answered again with the catalogue installed.
    const PlantOptions o = quarn::plant::parsePlantOptions(arguments);
    if (o.action != PlantOptions::Action::Run || !quarn::displayAvailable())
        return door.answerWithoutWindow(
            argc, argv, [&] { return quarn::plant::parsePlantOptions(arguments); },
            [] {
                return QCoreApplication::translate(
                    "quarn-plant",
                    "no display (DISPLAY and WAYLAND_DISPLAY are not set): the window cannot be "
                    "shown; quarn-records report reads the same figures without one");
            });
    QApplication app(argc, argv);
    quarn::installTranslations();
    quarn::installModalMessageBoxes();
    quarn::plantfeed::PlantSelection selection;
    if (o.since.isValid()) {
        selection.period = quarn::plantfeed::Period::Since;
        selection.since = o.since;
    }
    quarn::plantfeed::FeedSettings settings;
    settings.databaseUrl = o.databaseUrl;
    settings.socketLife = quarn::Settings().value(quarn::SettingKey::PlantSocketLife).toLongLong();
    quarn::plantfeed::PlantFeed feed(settings, selection);
    quarn::plant::PlantWindow window(feed, selection);
    window.resize(1200, 800);
    window.show();
    return QApplication::exec();
}
