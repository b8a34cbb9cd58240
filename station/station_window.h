#pragma once
// The station's window: the four buttons ("Start all" F5, "Start failed
// again" F6, "Stop all" Esc, "Auto-start"), the shift's counters, and one
// tile per slot. All it does is pass clicks to the model and show what the
// model says. Closing while sessions run asks first; yes stops them all,
// and the window closes once every record is written. While the log takes
// no record, the Start buttons and Auto-start are off and the status bar
// says why; closing with records the log has not taken asks first.

#include <QList>
#include <QMainWindow>

class QCheckBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace quarn::station {

class StationModel;
class SlotTile;

class StationWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StationWindow(StationModel& model, QWidget* parent = nullptr);
    SlotTile* tile(int k) const { return tiles_[k]; }
    int tileCount() const { return static_cast<int>(tiles_.size()); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* addButton(const QString& text, const QKeySequence& key);
    QHBoxLayout* buildToolbar();
    void wireStatus();
    void addTile(int k);
    void showCounters();
    void showRecordsWaiting(int count);
    void showLogState();
    void showImage();
    bool mayLoseUnwritten();
    void serialEntered(int k, const QString& serial);

    StationModel& model_;
    QList<SlotTile*> tiles_;
    QGridLayout* grid_;
    QLabel* counters_;
    QLabel* imageLine_ = nullptr;  // "Image: " and what is loaded, with its approval
    QLabel* waiting_ = nullptr;    // records the database does not have yet
    QPushButton* startAll_;
    QPushButton* startFailed_;
    QPushButton* autoStart_;
    bool closeWhenIdle_ = false;
};

}  // namespace quarn::station
