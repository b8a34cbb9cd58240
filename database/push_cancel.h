#pragma once
// Ending a push from another thread without waiting on the database: the
// server is asked to cancel the statement in flight (libpq's cancel request,
// sent from a short-lived thread of its own so that a server gone silent
// holds up nobody), and the connection's socket is shut down, so the push's
// thread returns from its wait at once with an error and ends. The server
// rolls back what the push had not committed; it stays in the log.
//
// Contract
// - cancel() and cancelled() from any thread, any number of times.
// - attach()/detach() from the push's thread, around the connection's life
//   (detach before the connection closes); a cancel before attach() ends the
//   connection as soon as it is attached.

#include <QSqlDatabase>
#include <atomic>
#include <mutex>

namespace quarn::records {

class PushCancel {
public:
    PushCancel() = default;
    ~PushCancel();
    PushCancel(const PushCancel&) = delete;
    PushCancel& operator=(const PushCancel&) = delete;

    void cancel();
    bool cancelled() const { return cancelled_; }

    void attach(const QSqlDatabase& db);
    void detach();

private:
    void endConnection();  // with m_ held

    std::mutex m_;
    std::atomic<bool> cancelled_{false};
    void* request_ = nullptr;  // libpq's PGcancel of the attached connection
    int socket_ = -1;
};

// attach() for a scope: made after the connection opens, gone before it closes.
class CancelScope {
public:
    CancelScope(PushCancel* cancel, const QSqlDatabase& db) : cancel_(cancel) {
        if (cancel_) cancel_->attach(db);
    }
    ~CancelScope() {
        if (cancel_) cancel_->detach();
    }
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    PushCancel* cancel_;
};

}  // namespace quarn::records
