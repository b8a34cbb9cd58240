#pragma once
// The rack's tiles in a grid whose columns follow the space the window
// gives it (rack_fit.h): on a station's screen every slot is in view with
// its status text as large as fits (32 slots on 1920 x 1080, 64 on
// 2560 x 1440); with less room the rows scroll, never the columns.

#include <QList>
#include <QScrollArea>
#include <vector>

class QGridLayout;

namespace quarn::station {

class SlotTile;

class RackView : public QScrollArea {
    Q_OBJECT
public:
    explicit RackView(QWidget* parent = nullptr);
    void addTile(SlotTile* tile);
    int columns() const { return columns_; }
    int statusPixelSize() const { return statusPx_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    void measure();
    void place(int columns);

    QWidget* board_;
    QGridLayout* grid_;
    QList<SlotTile*> tiles_;
    std::vector<int> widths_, heights_;  // a tile's least size by status px (measure())
    int columns_ = 0;
    int statusPx_ = 0;
};

}  // namespace quarn::station
