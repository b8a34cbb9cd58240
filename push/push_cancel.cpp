#include "push/push_cancel.h"

#include <libpq-fe.h>
#include <sys/socket.h>

#include <algorithm>
#include <thread>

#include "pg/pg_handle.h"

namespace quarn::push {

PushCancel::~PushCancel() {
    for (Attached& a : attached_)
        if (a.request) PQfreeCancel(static_cast<PGcancel*>(a.request));
}

void PushCancel::cancel() {
    cancelled_ = true;
    const std::lock_guard<std::mutex> hold(m_);
    for (Attached& a : attached_) endConnection(a);
}

void PushCancel::endConnection(Attached& a) {
    if (a.request) {
        // The cancel request opens a connection of its own to the server,
        // which may take as long as the network lets it: nobody waits for it.
        std::thread([request = static_cast<PGcancel*>(a.request)] {
            char why[256];
            PQcancel(request, why, sizeof why);
            PQfreeCancel(request);
        }).detach();
        a.request = nullptr;
    }
    // The push's thread then sees the connection end at once.
    if (a.socket >= 0 && ::shutdown(a.socket, SHUT_RDWR) != 0) {
        // ENOTCONN: the server closed it first, which ends that wait as well.
    }
    a.socket = -1;
}

void PushCancel::attach(const QSqlDatabase& db) {
    const std::lock_guard<std::mutex> hold(m_);
    PGconn* connection = pg::pgConnectionOf(db);
    if (!connection) return;
    attached_.push_back({db.connectionName(), PQgetCancel(connection), PQsocket(connection)});
    if (cancelled_) endConnection(attached_.back());
}

void PushCancel::detach(const QSqlDatabase& db) {
    const std::lock_guard<std::mutex> hold(m_);
    const auto gone = std::find_if(attached_.begin(), attached_.end(), [&](const Attached& a) {
        return a.name == db.connectionName();
    });
    if (gone == attached_.end()) return;
    if (gone->request) PQfreeCancel(static_cast<PGcancel*>(gone->request));
    attached_.erase(gone);
}

}  // namespace quarn::push
