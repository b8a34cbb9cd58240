#include "app/forms.h"

#include "app/form_registry.h"
#include "info/form14.h"
#include "session/form24.h"
#include "startup/form1.h"
#include "startup/form2.h"

namespace quarn {

void resetLoadedCount();

namespace {

template <class F>
class Instance {
public:
    F* get() {
        if (live_ && live_->isLoaded()) return live_;
        if (live_) parkForm(live_);
        live_ = new F();
        live_->load();
        return live_;
    }
    F* ifLoaded() const { return live_ && live_->isLoaded() ? live_ : nullptr; }
    void destroy() {
        delete live_;
        live_ = nullptr;
    }

private:
    F* live_ = nullptr;
};

Instance<Form1> g_form1;
Instance<Form2> g_form2;
Instance<Form14> g_form14;
Instance<Form24> g_form24;

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
    // Info first: its unload handling reaches into the download window's menu.
    g_form14.destroy();
    g_form2.destroy();
    g_form1.destroy();
    g_form24.destroy();
    freeParkedForms();
    resetLoadedCount();
}

}  // namespace quarn
