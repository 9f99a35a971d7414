#include "app/window_shaker.h"

#include <QSoundEffect>
#include <QUrl>

#include <array>
#include <utility>

namespace qarvo::ui {

namespace {

// Offsets from the starting point after each step of one round: up, left, down, right.
constexpr std::array<QPoint, 4> kRound = {QPoint(0, -WindowShaker::kPixels),
                                          QPoint(-WindowShaker::kPixels, -WindowShaker::kPixels),
                                          QPoint(-WindowShaker::kPixels, 0), QPoint(0, 0)};
constexpr int kSteps = WindowShaker::kRounds * static_cast<int>(kRound.size());

}  // namespace

WindowShaker::WindowShaker(QWidget* window) : QObject(window), window_(window) {
  timer_.setInterval(kStepMs);
  connect(&timer_, &QTimer::timeout, this, &WindowShaker::Step);
}

WindowShaker::~WindowShaker() {
  Stop();
}

void WindowShaker::Shake(std::function<void()> finished) {
  if (timer_.isActive()) {
    waiting_.push_back(std::move(finished));
    return;
  }
  current_.push_back(std::move(finished));
  Begin();
}

void WindowShaker::Begin() {
  PlaySound();
  origin_ = window_->pos();
  step_ = 0;
  window_->move(origin_ + kRound[0]);
  timer_.start();
}

void WindowShaker::Step() {
  ++step_;
  if (step_ < kSteps) {
    window_->move(origin_ + kRound[static_cast<size_t>(step_) % kRound.size()]);
    return;
  }
  timer_.stop();
  auto finished = std::exchange(current_, {});
  for (auto& f : finished) {
    f();
  }
  if (!waiting_.empty()) {
    current_ = std::exchange(waiting_, {});
    Begin();
  }
}

void WindowShaker::Stop() {
  if (timer_.isActive()) {
    timer_.stop();
    window_->move(origin_);
  }
  auto finished = std::exchange(current_, {});
  auto waiting = std::exchange(waiting_, {});
  for (auto& f : finished) {
    f();
  }
  for (auto& f : waiting) {
    f();
  }
}

void WindowShaker::PlaySound() {
  // Without a sound device the effect stays silent; the shake goes on all the same.
  if (sound_ == nullptr) {
    sound_ = new QSoundEffect(this);
    sound_->setSource(QUrl(QStringLiteral("qrc:/qarvo/shake.wav")));
    sound_->setVolume(0.5f);
  }
  sound_->play();
}

}  // namespace qarvo::ui
