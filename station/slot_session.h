#pragma once
// The one place where the station meets the thread-per-unit runner that
// quarn-flash uses: one session of one slot on its own thread. Everything
// else in the station sees only this class, so the runner can change under it.
//
// start() runs the session; progress is read from the runner's published
// figures at any time; finished() arrives once, on the owner's thread, with
// the record. requestStop() ends it as Cancel does (record: interrupted).
// The destructor stops a running session and waits for its thread.

#include <QObject>
#include <QString>

#include "flash/flash_record.h"
#include "link/download_link.h"

class QThread;

namespace quarn::flash {
class UnitRunner;
}

namespace quarn::station {

struct SessionJob {
    QString port;    // the slot's name in the record
    QString device;  // empty: the session fails on the port with `why`
    QString why;
    QString filePath;
    int16_t downloadLength = 0;
    int maxRepeats = 0;
};

struct SessionFigures {
    LinkStage stage = LinkStage::Idle;
    int block = 0;  // blocks answered
    int total = 0;
    int repeats = 0;
    qint64 transferStartMs = 0;
};

class SlotSession : public QObject {
    Q_OBJECT
public:
    SlotSession(int slot, const SessionJob& job, QObject* parent = nullptr);
    ~SlotSession() override;

    void start();
    void requestStop();
    bool running() const { return running_; }
    SessionFigures figures() const;

signals:
    void finished(int slot, const quarn::flash::UnitRecord& record);

private:
    int slot_;
    QThread* thread_;
    flash::UnitRunner* runner_;
    bool running_ = false;
};

}  // namespace quarn::station
