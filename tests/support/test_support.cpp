#include "tests/support/test_support.h"

#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "app/forms.h"
#include "core/message_box.h"
#include "link/download_link.h"
#include "ports/port_map.h"
#include "session/form24.h"
#include "ui/form_registry.h"
#include "ui/globals.h"
#include "ui/ui_util.h"

namespace testsupport {

namespace {
// Every test program maps COM numbers as the window program does.
[[maybe_unused]] const bool g_comResolver = (quarn::setComResolver(quarn::resolveComDevice), true);
}  // namespace

BoxRecorder::BoxRecorder() {
    quarn::setMsgBoxHandler([this](const quarn::MsgBoxRequest& r) {
        boxes.append(Box{r.prompt, r.style(), r.title, r.informative});
        if (onBox) onBox(boxes.last());
        return 1;
    });
}

BoxRecorder::~BoxRecorder() { quarn::setMsgBoxHandler(nullptr); }

QStringList BoxRecorder::prompts() const {
    QStringList out;
    for (const Box& b : boxes) out << b.prompt;
    return out;
}

int BoxRecorder::count(const QString& prompt) const { return prompts().count(prompt); }

void useFastClock() { quarn::setLinkClock({20, 50}); }
void useRealClock() { quarn::setLinkClock({250, 1000}); }
void useBriskClock() { quarn::setLinkClock({10, 20}); }

void onEachPass(quarn::DownloadLink& link, std::function<void()> fn) {
    auto base = link.yield;
    link.yield = [base, fn] {
        base();
        fn();
    };
}

ScriptedUnit::ScriptedUnit(int com) : com_(com) {
    QString why;
    if (!pty_.open(&why)) qFatal("%s", qPrintable(why));
    qputenv(QStringLiteral("QUARN_COM%1").arg(com).toLatin1().constData(),
            pty_.slavePath().toLocal8Bit());
}

ScriptedUnit::~ScriptedUnit() {
    hangUp();
    qunsetenv(QStringLiteral("QUARN_COM%1").arg(com_).toLatin1().constData());
}

QByteArray ScriptedUnit::readAll() {
    const QByteArray out = pty_.readAll();
    log += out;
    return out;
}

void ScriptedUnit::write(const QByteArray& bytes) { pty_.write(bytes); }

void ScriptedUnit::hangUp() { pty_.hangUp(); }

const QString kInitEndMessage = QStringLiteral("Download complete.");

QByteArray initText(const QStringList& steps, const QString& length) {
    QStringList fields{QStringLiteral("QX-200 controller"), QStringLiteral("Firmware download"),
                       QStringLiteral("Caution: mains voltage inside the unit")};
    fields << steps << QStringLiteral("StepEnd") << QStringLiteral("firmware.bin") << length
           << kInitEndMessage << QStringLiteral("QX-200 firmware download");
    return fields.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

QStringList stepTexts(int n) {
    QStringList steps;
    for (int i = 0; i < n; ++i) steps << QStringLiteral("Step %1 of the preparation").arg(i + 1);
    return steps;
}

void clickOption(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

QByteArray expectedTransferWire(const QByteArray& file, int downloadLength) {
    const QByteArray image = toQByteArray(sim::expectedImage(toBytes(file), downloadLength));
    QByteArray wire("\x01", 1);
    for (int at = 0; at < image.size(); at += 64) {
        const QByteArray block = image.mid(at, 64);
        uint8_t sum = 0;
        for (char c : block) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        wire += '\x03';
        wire += static_cast<char>(sum);
        wire += block;
        wire += '\x07';
    }
    wire += '\x0F';
    return wire;
}

const QString kHandshakeBox =
    QStringLiteral("Handshake Error! - Please check connection and retry.");
const QString kLoginBox = QStringLiteral("Login Error! - Please check connection and retry.");
const QString kStopBox = QStringLiteral("Download procedure have been stopped! ");
const QString kRepowerBox =
    QStringLiteral("Please repower the unit before you start loading again.");
const QString kEndMessage = QStringLiteral("Download complete. Switch the unit off.");

const QString kLineInitial = QStringLiteral("Unit ready for download");
const QString kLineHandshakeOk = QStringLiteral("Unit handshake ok.");
const QString kLineInProgress = QStringLiteral("Unit download in progres.");
const QString kLineBadReply = QStringLiteral("Bad handshake signal. - Exit programming.");
const QString kLineGood = QStringLiteral("Programming end and no error found.");

Indicator indicatorOf(quarn::Form24* f) {
    using quarn::backColorOf;
    const uint32_t off = backColorOf(f->StatusPanel[0]);
    const uint32_t on = backColorOf(f->StatusPanel[1]);
    const uint32_t err = backColorOf(f->StatusPanel[2]);
    const quarn::IndicatorColors& failure = quarn::kIndicatorFailure;
    const quarn::IndicatorColors& ready = quarn::kIndicatorReady;
    if (off == failure.off && on == failure.on && err == failure.error) return Indicator::Failure;
    if (off == ready.off && on == ready.on && err == ready.error) return Indicator::Ready;
    const quarn::IndicatorColors& atLoad = quarn::kIndicatorAtLoad;
    if (off == atLoad.off && on == atLoad.on && err == atLoad.error) return Indicator::AtLoad;
    return Indicator::Unknown;
}

const char* indicatorName(Indicator i) {
    switch (i) {
        case Indicator::AtLoad:
            return "as loaded";
        case Indicator::Failure:
            return "failure";
        case Indicator::Ready:
            return "ready";
        case Indicator::Unknown:
            return "unknown";
    }
    return "?";
}

}  // namespace testsupport
