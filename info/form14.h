#pragma once
// The Info window: the maker, the program and its version, and the maker's
// support contacts. Opened modelessly from the download window's Help > Info;
// its unload says so (closed), so that the menu item's check mark can be
// cleared and the next Help > Info opens it anew.

#include <QWidget>

#include "ui/form_registry.h"

class QLabel;

namespace quarn {

class Form14 : public QWidget, public FormLifecycle {
    Q_OBJECT
public:
    Form14();
    void load();
    QWidget* window() override { return this; }

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;

signals:
    void closed();

protected:
    void Form_Load();
    void Form_Unload(int& Cancel) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace quarn
