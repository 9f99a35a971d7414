#include "jobs/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "jobs/pause_gate.h"
#include "jobs/recorder.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using std::chrono::milliseconds;
using test::Recorder;

// Signals when a worker has been destroyed, so tests can see the thread let go of it.
struct Destroyed {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  bool Wait(milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, deadline, [&] { return done; });
  }
};

// A worker whose job is a function of the test, with access to the protected helpers.
class ScriptedWorker : public WorkerThread {
 public:
  using Body = std::function<void(ScriptedWorker&)>;
  ScriptedWorker(JobHost host, Body body, std::shared_ptr<Destroyed> destroyed)
      : WorkerThread(std::move(host)), body_(std::move(body)), destroyed_(std::move(destroyed)) {}
  ~ScriptedWorker() override {
    if (destroyed_) {
      {
        std::lock_guard<std::mutex> lock(destroyed_->mutex);
        destroyed_->done = true;
      }
      destroyed_->cv.notify_all();
    }
  }

  using WorkerThread::Advance;
  using WorkerThread::ButtonsBusy;
  using WorkerThread::ButtonsIdle;
  using WorkerThread::Copy;
  using WorkerThread::FinishProgress;
  using WorkerThread::Log;
  using WorkerThread::Observer;
  using WorkerThread::SetProgressTotal;
  using WorkerThread::ShakeIfAsked;

 protected:
  JobResult Execute() override {
    body_(*this);
    return JobResult::Succeeded;
  }

 private:
  Body body_;
  std::shared_ptr<Destroyed> destroyed_;
};

std::shared_ptr<ScriptedWorker> StartScripted(const std::shared_ptr<Recorder>& recorder,
                                              ScriptedWorker::Body body,
                                              std::shared_ptr<Destroyed> destroyed = nullptr) {
  return WorkerThread::Start(std::make_shared<ScriptedWorker>(
      JobHost{recorder, recorder}, std::move(body), std::move(destroyed)));
}

TEST(WorkerThreadTest, ReportsInOrderAndLetsGoOfTheWorkerWhenDone) {
  auto recorder = std::make_shared<Recorder>();
  recorder->SetShake(true);
  auto destroyed = std::make_shared<Destroyed>();
  std::weak_ptr<ScriptedWorker> weak;
  {
    auto worker = StartScripted(
        recorder,
        [](ScriptedWorker& self) {
          self.Log("one");
          self.ButtonsBusy();
          self.Log("two");
          self.ButtonsIdle();
          self.ShakeIfAsked();
        },
        destroyed);
    weak = worker;
    ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(10)));
    EXPECT_TRUE(worker->Finished());
  }
  EXPECT_EQ(recorder->Events(),
            (std::vector<std::string>{"one", test::kBusy, "two", test::kIdle, test::kShake}));
  EXPECT_EQ(recorder->ShakeReads(), 1);
  EXPECT_TRUE(destroyed->Wait(std::chrono::seconds(10)));
  EXPECT_TRUE(weak.expired());
}

TEST(WorkerThreadTest, ShakesOnlyWhenTheOptionIsOnAtTheEnd) {
  auto recorder = std::make_shared<Recorder>();
  auto worker = StartScripted(recorder, [&](ScriptedWorker& self) {
    self.Log("start");
    self.ShakeIfAsked();
  });
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(10)));
  EXPECT_FALSE(recorder->Has(test::kShake));
  EXPECT_EQ(recorder->ShakeReads(), 1);
}

TEST(WorkerThreadTest, AnExceptionInTheJobEndsItQuietly) {
  auto recorder = std::make_shared<Recorder>();
  const int before = WorkerThread::Running();
  auto worker = StartScripted(recorder, [](ScriptedWorker& self) {
    self.Log("before");
    throw std::runtime_error("boom");
  });
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(10)));
  EXPECT_EQ(recorder->Lines(), std::vector<std::string>{"before"});
  EXPECT_EQ(WorkerThread::Running(), before);
}

TEST(WorkerThreadTest, NoLineWhilePausedAndAllLinesAfterContinue) {
  auto recorder = std::make_shared<Recorder>();
  std::mutex mutex;
  std::condition_variable cv;
  bool may_go = false;
  auto worker = StartScripted(recorder, [&](ScriptedWorker& self) {
    self.Log("first");
    {
      std::unique_lock<std::mutex> lock(mutex);
      cv.wait(lock, [&] { return may_go; });
    }
    self.Log("second");
    self.Log("third");
  });
  ASSERT_TRUE(recorder->WaitFor("first"));
  worker->Pause();
  EXPECT_TRUE(worker->IsPaused());
  {
    std::lock_guard<std::mutex> lock(mutex);
    may_go = true;
  }
  cv.notify_all();
  // Once the worker stands at its next line, nothing more has appeared.
  EXPECT_TRUE(worker->WaitHeld(std::chrono::seconds(10)));
  EXPECT_EQ(recorder->Lines(), std::vector<std::string>{"first"});
  EXPECT_FALSE(worker->Finished());
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(10)));
  EXPECT_EQ(recorder->Lines(), (std::vector<std::string>{"first", "second", "third"}));
}

// Passes every block through the worker's own observer, but holds the copy just before its
// second block until the test lets it go: the test pauses there, in the middle of the copy.
class HoldBeforeSecondBlock : public CopyObserver {
 public:
  HoldBeforeSecondBlock(CopyObserver& inner, test::JobLatch latch)
      : inner_(inner), latch_(std::move(latch)) {}
  std::unique_lock<std::mutex> BeforeBlock() override {
    if (++blocks_ == 2) {
      latch_.Arrive();
    }
    return inner_.BeforeBlock();
  }
  void Advanced(int64_t bytes) override { inner_.Advanced(bytes); }

 private:
  CopyObserver& inner_;
  test::JobLatch latch_;
  int blocks_ = 0;
};

TEST(WorkerThreadTest, PauseStopsACopyBetweenBlocks) {
  test::TempDir dir;
  const std::string source = dir.File("source");
  const std::string target = dir.File("target");
  std::string content;
  const std::string block = test::RandomBytes(1024 * 1024, 3);
  for (int i = 0; i < 32; ++i) {
    content += block;
  }
  test::WriteFile(source, content);
  auto recorder = std::make_shared<Recorder>();
  test::JobLatch latch;
  test::ReleaseOnExit release(latch);
  auto worker = StartScripted(recorder, [&, latch](ScriptedWorker& self) {
    File in(source, OpenMode::Read, Share::Exclusive);
    File out(target, OpenMode::Create, Share::Exclusive);
    self.SetProgressTotal(in.Size());
    self.Log("copying");
    HoldBeforeSecondBlock observer(self.Observer(), latch);
    CopyBytes(in, out, in.Size(), &observer);
    out.Close();
    self.FinishProgress();
    self.Log("copied");
  });
  ASSERT_TRUE(latch.WaitArrived());
  worker->Pause();
  latch.Release();
  // The copy stands at the gate before its second block: exactly the first block is out.
  EXPECT_TRUE(worker->WaitHeld(std::chrono::seconds(10)));
  const auto at_pause = std::filesystem::file_size(target);
  EXPECT_GT(at_pause, 0u);
  EXPECT_LE(at_pause, kKernelCopyStep);
  EXPECT_FALSE(recorder->Has("copied"));
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(30)));
  EXPECT_TRUE(recorder->Has("copied"));
  EXPECT_TRUE(test::ReadFile(target) == content);
  const auto progress = recorder->ProgressCalls();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), std::make_pair(int64_t{0}, int64_t(content.size())));
  EXPECT_EQ(progress.back(), std::make_pair(int64_t(content.size()), int64_t(content.size())));
}

TEST(WorkerThreadTest, ProgressIsThrottled) {
  auto recorder = std::make_shared<Recorder>();
  auto worker = StartScripted(recorder, [](ScriptedWorker& self) {
    self.SetProgressTotal(100000);
    for (int i = 0; i < 100000; ++i) {
      self.Advance(1);
    }
    self.FinishProgress();
  });
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(10)));
  const auto progress = recorder->ProgressCalls();
  // Start and end, and at most a handful between however fast the loop ran.
  ASSERT_GE(progress.size(), 2u);
  EXPECT_LE(progress.size(), 8u);
  EXPECT_EQ(progress.front(), std::make_pair(int64_t{0}, int64_t{100000}));
  EXPECT_EQ(progress.back(), std::make_pair(int64_t{100000}, int64_t{100000}));
}

TEST(WorkerThreadTest, WorkersRunSideBySideAndPauseIndependently) {
  auto first_log = std::make_shared<Recorder>();
  auto second_log = std::make_shared<Recorder>();
  std::atomic<bool> release{false};
  std::mutex mutex;
  std::condition_variable cv;
  auto body = [&](ScriptedWorker& self) {
    self.Log("a");
    {
      std::unique_lock<std::mutex> lock(mutex);
      cv.wait(lock, [&] { return release.load(); });
    }
    self.Log("b");
  };
  auto first = StartScripted(first_log, body);
  auto second = StartScripted(second_log, body);
  ASSERT_TRUE(first_log->WaitFor("a"));
  ASSERT_TRUE(second_log->WaitFor("a"));
  EXPECT_GE(WorkerThread::Running(), 2);
  first->Pause();
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  cv.notify_all();
  ASSERT_TRUE(second->WaitFinished(std::chrono::seconds(10)));
  EXPECT_TRUE(second_log->Has("b"));
  EXPECT_TRUE(first->WaitHeld(std::chrono::seconds(10)));
  EXPECT_FALSE(first_log->Has("b"));
  first->Continue();
  ASSERT_TRUE(first->WaitFinished(std::chrono::seconds(10)));
  EXPECT_TRUE(first_log->Has("b"));
}

TEST(PauseGateTest, PassWaitsForContinue) {
  PauseGate gate;
  gate.Pause();
  std::atomic<bool> passed{false};
  std::thread waiter([&] {
    auto hold = gate.Pass();
    passed = true;
  });
  // Once the waiter stands at the gate, nothing but Continue lets it pass.
  EXPECT_TRUE(gate.WaitHeld(std::chrono::seconds(10)));
  EXPECT_FALSE(passed.load());
  gate.Continue();
  waiter.join();
  EXPECT_TRUE(passed.load());
  EXPECT_FALSE(gate.IsPaused());
}

TEST(PauseGateTest, PauseWaitsForAStepInProgress) {
  PauseGate gate;
  std::atomic<bool> step_done{false};
  std::atomic<bool> pause_returned{false};
  auto hold = gate.Pass();
  std::thread pauser([&] {
    gate.Pause();
    pause_returned = true;
    // Pause may only return once the step that holds the gate has finished.
    EXPECT_TRUE(step_done.load());
  });
  // Wait until the pauser has asked, then end the step: its Pause has not returned meanwhile.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (gate.PausesWaiting() == 0 && !pause_returned.load() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_EQ(gate.PausesWaiting(), 1);
  EXPECT_FALSE(pause_returned.load());
  step_done = true;
  hold.unlock();
  pauser.join();
  EXPECT_TRUE(pause_returned.load());
  EXPECT_TRUE(gate.IsPaused());
  EXPECT_EQ(gate.PausesWaiting(), 0);
}

}  // namespace
}  // namespace qarvo
