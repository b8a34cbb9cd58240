#include "plant/station_tiles.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "plantfeed/plant_figures.h"

namespace quarn::plant {

StationTiles::StationTiles(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
}

StationTiles::Tile& StationTiles::tileFor(const QString& station) {
    Tile& t = tiles_[station];
    if (t.frame) return t;
    t.frame = new QFrame(this);
    t.frame->setFrameShape(QFrame::StyledPanel);
    t.frame->setAutoFillBackground(true);
    t.frame->setAccessibleName(tr("Station %1").arg(station));
    auto* box = new QVBoxLayout(t.frame);
    t.name = new QLabel(station, t.frame);
    QFont bold = t.name->font();
    bold.setBold(true);
    t.name->setFont(bold);
    box->addWidget(t.name);
    for (int i = 0; i < 6; ++i) {
        t.figures << new QLabel(t.frame);
        box->addWidget(t.figures.last());
    }
    return t;
}

void StationTiles::show(const QList<plantfeed::StationTile>& tiles, const QDateTime& now) {
    QStringList seen;
    for (const plantfeed::StationTile& s : tiles) seen << s.station;
    for (auto it = tiles_.begin(); it != tiles_.end();) {
        if (seen.contains(it.key())) {
            ++it;
            continue;
        }
        delete it->frame;
        it = tiles_.erase(it);
    }
    int index = 0;
    for (const plantfeed::StationTile& s : tiles) {
        Tile& t = tileFor(s.station);
        const QList<plantfeed::TileFigure> figures = plantfeed::tileFigures(s, tiles, now);
        for (int i = 0; i < figures.size() && i < t.figures.size(); ++i) {
            t.figures[i]->setText(figures[i].accessibleName());
            t.figures[i]->setAccessibleName(figures[i].accessibleName());
        }
        QPalette p = palette();
        if (plantfeed::isQuiet(s, tiles, now))
            p.setColor(QPalette::Window, QColor(0xff, 0xe0, 0x99));
        t.frame->setPalette(p);
        grid_->addWidget(t.frame, index / kColumns, index % kColumns);
        ++index;
    }
}

}  // namespace quarn::plant

namespace quarn::plant {

int StationTiles::rowHeight() const {
    const int tile = tiles_.isEmpty() ? 0 : tiles_.first().frame->sizeHint().height();
    return tile + grid_->verticalSpacing();
}

}  // namespace quarn::plant
