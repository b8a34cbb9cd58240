#pragma once
// The image line and the approved list's verdict for a front end that runs
// all day (the station, quarn-flash --watch), kept fresh: the list is read
// again every recheckMs and on checkThen(), each read off the caller's thread
// (approval/gate_read.h: a database that does not answer must not freeze a rack,
// its records, its Stop all or its exit).
//
// Contract
// - Not required: allowsStarts() is always true, the line ends "approval not
//   required", recordValue() is none, and no read is ever made.
// - Required: nothing may start until a read has allowed the image; after a
//   read that does not (not approved, revoked, no list), nothing new starts
//   until one does. Sessions already loading are left to finish.
// - A front end that has just read the list itself (known) starts from that
//   verdict; the first read is then recheckMs later.
// - checkThen(f): reads now and calls f once the verdict is in, only when it
//   allows; not required: f at once. A second request while a read runs
//   waits for that read's verdict.
// - cancelWaiting(): the requests still waiting for a verdict are dropped
//   (Stop all pressed while Start all waits on a slow database); the read
//   runs on and its verdict is still shown, but starts nothing.
// - Destroying it never waits on a read in flight: the read ends by itself.
// - recordWord(): the record's "approved" now: while the list is required,
//   what it said last (false before any verdict), so a unit whose image was
//   revoked while it loaded is recorded "approved": false; not required,
//   none. The record writer stamps it (recordwriter/record_writer.h).
// - changed() after every verdict (the line may read the same).

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "approval/image_gate.h"

namespace quarn::approval {

class ImageApproval : public QObject {
    Q_OBJECT
public:
    ImageApproval(bool required, ImageIdentity image, QString databaseUrl, int recheckMs,
                  const ImageGate* known = nullptr, QObject* parent = nullptr);
    ~ImageApproval() override;

    bool required() const { return gate_.required; }
    bool allowsStarts() const { return !gate_.required || (checked_ && gate_.allowed()); }
    std::optional<bool> recordValue() const { return gate_.recordValue(); }
    QString lineText() const;
    void checkThen(std::function<void()> then);
    void cancelWaiting() { waiting_.clear(); }
    std::optional<bool> recordWord() const {
        return gate_.required ? std::optional<bool>(checked_ && gate_.allowed()) : std::nullopt;
    }

signals:
    void changed();

private:
    void readNow();
    void onRead();

    ImageIdentity image_;
    QString databaseUrl_;
    ImageGate gate_;
    bool checked_ = false;  // a verdict is in
    QTimer recheck_;
    QFutureWatcher<ImageGate> reading_;
    std::vector<std::function<void()>> waiting_;
};

}  // namespace quarn::approval
