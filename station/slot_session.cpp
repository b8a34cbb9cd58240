#include "station/slot_session.h"

#include <QThread>

#include "flash/unit_runner.h"

namespace quarn::station {

SlotSession::SlotSession(int slot, const SessionJob& job, QObject* parent)
    : QObject(parent), slot_(slot), thread_(new QThread) {
    qRegisterMetaType<flash::UnitRecord>();
    flash::UnitJob unitJob;
    unitJob.target = flash::UnitTarget{job.port, job.device, job.why};
    unitJob.filePath = job.filePath;
    unitJob.downloadLength = job.downloadLength;
    unitJob.maxRepeats = job.maxRepeats;
    runner_ = new flash::UnitRunner(slot, unitJob);
    runner_->moveToThread(thread_);
    connect(runner_, &flash::UnitRunner::finished, this,
            [this](int, const flash::UnitRecord& record) {
                running_ = false;
                thread_->quit();
                emit finished(slot_, record);
            });
}

SlotSession::~SlotSession() {
    if (running_) runner_->requestStop();
    thread_->quit();
    thread_->wait();
    delete runner_;
    delete thread_;
}

void SlotSession::start() {
    running_ = true;
    thread_->start();
    QMetaObject::invokeMethod(runner_, &flash::UnitRunner::run, Qt::QueuedConnection);
}

void SlotSession::requestStop() {
    if (running_) runner_->requestStop();
}

SessionFigures SlotSession::figures() const {
    SessionFigures f;
    f.stage = static_cast<LinkStage>(runner_->stage.load());
    f.block = runner_->blocksSent;
    f.total = runner_->blockTotal;
    f.repeats = runner_->repeats;
    f.transferStartMs = runner_->transferStartMs;
    return f;
}

}  // namespace quarn::station
