#pragma once
// quarn-records' commands on the approved list:
//   approve [INIT] [--file FILE] [--length N] [--note TEXT]
//   revoke SHA256 [--note TEXT]
//   images [--json]
// INIT (an Init.txt or its folder, default Init.txt) is read as a download
// reads it; --file and --length replace its values, and both together
// replace it. The sha256 is the one a station computes of the image as it is
// sent (image/blocks.h). Each returns quarn-records' exit status
// (records-tool/records_cli.h): 3 when the database refuses for lack of
// rights, with the role needed named.

#include <QString>

namespace quarn::records {

struct ApproveArgs {
    QString init;    // empty: Init.txt
    QString file;    // empty: Init.txt's
    QString length;  // empty: Init.txt's
    QString note;
};

int approveCommand(const QString& url, const ApproveArgs& args);
int revokeCommand(const QString& url, const QString& sha256, const QString& note);
int imagesCommand(const QString& url, bool json);

}  // namespace quarn::records
