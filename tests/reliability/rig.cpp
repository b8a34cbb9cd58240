#include "tests/reliability/rig.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <ctime>

#include "app/forms.h"
#include "app/globals.h"
#include "app/ui_util.h"
#include "link/download_link.h"

using namespace quarn;
using namespace testsupport;

namespace reliability {

const QString kHandshakeBox = QStringLiteral("Handshake Error! - Please check connection and retry.");
const QString kLoginBox = QStringLiteral("Login Error! - Please check connection and retry.");
const QString kStopBox = QStringLiteral("Download procedure have been stopped! ");
const QString kRepowerBox = QStringLiteral("Please repower the unit before you start loading again.");
const QString kEndMessage = QStringLiteral("Download complete. Switch the unit off.");

const QString kLineInitial = QStringLiteral("Unit ready for download");
const QString kLineHandshakeOk = QStringLiteral("Unit handshake ok.");
const QString kLineInProgress = QStringLiteral("Unit download in progres.");
const QString kLineBadReply = QStringLiteral("Bad handshake signal. - Exit programming.");
const QString kLineGood = QStringLiteral("Programming end and no error found.");

Indicator indicatorOf(Form24* f) {
    const uint32_t off = backColorOf(f->StatusPanel[0]);
    const uint32_t on = backColorOf(f->StatusPanel[1]);
    const uint32_t err = backColorOf(f->StatusPanel[2]);
    if (off == kIndicatorFailure.off && on == kIndicatorFailure.on && err == kIndicatorFailure.error)
        return Indicator::Failure;
    if (off == kIndicatorReady.off && on == kIndicatorReady.on && err == kIndicatorReady.error)
        return Indicator::Ready;
    return Indicator::AtLoad;
}

const char* indicatorName(Indicator i) {
    switch (i) {
        case Indicator::AtLoad: return "as loaded";
        case Indicator::Failure: return "failure";
        case Indicator::Ready: return "ready";
    }
    return "?";
}

sim::Fault makeFault(sim::FaultKind kind, QByteArray bytes, int times, int onlyBlock) {
    sim::Fault f;
    f.kind = kind;
    f.bytes = toBytes(bytes);
    f.times = times;
    f.onlyBlock = onlyBlock;
    return f;
}

void useBriskClock() { setLinkClock({10, 20}); }

Rig::Rig(sim::Config cfg, int length_, int fileSize) : length(length_) {
    file = patternBytes(fileSize >= 0 ? fileSize : length + 1, static_cast<uint32_t>(length) * 7 + 1);
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

void Rig::onEachPass(std::function<void()> fn) {
    auto base = f->link.yield;
    f->link.yield = [base, fn] {
        base();
        fn();
    };
}

QByteArray Rig::expectedImage() const { return toQByteArray(sim::expectedImage(toBytes(file), length)); }

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

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

long residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

}  // namespace reliability
