#pragma once
// One slot's tile, read from a step away, from most to least important:
//   [symbol] STATUS          the status text large and bold, the shape beside it
//   [progress ......] repeats  time left
//   Slot K · adapter  [serial number field]
//   the failure's explanation in one line | last serial | flag
// and the colour of its state behind it all. The name's tooltip gives the
// device and stable name; the explanation's tooltip and accessible
// description the whole text. A tile only shows what the model says; the
// serial field tells the model what was typed or scanned.
//
// Screen readers read a label by its accessible name only, so every label
// with a name carries its current text in it ("Status: good").

#include <QFrame>

class QBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace quarn::station {

struct SlotState;
class OneLineLabel;
class StatusSymbol;

class SlotTile : public QFrame {
    Q_OBJECT
public:
    explicit SlotTile(int k, QWidget* parent = nullptr);
    void show(const SlotState& state);
    QLineEdit* serialField() const { return serial_; }
    QLabel* statusLabel() const { return status_; }
    // "idle", "running", "good" or "failed": the colour shown.
    QString colour() const { return colour_; }
    // "waiting", "loading", "good" or "failed": the shape beside it.
    QString symbol() const;

    // The status text's height in pixels (the symbol follows it).
    void setStatusPixelSize(int px);
    // The least the tile needs down and across with its status text px high
    // and room for the widest of samples.
    int heightAt(int px);
    int widthAt(int px, const QStringList& samples) const;

signals:
    // The scanner's Enter (or the user's) in the serial field.
    void serialEntered(int k, const QString& serial);
    void serialEdited(int k, const QString& serial);

private:
    QBoxLayout* buildRows();
    void showFigures(const SlotState& s);
    void showColour(const SlotState& s);
    // Shows "Role: text" (hidden when text is empty), or text alone when bare.
    void setLine(OneLineLabel* label, const QString& role, const QString& text, bool bare = false);

    int k_;
    QString colour_;
    int shownPhase_ = -1;  // the SlotPhase the name's tooltip was made for
    StatusSymbol* symbol_;
    QLabel* status_;
    QProgressBar* progress_;
    OneLineLabel* repeats_;
    OneLineLabel* timeLeft_;
    OneLineLabel* name_;
    QLineEdit* serial_;
    OneLineLabel* explanation_;
    OneLineLabel* lastSerial_;
    OneLineLabel* flag_;
};

}  // namespace quarn::station
