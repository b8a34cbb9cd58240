#pragma once
// Figures of this process (or, given its pid, of a child), as the tests and
// the bench quote them. Each reads the kernel's own account (/proc, the
// process CPU clock).

#include <QtGlobal>

namespace testsupport {

// CPU time this process has used, user + system, all threads, in seconds.
double cpuSeconds();
// Resident memory now (VmRSS) and at its peak (VmHWM: after an exec,
// ru_maxrss would still carry the parent's peak), in kB; -1 when unreadable.
// pid 0: this process.
qint64 residentKb(qint64 pid = 0);
qint64 peakKb(qint64 pid = 0);
// Descriptors this process (or pid) has open.
int openDescriptors(qint64 pid = 0);
// CPU time, user + system, that process pid has used so far, in seconds.
double cpuSecondsOf(qint64 pid);

}  // namespace testsupport
