#include "startup/form1.h"
// Placeholder until the start-up window lands.
namespace quarn {
Form1::Form1() {}
void Form1::load() { markLoaded(); }
void Form1::Continue_Click() {}
void Form1::Cancel_Click() {}
QSize Form1::designSize() const { return {}; }
void Form1::Form_Load() {}
void Form1::Form_Resize() {}
void Form1::resizeEvent(QResizeEvent* e) { QWidget::resizeEvent(e); }
void Form1::closeEvent(QCloseEvent* e) { QWidget::closeEvent(e); }
void Form1::showEvent(QShowEvent* e) { QWidget::showEvent(e); }
}
