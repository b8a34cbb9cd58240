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
// - attach()/detach() from the push's thread, around each connection's life
//   (detach before the connection closes); a push may have several attached
//   at once, and a cancel ends them all. A cancel before attach() ends the
//   connection as soon as it is attached.

#include <QSqlDatabase>
#include <atomic>
#include <mutex>
#include <vector>

namespace quarn::push {

class PushCancel {
public:
    PushCancel() = default;
    ~PushCancel();
    PushCancel(const PushCancel&) = delete;
    PushCancel& operator=(const PushCancel&) = delete;

    void cancel();
    bool cancelled() const { return cancelled_; }

    void attach(const QSqlDatabase& db);
    void detach(const QSqlDatabase& db);

private:
    struct Attached {
        QString name;             // the QSqlDatabase's connection name
        void* request = nullptr;  // its PGcancel, until sent
        int socket = -1;
    };
    static void endConnection(Attached& a);  // with m_ held

    std::mutex m_;
    std::atomic<bool> cancelled_{false};
    std::vector<Attached> attached_;
};

// attach() for a scope: made after the connection opens, gone before it closes.
class CancelScope {
public:
    CancelScope(PushCancel* cancel, const QSqlDatabase& db) : cancel_(cancel), db_(db) {
        if (cancel_) cancel_->attach(db_);
    }
    ~CancelScope() {
        if (cancel_) cancel_->detach(db_);
    }
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    PushCancel* cancel_;
    const QSqlDatabase& db_;
};

}  // namespace quarn::push
