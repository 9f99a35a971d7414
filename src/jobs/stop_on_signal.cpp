#include "jobs/stop_on_signal.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "jobs/worker.h"
#include "platform/atomic_output.h"

namespace qarvo {

namespace {

std::atomic<int> g_signal{0};
// How long stopped jobs get to unwind before their leftovers are removed for them.
constexpr auto kStopGrace = std::chrono::seconds(1);

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void StopJobsOnSignals() {
  const sigset_t set = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A thread of its own rather than a handler: stopping the jobs and waiting for them is far
  // from what a handler may do.
  std::thread([set] {
    int signal_number = 0;
    while (sigwait(&set, &signal_number) != 0) {
    }
    g_signal.store(signal_number);
    WorkerThread::StopAll();
    WorkerThread::WaitAllFinished(kStopGrace);
    RemoveTemporaryFilesAndExit(128 + signal_number);
  }).detach();
}

bool SignalReceived() {
  return g_signal.load() != 0;
}

void AwaitSignalExit() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::hours(1));
  }
}

}  // namespace qarvo
