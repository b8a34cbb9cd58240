#pragma once
// Reads what quarn-unit-sim prints on its standard output: the line
// "device: PATH" (with " link: PATH" after it when it made a link), printed
// at start and again after a hang-up, and one line per complete download:
//   session N: blocks B, repeats R, corrupted C, bytes X, transfer T s, wire W s
// Output may arrive in any pieces; a line counts once its newline has come.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace bench {

struct SimSession {
    int number = 0;
    int blocks = 0;
    int repeats = 0;
    int corrupted = 0;
    qint64 bytes = 0;
    double transferSeconds = 0;  // start byte received to end byte received
    double wireSeconds = 0;      // line time of the bytes exchanged in that span
};

class SimOutput {
public:
    void feed(const QByteArray& bytes);

    QString device() const { return device_; }  // latest device line; empty before the first
    QString link() const { return link_; }
    const std::vector<SimSession>& sessions() const { return sessions_; }
    QStringList otherLines() const { return other_; }  // anything else, for error reports

private:
    void parseLine(const QString& line);

    QByteArray partial_;
    QString device_;
    QString link_;
    std::vector<SimSession> sessions_;
    QStringList other_;
};

}  // namespace bench
