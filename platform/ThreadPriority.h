// ThreadPriority: "lowest normal priority" for the calling thread, so copying
// and scheduling yield to interactive work.
#pragma once

// Sets the calling thread's nice value to the main thread's plus
// kLowestNormalNiceStep (capped at 19; a thread already lower stays as it is),
// whichever thread created the caller, and gives it the lowest best-effort I/O
// priority. Linux keeps both per thread. Returns false when either could not be
// set (the thread then runs on at whatever it has).
bool SetCurrentThreadLowestNormalPriority();

inline constexpr int kLowestNormalNiceStep = 10;
// The calling thread's nice value.
int CurrentThreadNiceValue();
// The calling thread's I/O priority as (class << 13 | level), as the kernel
// reports it; -1 when it cannot be read.
int CurrentThreadIoPriority();
// The value CurrentThreadIoPriority gives after the call above: best effort, level 7.
int LowestBestEffortIoPriority();
