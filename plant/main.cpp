// quarn-plant: reads the command line before any application object, so
// that --help and --version need no display; then the window, fed from the
// database on a thread of its own, until it closes.

#include <QApplication>
#include <cstdio>

#include "core/version.h"
#include "plant/plant_feed.h"
#include "plant/plant_options.h"
#include "plant/plant_window.h"
#include "ui/init_chooser.h"
#include "ui/message_box_widget.h"

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "quarn-plant: %s\n", text.toLocal8Bit().constData());
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    using quarn::plant::PlantOptions;
    const PlantOptions o = quarn::plant::parsePlantOptions(arguments);
    if (o.action == PlantOptions::Action::Error) return fail(o.error + " (see --help)");
    if (o.action == PlantOptions::Action::Help)
        return std::fputs(o.helpText.toLocal8Bit().constData(), stdout), 0;
    if (o.action == PlantOptions::Action::Version)
        return std::printf("quarn-plant %s\n", QUARN_VERSION), 0;
    if (!quarn::displayAvailable())
        return fail(
            QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are not set): the "
                           "window cannot be shown; quarn-records report reads the same "
                           "figures without one"));
    QApplication app(argc, argv);
    quarn::installModalMessageBoxes();
    quarn::plant::PlantSelection selection;
    if (o.since.isValid()) {
        selection.period = quarn::plant::Period::Since;
        selection.since = o.since;
    }
    quarn::plant::FeedSettings settings;
    settings.databaseUrl = o.databaseUrl;
    quarn::plant::PlantFeed feed(settings, selection);
    quarn::plant::PlantWindow window(feed, selection);
    window.resize(1200, 800);
    window.show();
    return QApplication::exec();
}
