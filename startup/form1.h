#pragma once
// The start-up window: shows the header lines and the technician's
// preparation steps read from Init.txt. Continue goes on to port selection and
// loads the download window; Cancel ends the program. If Init.txt cannot be
// read completely, loading shows "Invalid Init File." and unloads the window,
// so the program ends with a non-zero exit status without showing a window.

#include <QWidget>
#include <cstdint>

#include "app/form_registry.h"
#include "app/ui_util.h"

class QLabel;
class QPushButton;

namespace quarn {

// The start-up and port-selection windows are designed by their outer size,
// frame and caption included, while Qt sizes a window's client area. The
// frame takes a fixed allowance: 40 twips of border on each side (the
// download window's 5600 outer width against its 5520 client width) and a
// caption bar of 280 twips.
constexpr int kFrameWidthTwips = 80;
constexpr int kFrameHeightTwips = 360;

// Runs the program from its start-up window: loads Form1 (which reads
// Init.txt), shows it and runs the event loop until the last window has
// unloaded. Returns the program's exit code (0, or 1 after "Invalid Init
// File."). Frees every window before it returns. Needs a QApplication.
int runProgram();

class Form1 : public FixedSizeWindow<QWidget>, public FormLifecycle {
    Q_OBJECT
public:
    static constexpr int kWidthTwips = 7536;
    static constexpr int kLayoutTopTwips = 2850;  // button top with no steps
    static constexpr int kStepRiseTwips = 350;    // the buttons move down this much per step

    Form1();
    void load();
    QWidget* window() override { return this; }

    // False when Init.txt was refused (the window is then unloaded).
    bool initOk() const { return initOk_; }

    QLabel* HeaderLabel = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* StepLabel[11] = {};
    QPushButton* Continue = nullptr;
    QPushButton* Cancel = nullptr;
    int16_t Form_Height = 0;  // outer height in twips

    void Continue_Click();
    void Cancel_Click();
    // The client size in pixels that gives the outer size 7536 x Form_Height twips.
    QSize designSize() const;

protected:
    void Form_Load();
    void Form_Resize() override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool initOk_ = false;
};

}  // namespace quarn
