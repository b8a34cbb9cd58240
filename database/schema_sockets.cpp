// The sockets' service log: quarn_socket_service (database/schema.h).
#include "database/schema.h"

namespace quarn::database {

QStringList socketServiceStatements() {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_socket_service (\n"
                       "    station text NOT NULL,\n"
                       "    slot text NOT NULL,  -- the records' slot: the socket's stable name\n"
                       "    serviced_at timestamptz NOT NULL DEFAULT now(),\n"
                       "    serviced_by text NOT NULL DEFAULT current_user,\n"
                       "    note text\n"
                       ");\n"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_socket_service_socket "
                       "ON quarn_socket_service (station, slot, serviced_at);\n")};
}

QStringList socketServiceRoleStatements() {
    // serviced_at and serviced_by come from their defaults: the server stamps them.
    return {QStringLiteral("GRANT INSERT (station, slot, note) ON quarn_socket_service "
                           "TO quarn_engineer;\n"),
            QStringLiteral("GRANT SELECT ON quarn_socket_service TO quarn_viewer;\n")};
}

}  // namespace quarn::database
