#pragma once
// A pseudo-terminal whose master side the caller drives, for the test
// programs and the fuzzer: the program under test opens the slave side as
// its serial port. The slave is put in raw mode before anyone opens it, so
// nothing the program writes is echoed back. The master is non-blocking.

#include <QByteArray>
#include <QString>

namespace testsupport {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a new terminal (hanging up one still open); false, with the
    // reason from the system's codes in *why, when that fails.
    bool open(QString* why);
    bool isOpen() const { return master_ >= 0; }
    // The slave side's device path (/dev/pts/N).
    QString slavePath() const { return slave_; }
    // Everything the slave side has written and the kernel has passed on.
    QByteArray readAll();
    // Writes every byte to the master side; false on a short or failed write.
    bool write(const QByteArray& bytes);
    // Closes the master: to the slave side the line hangs up.
    void hangUp();

private:
    int master_ = -1;
    QString slave_;
};

}  // namespace testsupport
