#pragma once
// quarn-records socket-service STATION SLOT [--note TEXT]: a socket was
// serviced now (a row of quarn_socket_service, stamped by the server with
// its time and the login); its sessions since service count from here.
// SLOT is the records' slot (the socket's stable name, as report --by slot
// lists it). Returns quarn-records' exit status (records-tool/records_cli.h):
// 3 without quarn_engineer's right, the role named; 2 when the database
// cannot be reached or refuses.

#include <QString>

namespace quarn::records {

int socketServiceCommand(const QString& url, const QString& station, const QString& slot,
                         const QString& note);

}  // namespace quarn::records
