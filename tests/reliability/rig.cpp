#include "tests/reliability/rig.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <ctime>

#include "app/forms.h"
#include "core/globals.h"
#include "link/download_link.h"

using namespace quarn;
using namespace testsupport;

namespace reliability {

void useBriskClock() { setLinkClock({10, 20}); }

Rig::Rig(sim::Config cfg, int length_, int fileSize) : length(length_) {
    file =
        patternBytes(fileSize >= 0 ? fileSize : length + 1, static_cast<uint32_t>(length) * 7 + 1);
    filePath = writeFile(dir.path(), QStringLiteral("image.bin"), file);
    port = std::make_unique<SimPort>(cfg);
    boxes.onBox = [this](const Box& b) {
        linesAtBoxes << (f ? f->Label2->text() : QString());
        if (b.prompt == kRepowerBox) port->unit().repower();
    };
    load();
}

Form24* Rig::load() {
    Download_file = filePath;
    Download_length = static_cast<int16_t>(length);
    Download_caption = QStringLiteral("Quarn Reliability");
    End_message = kEndMessage;
    Com_port = 1;
    f = form24();
    f->show();
    return f;
}

void Rig::onEachPass(std::function<void()> fn) { testsupport::onEachPass(f->link, std::move(fn)); }

QByteArray Rig::expectedImage() const {
    return toQByteArray(sim::expectedImage(toBytes(file), length));
}

QByteArray Rig::lastImage() const {
    const auto s = port->unit().sessions();
    return s.empty() ? QByteArray() : toQByteArray(s.back().image);
}

bool Rig::reportedGood() const {
    for (int i = 0; i < boxes.boxes.size(); ++i)
        if (boxes.boxes[i].prompt == kEndMessage || linesAtBoxes.value(i) == kLineGood) return true;
    return false;
}

void Rig::clearBoxes() {
    boxes.boxes.clear();
    linesAtBoxes.clear();
}

}  // namespace reliability
