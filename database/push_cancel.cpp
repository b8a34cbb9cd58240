#include "database/push_cancel.h"

#include <libpq-fe.h>
#include <sys/socket.h>

#include <QSqlDriver>
#include <QVariant>
#include <thread>

namespace quarn::records {

namespace {

PGconn* connectionOf(const QSqlDatabase& db) {
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    // Named as the compiler spells the struct behind libpq's typedef.
    const char* type = v.isValid() ? v.typeName() : "";
    if (qstrcmp(type, "pg_conn*") != 0 && qstrcmp(type, "PGconn*") != 0) return nullptr;
    return *static_cast<PGconn* const*>(v.constData());
}

}  // namespace

PushCancel::~PushCancel() {
    if (request_) PQfreeCancel(static_cast<PGcancel*>(request_));
}

void PushCancel::cancel() {
    cancelled_ = true;
    const std::lock_guard<std::mutex> hold(m_);
    endConnection();
}

void PushCancel::endConnection() {
    if (request_) {
        // The cancel request opens a connection of its own to the server,
        // which may take as long as the network lets it: nobody waits for it.
        std::thread([request = static_cast<PGcancel*>(request_)] {
            char why[256];
            PQcancel(request, why, sizeof why);
            PQfreeCancel(request);
        }).detach();
        request_ = nullptr;
    }
    // The push's thread then sees the connection end at once.
    if (socket_ >= 0 && ::shutdown(socket_, SHUT_RDWR) != 0) {
        // ENOTCONN: the server closed it first, which ends that wait as well.
    }
    socket_ = -1;
}

void PushCancel::attach(const QSqlDatabase& db) {
    const std::lock_guard<std::mutex> hold(m_);
    PGconn* connection = connectionOf(db);
    if (!connection) return;
    socket_ = PQsocket(connection);
    request_ = PQgetCancel(connection);
    if (cancelled_) endConnection();
}

void PushCancel::detach() {
    const std::lock_guard<std::mutex> hold(m_);
    if (request_) PQfreeCancel(static_cast<PGcancel*>(request_));
    request_ = nullptr;
    socket_ = -1;
}

}  // namespace quarn::records
