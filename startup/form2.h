#pragma once
// The port-selection window: the technician picks COM1..COM4; each choice is
// tested at once by opening and closing that port on the serial port that
// setPortToTest names (the download window's). Continue, with a port that
// passed, hides this window and asks (continueRequested) for the session,
// which runs inside the click. The close box asks (leaveRequested) for the
// program to end; other unloads are refused until the program is ending.

#include <QWidget>
#include <functional>

#include "ui/form_registry.h"
#include "ui/ui_util.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace quarn {

class SerialPort;

class Form2 : public FixedSizeWindow<QWidget>, public FormLifecycle {
    Q_OBJECT
public:
    static constexpr int kWidthTwips = 3480;  // outer size, kept fixed
    static constexpr int kHeightTwips = 3228;

    Form2();
    void load();
    QWidget* window() override { return this; }

    Panel3D* SSPanel13 = nullptr;
    QLabel* Label30 = nullptr;
    QRadioButton* Com_select[4] = {};
    QPushButton* Continue1 = nullptr;

    void Com_select_Click(int Index);
    void Continue1_Click();

    // The port a choice is tested on, looked up at each choice.
    void setPortToTest(std::function<SerialPort&()> port) { portToTest_ = std::move(port); }
    // Shown for a new choice: the prompt and title set, no port chosen.
    void beginChoice();
    // The client size in pixels that gives the outer size 3480 x 3228 twips.
    QSize designSize() const;

signals:
    // Continue with a port that passed: this window is hidden; the session comes next.
    void continueRequested();
    // The close box: the program is to end (no session runs while this window is shown).
    void leaveRequested();

protected:
    void Form_Resize() override;
    void Form_Unload(int& Cancel) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Option button i (COM i+1) in its place, wired to Com_select_Click.
    QRadioButton* makeOption(int i);

    std::function<SerialPort&()> portToTest_;
    int checkedAtPress_ = -1;  // the button pressed while already checked
};

}  // namespace quarn
