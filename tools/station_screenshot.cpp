// quarn-station-screenshot OUTDIR: the station's window at 1920 x 1080 on a
// rack of 32 simulated units with mixed outcomes (most good, some silent,
// some refusing every block, a few still loading, one socket empty), saved as
// OUTDIR/station.png. Run in a folder with Init.txt, under Xvfb, by
// scripts/screenshots.sh; in the locale's language (LANG=de_DE.UTF-8: German).

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/settings.h"
#include "core/translations.h"
#include "sim/unit_sim.h"
#include "station/station_model.h"
#include "station/station_options.h"
#include "station/station_window.h"

using namespace quarn::station;

namespace {

constexpr int kSlots = 32;
constexpr int kEmpty = 22;  // the socket with no adapter

// Slot k's unit: every seventh silent, every eleventh refusing block 3, the
// last three slow enough to be caught half-way.
sim::Config unitFor(int k) {
    sim::Config c;
    if (k >= kSlots - 3) return c.baud = 1200 * (k - kSlots + 4), c;
    if (k % 7 == 5) c.faults[sim::Stage::Handshake].kind = sim::FaultKind::Silence;
    if (k % 11 == 8) c.refuseBlock = 3, c.refuseTimes = 1 << 20;
    return c;
}

bool settled(const StationModel& model) {
    for (int k = 0; k < kSlots - 3; ++k)
        if (k != kEmpty && model.slot(k).phase != SlotPhase::Ended) return false;
    return model.slot(kSlots - 3).figures.block >= 20;
}

StationConfig demoConfig(const quarn::DownloadImage& image) {
    StationConfig config;
    config.stationName = QStringLiteral("line-2");
    config.operatorName = QStringLiteral("demo");
    config.image = image;
    config.maxRepeats = 5;
    config.sound = false;
    return config;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quarn::installTranslations();
    if (argc != 2) return std::fputs("usage: quarn-station-screenshot OUTDIR\n", stderr), 2;
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).filePath("station.png");
    std::vector<std::unique_ptr<sim::UnitSim>> sims;
    QStringList ports;
    for (int k = 0; k < kSlots; ++k) {
        if (k == kEmpty) {
            ports << QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:4.2:1.0-port0");
            continue;
        }
        sims.push_back(std::make_unique<sim::UnitSim>(unitFor(k)));
        if (!sims.back()->start()) return std::fputs("simulator did not start\n", stderr), 1;
        ports << QString::fromStdString(sims.back()->devicePath());
    }
    quarn::DownloadImage image;
    QString why;
    if (!resolveStationInit(QString(), &image, &why))
        return std::fprintf(stderr, "%s\n", qPrintable(why)), 1;
    StationConfig config = demoConfig(image);
    const quarn::Settings none(QDir::temp().filePath("quarn-station-screenshot.conf"));
    StationModel model(config, slotsFrom(ports, none, &config.source));
    for (int k = 0; k < kSlots; ++k)
        model.setSerial(k, QStringLiteral("QX2-%1").arg(4700 + k, 6, 10, QLatin1Char('0')));
    StationWindow window(model);
    window.resize(1920, 1080);
    window.show();
    model.startAll();
    QTimer poll;
    int status = 1;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!settled(model)) return;
        poll.stop();
        status = window.grab().save(out) ? 0 : 1;
        std::printf("%s\n", qPrintable(out));
        model.stopAll();
        QCoreApplication::exit(status);  // quit() would ask the window, which asks first
    });
    poll.start(100);
    QTimer::singleShot(90000, [&] {
        for (int k = 0; k < kSlots; ++k)
            std::fprintf(stderr, "slot %d: %s\n", k + 1, qPrintable(model.slot(k).look.status));
        QCoreApplication::exit(1);
    });
    app.exec();
    return status;
}
