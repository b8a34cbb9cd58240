#pragma once
// The start-up window: shows the header lines and the technician's
// preparation steps read from Init.txt. Continue goes on to port selection and
// loads the download window; Cancel ends the program. If Init.txt cannot be
// read completely, loading shows "Invalid Init File." and unloads the window,
// so the program ends with a non-zero exit status without showing a window.

#include <QWidget>
#include <cstdint>

#include "ui/form_registry.h"
#include "ui/ui_util.h"

class QLabel;
class QPushButton;

namespace quarn {

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
    // The Init.txt that load() reads: "Init.txt" in the working folder unless
    // set before load().
    void setInitPath(const QString& path) { initPath_ = path; }
    const QString& initPath() const { return initPath_; }

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

signals:
    // Continue: this window is hidden; port selection comes next.
    void continueRequested();

protected:
    void Form_Load();
    void Form_Resize() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void fitLongTexts();
    bool initOk_ = false;
    int grownBy_ = 0;  // pixels the window grew for wrapped texts
    QString initPath_ = QStringLiteral("Init.txt");
};

}  // namespace quarn
