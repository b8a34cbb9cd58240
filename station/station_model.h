#pragma once
// The station without its window: the slots, what each shows, the shift's
// counters, the serial numbers, and the sessions started and stopped. A
// window (or a test) reads slot(k) after slotChanged(k).
//
// Sessions run as the gang's units (gang/unit.h), one thread each; each ended session's
// record goes to the log first, then out by sessionEnded(). Plugging is
// checked every second: an idle slot whose port is gone says "not plugged in"
// and is ready again once it is back; a running one ends by itself as a lost
// port. With adapters for slots, a newly plugged adapter becomes a new slot.

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "approval/image_approval.h"
#include "core/settings.h"
#include "gang/job_builder.h"
#include "gang/unit.h"
#include "gang/watch.h"
#include "recordlog/record_log.h"
#include "recordwriter/record_writer.h"
#include "recordwriter/retest_limit.h"
#include "station/shift_counters.h"
#include "station/slot_list.h"
#include "station/slot_status.h"

namespace quarn::station {

struct StationConfig {
    QString stationName;
    QString operatorName;
    QString logPath;  // empty: no log
    // The records' database (empty: none); each record in the log is pushed
    // to it in the background.
    QString databaseUrl;
    DownloadImage image;  // read once (StationModel reads it when the caller did not)
    int maxRepeats = settingDefault(SettingKey::StationMaxRepeats).toInt();
    // A serial number that failed this often is held for repair (record/retest.h); 0: no limit.
    int maxAttempts = settingDefault(SettingKey::StationMaxAttempts).toInt();
    bool requireSerial = false;
    SlotSource source = SlotSource::CommandLine;
    gang::WatchTiming timing;  // Auto-start's hold, probe gap and retry
    QString serialRoot = gang::defaultSerialRoot();
    int logRetryMs = 5000;  // a log that refuses records is tried again this often
    bool sound = true;      // a cue when the last running slot of a batch ends
    // --approved-only or [images] require-approved=true: nothing starts until
    // the approved list allows the image (approval/image_approval.h), read
    // again this often and before each Start all.
    bool requireApproved = false;
    int approvalRecheckMs = 60000;
};

struct SlotState {
    Slot slot;
    SlotPhase phase = SlotPhase::Ready;
    record::SessionOutcome last = record::SessionOutcome::Good;
    bool lastFailed = false;        // the last session ended neither good, nor stopped, nor held
    bool outcomeKept = false;       // the last outcome stays shown until the next unit starts
    QString message;                // the last failure's explanation
    QString serial;                 // for the next unit; cleared once a record is written
    bool serialScanned = false;     // confirmed with Enter (the scanner's), not half typed
    QString lastSerial;             // the last record's unit, shown until the next scan
    bool serialLoadedGood = false;  // this serial loaded good earlier this shift
    SessionProgress figures;
    SlotLook look;
    int secondsLeft = -1;
    int answering = -1;  // Auto-start: seconds the socket has answered since the last session
    std::unique_ptr<gang::Unit> session;  // a session started by hand
    std::unique_ptr<gang::Watch> watch;   // Auto-start on this slot
};

class StationModel : public QObject {
    Q_OBJECT
public:
    StationModel(StationConfig config, QList<Slot> slotList, QObject* parent = nullptr);
    ~StationModel() override;

    int count() const { return static_cast<int>(slots_.size()); }
    const SlotState& slot(int k) const { return *slots_[static_cast<size_t>(k)]; }
    const ShiftCounters& counters() const { return counters_; }
    const StationConfig& config() const { return config_; }
    // Why the log takes no record now (which file, the system's reason);
    // empty while it works. Meanwhile no session starts, and the records of
    // sessions that were loading wait in memory until the log takes them.
    QString logProblem() const { return writer_.problem(); }
    // The log takes records and the approved list (when required) allows the image.
    bool canStartSessions() const {
        return writer_.problem().isEmpty() && approval_.allowsStarts();
    }
    // What is loaded and the approved list's word on it: the title, the file,
    // its length, the first 12 hex digits of its sha256 and the verdict.
    QString imageLine() const { return approval_.lineText(); }
    int unwrittenRecords() const { return writer_.unwritten(); }
    // The program is stopping: the log is tried once more, and the records it
    // still does not take go to `to` as JSON lines (recordwriter/record_writer.h).
    int spillUnwritten(std::FILE* to) { return writer_.spillKept(to); }
    // The log's last line was found cut short (power lost): which line.
    QString logWarning() const { return writer_.warning(); }
    // The push's last word: a damaged line of the log it skipped (by its
    // number), or why the database has not taken the records; empty when
    // there is nothing to say.
    QString pushNote() const { return pushNote_; }
    // Records in the log that the database does not have yet; -1 before the
    // first count or without a database.
    int recordsWaiting() const { return writer_.pending(); }

    // Start every slot that is ready or ended and plugged in (and has a serial
    // number when one is required); only those whose last session failed.
    // With the approved list required, the list is read first and the slots
    // start once it allows the image (the count is then 0: see imageChanged).
    int startAll();
    int startFailed();
    // Every running session stops as Cancel does, and a Start all (or Start
    // failed again) still waiting for the approved list's verdict is called
    // off: nothing starts from that verdict.
    void stopAll();
    bool anyRunning() const;

    // What the serial field holds as it is typed; scanSerial: confirmed (Enter).
    // With a serial number required, Auto-start loads only a scanned one.
    void setSerial(int k, const QString& serial);
    void scanSerial(int k, const QString& serial);

    // Auto-start: every idle slot listens for a unit and loads one that
    // answers (gang/watch.h), slots that appear later and slots whose session
    // started by hand once it ends; off: listening ends, sessions being
    // loaded finish (on again before they end: those slots go on watching).
    void setAutoStart(bool on);
    bool autoStart() const { return autoStart_; }

    // Hot-plug: checks every slot's port now (the timer does it every second).
    void refreshPresence();

signals:
    void slotChanged(int k);
    void slotAdded(int k);
    void countersChanged();
    void sessionEnded(int k, const QByteArray& recordLine);
    void allIdle();  // the last running session ended
    void recordsWaitingChanged(int count);
    void logChanged();    // logProblem(), logWarning() or unwrittenRecords() changed
    void imageChanged();  // the approved list was read: imageLine(), canStartSessions()

private:
    bool canStart(const SlotState& s) const;
    int startAllNow();
    int startFailedNow();
    void onApprovalRead();
    bool start(int k);
    gang::UnitJob jobFor(int k) const;
    bool mayLoad(int k) const;
    void serialUsed(int k, const QString& serial);
    void flagLoadedSerials();
    void onFinished(int k, const record::UnitRecord& record);
    void recordSession(int k, const record::UnitRecord& record);
    void watch(int k);
    void onWatchPhase(int k, gang::Watch::Phase phase);
    void onAnswering(int k, int seconds);
    void refreshRunning();
    void onLogChanged();
    void setPushNote(const QString& note);
    void applyWatching();
    bool watching() const { return autoStart_ && canStartSessions(); }
    void updateLook(int k);

    StationConfig config_;
    gang::JobBase jobBase_;
    std::vector<std::unique_ptr<SlotState>> slots_;
    ShiftCounters counters_;
    recordwriter::RecordWriter writer_;
    approval::ImageApproval approval_;
    // Asked on each unit's thread, so shared with the jobs that may outlive a slot.
    std::shared_ptr<recordwriter::RetestLimit> retest_;
    QString pushNote_;
    QTimer presenceTimer_;
    QTimer progressTimer_;
    bool autoStart_ = false;
};

}  // namespace quarn::station
