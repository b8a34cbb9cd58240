#pragma once
// One unit's session on its own thread. The worker is moved to a QThread and
// run() is invoked there: the link, its port, its timers and the download file
// are made inside that thread, so the link's nested waits run that thread's
// events only and never another unit's. Progress is published through atomics
// (read by the display on the main thread) and a queued signal at each stage
// change and each quarter of the blocks; the record comes back by a queued
// signal when the session ends.

#include <QObject>
#include <QPointer>
#include <atomic>

#include "flash/flash_options.h"
#include "flash/flash_record.h"
#include "link/download_link.h"

namespace quarn::flash {

struct UnitJob {
    UnitTarget target;
    QString filePath;
    int16_t downloadLength = 0;
    QByteArray image;  // what is sent: the file as read before any port opened
    int maxRepeats = 0;
};

class UnitRunner : public QObject {
    Q_OBJECT
public:
    UnitRunner(int index, UnitJob job);

    // Progress, written by the unit's thread, read by anyone.
    std::atomic<int> stage{static_cast<int>(LinkStage::Idle)};
    std::atomic<int> blockNumber{0};
    std::atomic<int> blockTotal{0};
    std::atomic<int> blocksSent{0};
    std::atomic<int> repeats{0};
    std::atomic<qint64> transferStartMs{0};  // msecs since epoch when the blocks began; 0 before

    const UnitJob& job() const { return job_; }

    // From any thread: ends the session as Cancel does; its record then says interrupted.
    void requestStop();

public slots:
    void run();

signals:
    // stage is a LinkStage; quarter 0..4 of the blocks confirmed.
    void stageReached(int index, int stage, int block, int total);
    void finished(int index, const quarn::flash::UnitRecord& record);

private:
    void publish();

    int index_;
    UnitJob job_;
    std::atomic<bool> stop_{false};
    QPointer<DownloadLink> link_;
    int lastStage_ = -1;
    int lastQuarter_ = 0;
};

}  // namespace quarn::flash

Q_DECLARE_METATYPE(quarn::flash::UnitRecord)
