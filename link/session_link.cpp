#include "link/session_link.h"

#include <QTimer>

namespace quarn {

SessionLink::SessionLink() : owned_(std::make_unique<DownloadLink>()), link_(*owned_) {}
SessionLink::SessionLink(DownloadLink& borrowed) : link_(borrowed) {}
SessionLink::~SessionLink() = default;

void SessionLink::setClosing(std::function<bool()> closing) { link_.closing = std::move(closing); }
bool SessionLink::closing() const { return link_.closing(); }
void SessionLink::setOnProgress(std::function<void(const SessionProgress&)> onProgress) {
    link_.onProgress = std::move(onProgress);
}
void SessionLink::setMaxRepeats(int n) { link_.maxRepeats = n; }
int SessionLink::maxRepeats() const { return link_.maxRepeats; }
void SessionLink::startTicker() { link_.startTicker(); }

void SessionLink::clearMonitors() { link_.clearMonitors(); }
void SessionLink::resetCounters() {
    link_.Transmit_counter = 0;
    link_.Recieve_counter = 0;
}
void SessionLink::beginSession() { link_.beginSession(); }
void SessionLink::requestStop() { link_.requestStop(); }
bool SessionLink::stopRequested() const { return link_.Program_kill; }

SessionLink::OpenResult SessionLink::openCom(int16_t comPort) { return link_.OpenCom(comPort); }
SessionLink::OpenResult SessionLink::openDevice(const QString& device) {
    return link_.OpenDevice(device);
}
bool SessionLink::portOpen() const { return link_.MSComm1.portOpen(); }
void SessionLink::closePort() { link_.MSComm1.setPortOpen(false); }
void SessionLink::flushInput() {
    link_.MSComm1.setInputLen(0);
    link_.MSComm1.input();
}
QByteArray SessionLink::takeInput() {
    link_.MSComm1.setInputLen(0);
    return link_.MSComm1.input();
}
void SessionLink::write(const QByteArray& bytes) {
    link_.MSComm1.output(bytes);
    link_.MSComm1.sendQueued();
}
int SessionLink::bytesWaiting() const { return link_.MSComm1.inBufferCount(); }
bool SessionLink::portLost() const { return link_.MSComm1.lost(); }
QString SessionLink::portError() const { return link_.MSComm1.errorString(); }
PortFault SessionLink::portFault() const { return link_.MSComm1.fault(); }
QString SessionLink::deviceName() const { return link_.MSComm1.deviceName(); }

LinkResult SessionLink::handshake() { return link_.SendHandshake(); }
LinkResult SessionLink::pause() { return link_.Download_Delay(); }
LinkResult SessionLink::login() { return link_.SendPassWord(); }
LinkResult SessionLink::transfer(QIODevice& file, int16_t downloadLength) {
    return link_.SendFile(file, downloadLength);
}

bool SessionLink::waitUntil(const std::function<bool()>& done, QDeadlineTimer deadline) {
    // The wake-up at the deadline: a pass blocks until the next event, and
    // when nothing else comes this is the one that ends the wait.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime())));
    // The timer having fired counts as the deadline passed, even if it fired
    // a little early: no other event may ever come to end the wait.
    const auto expired = [&] { return deadline.hasExpired() || !wake.isActive(); };
    while (!done() && !expired() && !stopRequested() && !closing()) link_.yield();
    return done();
}

SessionProgress SessionLink::progress() const { return link_.progress(); }
QByteArray SessionLink::sentDigest() const { return link_.sentDigest(); }
QString SessionLink::lastReply() const { return link_.Recieve_string; }
bool SessionLink::refusedTooOften() const { return link_.refusedTooOften(); }
double SessionLink::timeoutSeconds() const { return link_.timeoutSeconds(); }

}  // namespace quarn
