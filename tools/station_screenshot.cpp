// quarn-station-screenshot OUTDIR: the station's window on a rack of four
// simulated units with mixed outcomes (one good, one silent, one refusing
// every block, one still loading), saved as OUTDIR/station.png. Run in a
// folder with Init.txt, under Xvfb, by scripts/screenshots.sh.

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "sim/unit_sim.h"
#include "station/station_model.h"
#include "station/station_options.h"
#include "station/station_window.h"

using namespace quarn::station;

namespace {

// The rack: good, silent, refusing, and a slow good one caught half-way.
std::vector<sim::Config> rack() {
    std::vector<sim::Config> units(4);
    units[1].faults[sim::Stage::Handshake].kind = sim::FaultKind::Silence;
    units[2].refuseBlock = 3;
    units[2].refuseTimes = 1 << 20;
    units[3].baud = 2400;
    return units;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) return std::fputs("usage: quarn-station-screenshot OUTDIR\n", stderr), 2;
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).filePath("station.png");
    std::vector<std::unique_ptr<sim::UnitSim>> sims;
    QStringList ports;
    for (const sim::Config& c : rack()) {
        sims.push_back(std::make_unique<sim::UnitSim>(c));
        if (!sims.back()->start()) return std::fputs("simulator did not start\n", stderr), 1;
        ports << QString::fromStdString(sims.back()->devicePath());
    }
    StationLoad load;
    QString why;
    if (!resolveStationInit(QString(), &load, &why))
        return std::fprintf(stderr, "%s\n", qPrintable(why)), 1;
    StationConfig config;
    config.stationName = QStringLiteral("line-2");
    config.operatorName = QStringLiteral("demo");
    config.filePath = load.filePath;
    config.downloadLength = load.downloadLength;
    config.image = load.image;
    config.maxRepeats = 5;
    QSettings none(QDir::temp().filePath("quarn-station-screenshot.conf"), QSettings::IniFormat);
    StationModel model(config, slotsFrom(ports, none, &config.source));
    model.setSerial(0, QStringLiteral("QX2-004711"));
    model.setSerial(1, QStringLiteral("QX2-004712"));
    StationWindow window(model);
    window.resize(1040, 330);
    window.show();
    model.startAll();
    QTimer poll;
    int status = 1;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const bool ended = model.slot(1).phase == SlotPhase::Ended &&
                           model.slot(2).phase == SlotPhase::Ended &&
                           model.slot(0).phase == SlotPhase::Ended;
        if (!ended || model.slot(3).figures.block < 20) return;
        poll.stop();
        status = window.grab().save(out) ? 0 : 1;
        std::printf("%s\n", qPrintable(out));
        model.stopAll();
        QCoreApplication::quit();
    });
    poll.start(100);
    QTimer::singleShot(90000, [] { QCoreApplication::exit(1); });
    app.exec();
    return status;
}
