#include "app/forms.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>

#include "info/form14.h"
#include "session/form24.h"
#include "startup/form1.h"
#include "startup/form2.h"
#include "ui/form_registry.h"
#include "ui/globals.h"

namespace quarn {

namespace {

template <class F>
class Instance {
public:
    explicit Instance(void (*wire)(F*)) : wire_(wire) {}
    F* get() {
        if (live_ && live_->isLoaded()) return live_;
        // An unloaded window is already on its way to being freed.
        live_ = new F();
        wire_(live_);
        live_->load();
        return live_;
    }
    F* ifLoaded() const { return live_ && live_->isLoaded() ? live_.data() : nullptr; }
    void destroy() {
        delete live_.data();
        live_ = nullptr;
    }

private:
    QPointer<F> live_;
    void (*wire_)(F*);
};

void wireForm1(Form1* f);
void wireForm2(Form2* f);
void wireForm14(Form14* f);
void wireForm24(Form24* f);

Instance<Form1> g_form1(wireForm1);
Instance<Form2> g_form2(wireForm2);
Instance<Form14> g_form14(wireForm14);
Instance<Form24> g_form24(wireForm24);

// The Init.txt the program reads, given to each start-up window before it loads.
QString g_initPath = QStringLiteral("Init.txt");

void wireForm1(Form1* f) {
    f->setInitPath(g_initPath);
    QObject::connect(f, &Form1::continueRequested, [] {
        Form2* ports = form2();
        ports->show();
        ports->beginChoice();
        form24();  // loaded, not shown: its Form_Load starts the time-out ticker
        Port_valid = false;
    });
}

void wireForm2(Form2* f) {
    f->setPortToTest([]() -> SerialPort& { return form24()->port(); });
    QObject::connect(f, &Form2::continueRequested, [] {
        Form24* download = form24();
        download->show();
        download->Start_Download();
    });
    QObject::connect(f, &Form2::leaveRequested, [] { form24()->ExitCommand_Click(); });
}

void wireForm14(Form14* f) {
    QObject::connect(f, &Form14::closed, [] {
        if (Form24* download = form24IfLoaded()) download->setInfoChecked(false);
    });
}

void wireForm24(Form24* f) {
    QObject::connect(f, &Form24::unloadingOthers, [](bool infoOpen) {
        if (infoOpen) {
            if (Form14* info = form14IfLoaded()) info->Unload();
        }
        if (Form1* start = form1IfLoaded()) start->Unload();
        if (Form2* ports = form2IfLoaded()) ports->Unload();
    });
    QObject::connect(f, &Form24::showInfoRequested, [] { form14()->show(); });
    QObject::connect(f, &Form24::raiseInfoRequested, [] {
        Form14* info = form14();
        info->setWindowState(info->windowState() & ~Qt::WindowMinimized);
        info->show();
        info->raise();
        info->activateWindow();
        info->setFocus();
    });
    QObject::connect(f, &Form24::badReplyUnloadRequested, [] {
        if (Form14* info = form14IfLoaded()) info->Unload();
        if (Form1* start = form1IfLoaded()) start->Unload();
    });
}

}  // namespace

Form1* form1() { return g_form1.get(); }
Form2* form2() { return g_form2.get(); }
Form14* form14() { return g_form14.get(); }
Form24* form24() { return g_form24.get(); }

Form1* form1IfLoaded() { return g_form1.ifLoaded(); }
Form2* form2IfLoaded() { return g_form2.ifLoaded(); }
Form14* form14IfLoaded() { return g_form14.ifLoaded(); }
Form24* form24IfLoaded() { return g_form24.ifLoaded(); }

void destroyAllForms() {
    g_form14.destroy();
    g_form2.destroy();
    g_form1.destroy();
    g_form24.destroy();
    freeUnloadedForms();
}

int runProgram(const QString& initPath) {
    g_initPath = initPath;
    // The windows' own load and unload decide when the program ends (the
    // start-up window is hidden, not closed, while the run goes on), not Qt's
    // idea of the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quarn-download.png")));
    Form1* start = form1();
    int code = exitCode();
    if (start->isLoaded()) {
        start->show();
        code = QApplication::exec();
    }
    destroyAllForms();
    return code;
}

}  // namespace quarn
