#pragma once
// The port-selection window: the technician picks COM1..COM4; each choice is
// tested at once by opening and closing that port through the download
// window's serial port. Continue, with a port that passed, hides this window,
// shows the download window and runs the session inside the click. The close
// box is refused until the program is ending.

#include <QWidget>

#include "app/form_registry.h"
#include "app/ui_util.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace quarn {

class Form2 : public FixedSizeWindow<QWidget>, public FormLifecycle {
    Q_OBJECT
public:
    static constexpr int kWidthTwips = 3480;   // outer size, kept fixed
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
    // The client size in pixels that gives the outer size 3480 x 3228 twips.
    QSize designSize() const;

protected:
    void Form_Resize() override;
    void Form_Unload(int& Cancel) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace quarn
