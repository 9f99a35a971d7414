#pragma once

namespace qarvo {

// Ends the program on SIGINT, SIGTERM and SIGHUP as shells expect (exit status 128 + the
// signal: 130, 143, 129), after stopping its jobs (they discard their temporary files and put
// back what they changed) and removing whatever temporary file is left after about a second
// (a job blocked in a write that does not return). Call it first in main, before any thread
// starts: the signals are blocked in every thread and taken by one thread of its own.
void StopJobsOnSignals();

// True once such a signal has arrived. A job that ends because of it must not end the program
// another way: the signal's thread does that (see AwaitSignalExit).
bool SignalReceived();
// Waits for the signal's thread to end the program; never returns.
[[noreturn]] void AwaitSignalExit();

}  // namespace qarvo
