#pragma once
// The row of station tiles: one QFrame per station (accessible name
// "Station NAME"), each figure a QLabel whose accessible name is its
// "ROLE: VALUE" (plant_figures.h), as screen readers read labels by name.
// A quiet station's tile is amber. Tiles come and go with the stations of
// the figures shown.

#include <QList>
#include <QMap>
#include <QWidget>

#include "plantfeed/plant_queries.h"

class QFrame;
class QGridLayout;
class QLabel;

namespace quarn::plant {

class StationTiles : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumns = 5;  // tiles in a row

    explicit StationTiles(QWidget* parent = nullptr);
    // The tiles for these figures, their times counted to now.
    void show(const QList<plantfeed::StationTile>& tiles, const QDateTime& now);
    // The height of one row of tiles (with its spacing).
    int rowHeight() const;

private:
    struct Tile {
        QFrame* frame = nullptr;
        QLabel* name = nullptr;
        QList<QLabel*> figures;
    };
    Tile& tileFor(const QString& station);

    QGridLayout* grid_;
    QMap<QString, Tile> tiles_;
};

}  // namespace quarn::plant
