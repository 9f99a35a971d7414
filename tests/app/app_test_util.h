#pragma once

// Helpers shared by the window tests: answering modal windows from a timer, files in a
// temporary folder, and the main window as the program builds it.

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <utility>

namespace qarvo::test {

// Polls QApplication::activeModalWidget() and hands each new modal window to the first waiting
// step whose type matches. Message boxes without a waiting step are answered with OK and their
// texts recorded, so a test never hangs on an unexpected box.
class ModalAnswerer : public QObject {
 public:
  using Step = std::function<void(QWidget*)>;

  ModalAnswerer() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
  }

  // Runs `step` on the next modal window that is not a message box.
  void OnNextDialog(Step step) { dialog_steps_.push_back(std::move(step)); }

  // Texts of the message boxes answered so far.
  const QStringList& BoxTexts() const { return box_texts_; }
  const QStringList& BoxTitles() const { return box_titles_; }
  void ClearBoxes() {
    box_texts_.clear();
    box_titles_.clear();
  }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || busy_.contains(modal)) {
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      box_texts_.push_back(box->text());
      box_titles_.push_back(box->windowTitle());
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
      } else {
        box->reject();
      }
      return;
    }
    if (dialog_steps_.empty()) {
      return;
    }
    Step step = std::move(dialog_steps_.front());
    dialog_steps_.pop_front();
    // The step may open further modal windows; polling goes on inside their loops, but not
    // on this window until the step returns.
    busy_.push_back(modal);
    step(modal);
    busy_.removeOne(modal);
  }

  QTimer timer_;
  QList<QWidget*> busy_;
  std::deque<Step> dialog_steps_;
  QStringList box_texts_;
  QStringList box_titles_;
};

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    qFatal("cannot write %s", qPrintable(path));
  }
}

inline QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return file.readAll();
}

// Bytes that deflate cannot shrink, the same for every seed.
inline QByteArray NoiseBytes(qsizetype size, quint32 seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  quint64 state = seed * 2654435761u + 1;
  for (qsizetype i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Pauses a panel's job the moment the panel's stop button comes on. The worker is then still
// waiting for the window to take its busy call, so the pause lands before the job's next step
// however fast the job would run; the test's click on the button then finds it paused.
class PauseWhenStopEnabled : public QObject {
 public:
  PauseWhenStopEnabled(QAbstractButton* stop, std::function<void()> pause)
      : stop_(stop), pause_(std::move(pause)) {
    stop_->installEventFilter(this);
  }
  ~PauseWhenStopEnabled() override { stop_->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == stop_ && event->type() == QEvent::EnabledChange && stop_->isEnabled() &&
        !paused_) {
      paused_ = true;
      pause_();
    }
    return false;
  }

 private:
  QAbstractButton* stop_;
  std::function<void()> pause_;
  bool paused_ = false;
};

}  // namespace qarvo::test
