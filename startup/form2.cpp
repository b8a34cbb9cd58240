#include "startup/form2.h"
// Placeholder until the port-selection window lands.
namespace quarn {
Form2::Form2() {}
void Form2::load() { markLoaded(); }
void Form2::Com_select_Click(int) {}
void Form2::Continue1_Click() {}
QSize Form2::designSize() const { return {}; }
void Form2::Form_Resize() {}
void Form2::Form_Unload(int&) {}
void Form2::resizeEvent(QResizeEvent* e) { QWidget::resizeEvent(e); }
void Form2::closeEvent(QCloseEvent* e) { QWidget::closeEvent(e); }
void Form2::showEvent(QShowEvent* e) { QWidget::showEvent(e); }
}
