#pragma once
// One slot's tile: its name (tooltip: device and stable name), the serial
// number field for the next unit, the last unit's serial number, the status line, progress,
// repeats, time left, the failure's explanation, and the colour of its state. A tile only shows
// what the model says; the serial field tells the model what was typed or scanned.
//
// Screen readers read a label by its accessible name only, so every label
// with a name carries its current text in it ("Status: good").

#include <QFrame>

class QLabel;
class QLineEdit;
class QProgressBar;

namespace quarn::station {

struct SlotState;

class SlotTile : public QFrame {
    Q_OBJECT
public:
    explicit SlotTile(int k, QWidget* parent = nullptr);
    void show(const SlotState& state);
    QLineEdit* serialField() const { return serial_; }
    // "idle", "running", "good" or "failed": the colour shown.
    QString colour() const { return colour_; }

signals:
    // The scanner's Enter (or the user's) in the serial field.
    void serialEntered(int k, const QString& serial);
    void serialEdited(int k, const QString& serial);

private:
    // Shows "Role: text" (hidden when text is empty), or text alone when bare.
    void setLine(QLabel* label, const QString& role, const QString& text, bool bare = false);

    int k_;
    QString colour_;
    QLabel* name_;
    QLineEdit* serial_;
    QLabel* lastSerial_;
    QLabel* status_;
    QProgressBar* progress_;
    QLabel* repeats_;
    QLabel* timeLeft_;
    QLabel* explanation_;
    QLabel* flag_;
};

}  // namespace quarn::station
