#pragma once
// Figures of this process, as the tests and the bench quote them. Each reads
// the kernel's own account (/proc/self, the process CPU clock).

#include <QtGlobal>

namespace testsupport {

// CPU time this process has used, user + system, all threads, in seconds.
double cpuSeconds();
// Resident memory now (VmRSS) and at its peak (VmHWM: after an exec,
// ru_maxrss would still carry the parent's peak), in kB; -1 when unreadable.
qint64 residentKb();
qint64 peakKb();
// Descriptors this process has open.
int openDescriptors();

}  // namespace testsupport
