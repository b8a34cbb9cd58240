#include "station/station_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include "core/message_box.h"
#include "station/batch_cue.h"
#include "station/one_line_label.h"
#include "station/rack_view.h"
#include "station/slot_tile.h"
#include "station/station_model.h"

namespace quarn::station {

namespace {
const QString kTitle = QStringLiteral("Quarn Station");
constexpr int kHeaderPx = 22;  // the counters and the station's line, read from a step away

void setPixelSize(QWidget* w, int px, bool bold) {
    QFont f = w->font();
    f.setPixelSize(px);
    f.setBold(bold);
    w->setFont(f);
}
}  // namespace

StationWindow::StationWindow(StationModel& model, QWidget* parent)
    : QMainWindow(parent),
      model_(model),
      rack_(new RackView),
      cue_(new BatchCue(
          model.config().sound, [] { QApplication::beep(); }, this)),
      imageLine_(new QLabel),
      stationLine_(new QLabel),
      counters_(new OneLineLabel) {
    setWindowTitle(kTitle + QStringLiteral(" - ") + model.config().stationName);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buildHeader());
    layout->addWidget(rack_, 1);
    setCentralWidget(central);
    for (int k = 0; k < model_.count(); ++k) addTile(k);
    connect(&model_, &StationModel::slotAdded, this, &StationWindow::addTile);
    connect(&model_, &StationModel::slotChanged, this,
            [this](int k) { tiles_[k]->show(model_.slot(k)); });
    connect(&model_, &StationModel::allIdle, this, [this] {
        cue_->batchEnded();
        if (closeWhenIdle_) QTimer::singleShot(0, this, &QWidget::close);
    });
    wireStatus();
}

// The image line and who works where above, the buttons and the counters below.
QVBoxLayout* StationWindow::buildHeader() {
    auto* header = new QVBoxLayout;
    auto* first = new QHBoxLayout;
    imageLine_->setObjectName(QStringLiteral("imageLine"));
    imageLine_->setWordWrap(true);
    setPixelSize(imageLine_, kHeaderPx * 3 / 4, false);
    first->addWidget(imageLine_, 1);
    const StationConfig& c = model_.config();
    stationLine_->setText(c.operatorName.isEmpty()
                              ? tr("Station %1").arg(c.stationName)
                              : tr("Station %1 · operator %2").arg(c.stationName, c.operatorName));
    stationLine_->setAccessibleName(stationLine_->text());
    setPixelSize(stationLine_, kHeaderPx * 3 / 4, false);
    first->addStretch();
    first->addWidget(stationLine_);
    header->addLayout(first);
    header->addLayout(buildToolbar());
    return header;
}

// The four buttons with their keys, then the shift's counters.
QHBoxLayout* StationWindow::buildToolbar() {
    auto* top = new QHBoxLayout;
    startAll_ = addButton(tr("Start all"), Qt::Key_F5);
    connect(startAll_, &QPushButton::clicked, &model_, &StationModel::startAll);
    startFailed_ = addButton(tr("Start failed again"), Qt::Key_F6);
    connect(startFailed_, &QPushButton::clicked, &model_, &StationModel::startFailed);
    connect(addButton(tr("Stop all"), Qt::Key_Escape), &QPushButton::clicked, &model_,
            &StationModel::stopAll);
    autoStart_ = addButton(tr("Auto-start"), QKeySequence());
    autoStart_->setCheckable(true);
    autoStart_->setChecked(model_.autoStart());
    connect(autoStart_, &QPushButton::toggled, &model_, &StationModel::setAutoStart);
    for (QPushButton* b : findChildren<QPushButton*>()) top->addWidget(b);
    top->addStretch();
    setPixelSize(counters_, kHeaderPx, true);
    counters_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    top->addWidget(counters_, 1);
    return top;
}

// The counters, the log and the records waiting for the database.
void StationWindow::wireStatus() {
    connect(&model_, &StationModel::countersChanged, this, &StationWindow::showCounters);
    connect(&model_, &StationModel::logChanged, this, &StationWindow::showLogState);
    connect(&model_, &StationModel::imageChanged, this, &StationWindow::showImage);
    connect(&model_, &StationModel::recordsWaitingChanged, this,
            &StationWindow::showRecordsWaiting);
    if (model_.recordsWaiting() >= 0) showRecordsWaiting(model_.recordsWaiting());
    showCounters();
    auto* perHour = new QTimer(this);  // units per hour move with the clock
    connect(perHour, &QTimer::timeout, this, &StationWindow::showCounters);
    perHour->start(60000);
    showLogState();
    showImage();
}

// What is loaded and whether it may be: the approved list's verdict decides
// the buttons as the log does.
void StationWindow::showImage() {
    const QString line = tr("Image: %1").arg(model_.imageLine());
    imageLine_->setText(line);
    imageLine_->setAccessibleName(line);
    showLogState();
}

// Which log, or why it takes no record (then nothing may start), or what
// its opening found damaged.
void StationWindow::showLogState() {
    const QString log = model_.config().logPath;
    const QString problem = model_.logProblem();
    statusBar()->showMessage(!problem.isEmpty()
                                 ? tr("%1; no unit starts until it can be written").arg(problem)
                             : !model_.logWarning().isEmpty() ? model_.logWarning()
                             : log.isEmpty()                  ? tr("no log")
                                                              : tr("log: %1").arg(log));
    for (QPushButton* b : {startAll_, startFailed_, autoStart_})
        b->setEnabled(model_.canStartSessions());
}

// The count stays in a corner of the status bar, beside the log's messages;
// screen readers read it from the accessible name.
void StationWindow::showRecordsWaiting(int count) {
    if (!waiting_) {
        waiting_ = new QLabel(this);
        statusBar()->addPermanentWidget(waiting_);
    }
    const QString text = count == 1 ? tr("1 record waits for the database")
                                    : tr("%1 records wait for the database").arg(count);
    waiting_->setText(count > 0 ? text : tr("records: all in the database"));
    waiting_->setAccessibleName(tr("Records: %1").arg(waiting_->text()));
}

QPushButton* StationWindow::addButton(const QString& text, const QKeySequence& key) {
    auto* b = new QPushButton(text, this);
    b->setAccessibleName(text);
    if (!key.isEmpty()) {
        b->setToolTip(tr("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)));
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, b, &QPushButton::click);
    }
    return b;
}

void StationWindow::addTile(int k) {
    auto* tile = new SlotTile(k);
    tiles_ << tile;
    tile->show(model_.slot(k));
    rack_->addTile(tile);
    connect(tile, &SlotTile::serialEntered, this, &StationWindow::serialEntered);
    connect(tile, &SlotTile::serialEdited, &model_, &StationModel::setSerial);
}

void StationWindow::serialEntered(int k, const QString& serial) {
    model_.scanSerial(k, serial);
    if (k + 1 < tiles_.size()) tiles_[k + 1]->serialField()->setFocus();
}

void StationWindow::showCounters() {
    counters_->setFullText(model_.counters().text());
    counters_->setAccessibleName(tr("Counters: %1").arg(counters_->fullText()));
}

// Records the log could not take are lost with the program: ask first.
bool StationWindow::mayLoseUnwritten() {
    const int n = model_.unwrittenRecords();
    if (n == 0) return true;
    const QString prompt =
        n == 1 ? tr("1 record could not be written to the log and would be lost. Quit?")
               : tr("%1 records could not be written to the log and would be lost. Quit?").arg(n);
    return showBox({prompt, BoxIcon::Question, BoxButtons::YesNo, kTitle, model_.logProblem()}) ==
           kAnswerYes;
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (!model_.anyRunning()) return mayLoseUnwritten() ? event->accept() : event->ignore();
    event->ignore();
    if (closeWhenIdle_) return;
    const int answer = showBox({tr("Units are still loading. Stop them and quit?"),
                                BoxIcon::Question, BoxButtons::YesNo, kTitle,
                                tr("Every running session stops as Cancel does; its record says "
                                   "interrupted and the unit must be loaded again.")});
    if (answer != kAnswerYes) return;
    closeWhenIdle_ = true;
    model_.stopAll();
}

}  // namespace quarn::station
