#include "tests/support/window_rig.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <ctime>

#include "app/forms.h"
#include "link/download_link.h"
#include "ui/globals.h"

using namespace quarn;

namespace testsupport {

bool isAt(Form24* f, Wait w) {
    DownloadLink& l = f->link;
    switch (w) {
        case Wait::PreSend:
            return l.Transmit_counter == 0;
        case Wait::HandshakeReply:
            return l.Transmit_counter == 1 && l.Recieve_counter == 0;
        case Wait::Delay:
            return l.DelayTimer.isActive();
        case Wait::LoginReply:
            return l.Transmit_counter == 2 && l.Recieve_counter == 1;
        case Wait::Transfer:
            return l.Transmit_counter > 3;
    }
    return false;
}

WindowRig::WindowRig(sim::Config cfg, int length_, int fileSize, uint32_t seed,
                     const QString& caption_)
    : length(length_), caption(caption_) {
    file = patternBytes(fileSize >= 0 ? fileSize : length + 1,
                        seed ? seed : static_cast<uint32_t>(length) * 7 + 1);
    filePath = writeFile(dir.path(), QStringLiteral("image.bin"), file);
    port = std::make_unique<SimPort>(cfg);
    boxes.onBox = [this](const Box& b) {
        linesAtBoxes << (f ? f->Label2->text() : QString());
        if (b.prompt == kRepowerBox) port->unit().repower();
    };
    load();
}

Form24* WindowRig::load() {
    f = loadDownloadWindow({filePath, static_cast<int16_t>(length), caption, kEndMessage});
    return f;
}

void WindowRig::onEachPass(std::function<void()> fn) {
    testsupport::onEachPass(f->link, std::move(fn));
}

void WindowRig::atWait(Wait w, std::function<void()> fn) {
    auto done = std::make_shared<bool>(false);
    onEachPass([this, w, fn, done] {
        if (!*done && isAt(f, w)) {
            *done = true;
            fn();
        }
    });
}

QByteArray WindowRig::expectedImage() const {
    return toQByteArray(sim::expectedImage(toBytes(file), length));
}

QByteArray WindowRig::lastImage() const {
    const auto s = port->unit().sessions();
    return s.empty() ? QByteArray() : toQByteArray(s.back().image);
}

bool WindowRig::reportedGood() const {
    for (int i = 0; i < boxes.boxes.size(); ++i)
        if (boxes.boxes[i].prompt == kEndMessage || linesAtBoxes.value(i) == kLineGood) return true;
    return false;
}

void WindowRig::clearBoxes() {
    boxes.boxes.clear();
    linesAtBoxes.clear();
}

}  // namespace testsupport
