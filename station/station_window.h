#pragma once
// The station's window: a header with the image line, the station and
// operator, the four buttons ("Start all" F5, "Start failed again" F6,
// "Stop all" Esc, "Auto-start") and the shift's counters in large type; below
// it one tile per slot in a grid that fills the screen (rack_view.h). When the
// last running slot of a batch ends, one cue (batch_cue.h). All it does is pass clicks to the model
// and show what the model says. Closing while sessions run asks first; yes stops them all, and the
// window closes once every record is written. While the log takes no record, the Start buttons and
// Auto-start are off and the status bar says why; closing with records the log has not taken asks
// first.

#include <QList>
#include <QMainWindow>

class QCheckBox;
class QHBoxLayout;
class QVBoxLayout;
class QLabel;
class QPushButton;

namespace quarn::station {

class BatchCue;
class OneLineLabel;
class RackView;
class StationModel;
class SlotTile;

class StationWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StationWindow(StationModel& model, QWidget* parent = nullptr);
    SlotTile* tile(int k) const { return tiles_[k]; }
    int tileCount() const { return static_cast<int>(tiles_.size()); }
    RackView* rack() const { return rack_; }
    const BatchCue& cue() const { return *cue_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* addButton(const QString& text, const QKeySequence& key);
    QHBoxLayout* buildToolbar();
    QVBoxLayout* buildHeader();
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
    RackView* rack_;
    BatchCue* cue_;
    QLabel* imageLine_;  // "Image: " and what is loaded, with its approval
    QLabel* stationLine_;
    OneLineLabel* counters_;     // cut with "…" on a narrow screen, whole in its tooltip
    QLabel* waiting_ = nullptr;  // records the database does not have yet
    QPushButton* startAll_;
    QPushButton* startFailed_;
    QPushButton* autoStart_;
    bool closeWhenIdle_ = false;
};

}  // namespace quarn::station
