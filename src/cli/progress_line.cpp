#include "cli/progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace qarvo::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

std::string SizeText(double bytes) {
  const char* units[] = {"B", "KB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1024.0 && unit < 4) {
    bytes /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

void WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t put = ::write(fd, text.data() + written, text.size() - written);
    if (put <= 0) {
      return;  // A progress line is not worth failing a job for.
    }
    written += static_cast<size_t>(put);
  }
}

}  // namespace

ProgressLine::ProgressLine(int fd, bool enabled)
    : fd_(fd), enabled_(enabled && ::isatty(fd) == 1) {}

ProgressLine::~ProgressLine() {
  Clear();
}

std::string ProgressLine::Text(int64_t done, int64_t total, double seconds) {
  const double percent =
      total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 0.0;
  const double speed = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  std::string left = "--:--";
  if (speed > 0 && total >= done) {
    const auto remaining = static_cast<int64_t>(static_cast<double>(total - done) / speed + 0.5);
    char text[32];
    if (remaining >= 3600) {
      std::snprintf(
          text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(remaining / 3600),
          static_cast<long long>(remaining / 60 % 60), static_cast<long long>(remaining % 60));
    } else {
      std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(remaining / 60),
                    static_cast<long long>(remaining % 60));
    }
    left = text;
  }
  char head[16];
  std::snprintf(head, sizeof head, "%5.1f%%", percent);
  return std::string(head) + "  " + SizeText(static_cast<double>(done)) + " / " +
         SizeText(static_cast<double>(total)) + "  " + SizeText(speed) + "/s  剩余 " + left;
}

void ProgressLine::Progress(int64_t done, int64_t total) {
  if (!enabled_) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (done == 0) {
    // A job (or its second pass) starts: speed and time left count from here.
    start_ = now;
  }
  // The end is not drawn: the line is wiped then, and a last frame would only flicker.
  if (total <= 0 || done >= total || (shown_ && now - last_draw_ < kRedrawInterval)) {
    return;
  }
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  Draw(Text(done, total, seconds));
}

void ProgressLine::Draw(const std::string& text) {
  // Carriage return, the text, and erase to the end of the line: one line, redrawn in place.
  WriteAll(fd_, "\r" + text + "\033[K");
  shown_ = true;
}

void ProgressLine::Clear() {
  if (!enabled_) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (shown_) {
    WriteAll(fd_, "\r\033[K");
    shown_ = false;
  }
}

std::shared_ptr<ProgressLine> StderrProgress(const ParsedArgs& parsed) {
  return std::make_shared<ProgressLine>(STDERR_FILENO, parsed.flags.count("--quiet") == 0);
}

}  // namespace qarvo::cli
