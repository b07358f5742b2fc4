// ThreadPriority: nice value and I/O priority of the calling thread (Linux).
#include "ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// From linux/ioprio.h, which older kernels' headers lack.
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassBestEffort = 2;
constexpr int kIoprioWhoProcess = 1;   // with a thread id: that thread only
constexpr int kLowestBestEffortLevel = 7;

pid_t CurrentThreadId()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}
} // namespace

int LowestBestEffortIoPriority()
{
    return (kIoprioClassBestEffort << kIoprioClassShift) | kLowestBestEffortLevel;
}

int CurrentThreadNiceValue()
{
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
}

int CurrentThreadIoPriority()
{
    const long value = syscall(SYS_ioprio_get, kIoprioWhoProcess, CurrentThreadId());
    return value < 0 ? -1 : static_cast<int>(value);
}

bool SetCurrentThreadLowestNormalPriority()
{
    const pid_t tid = CurrentThreadId();
    const int current = CurrentThreadNiceValue();
    // Measured from the process's main thread, not from the calling thread: a
    // thread inherits the nice value of the thread that made it, so a worker
    // started by the scheduler would otherwise end up a whole step lower than
    // one started from the window.
    errno = 0;
    const int normal = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    const int base = (normal == -1 && errno != 0) ? current : normal;
    const int target = std::min(19, base + kLowestNormalNiceStep);
    bool ok = true;
    // setpriority on a thread id changes that thread alone on Linux.
    if (target > current)
        ok = setpriority(PRIO_PROCESS, static_cast<id_t>(tid), target) == 0;
    ok = syscall(SYS_ioprio_set, kIoprioWhoProcess, tid, LowestBestEffortIoPriority()) == 0 && ok;
    return ok;
}
