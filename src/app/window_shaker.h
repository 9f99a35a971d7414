#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QSoundEffect;

namespace qarvo::ui {

// Shakes a window: the sound "Shake" starts, then five rounds of 3 pixels up, left, down and
// right with 40 ms after each step, about 800 ms in all. Driven by a timer, so the window keeps
// repainting and handling input meanwhile. Requests during a shake are served by a second one.
class WindowShaker : public QObject {
  Q_OBJECT

 public:
  explicit WindowShaker(QWidget* window);
  ~WindowShaker() override;

  // `finished` runs when the window is back where it started (or on Stop).
  void Shake(std::function<void()> finished);
  bool IsShaking() const { return timer_.isActive(); }
  // Ends a running shake at its starting point and runs every pending `finished`.
  void Stop();

  static constexpr int kStepMs = 40;
  static constexpr int kRounds = 5;
  static constexpr int kPixels = 3;

 private:
  void Begin();
  void Step();
  void PlaySound();

  QWidget* window_;
  QTimer timer_;
  QPoint origin_;
  int step_ = 0;
  std::vector<std::function<void()>> current_;
  std::vector<std::function<void()>> waiting_;
  QPointer<QSoundEffect> sound_;
};

}  // namespace qarvo::ui
