// Timings of the hex control over files of any size, run by bench/hexview/run.sh.
//   hexview_bench open FILE          seconds from LoadFromFile to the first painted rows
//   hexview_bench memory FILE|-      peak resident KiB after opening FILE, scrolling to its end
//                                    and painting there (- : an empty control, painted)
//   hexview_bench repaint FILE [N]   seconds of one full repaint at the start and at the end
//   hexview_bench type FILE          one byte typed at the start in insert mode, and its undo
//   hexview_bench find FILE PATTERN  wall seconds, CPU seconds and match of a search for PATTERN
//                                    over the whole file, as it is and with case ignored
//   hexview_bench png FILE OUT.png   a picture of the control showing FILE
#include <sys/resource.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <string>

#include "hex/model/hex_error.h"
#include "hex/widget/mphexeditor.h"

using qarvo::hex::TMPHexEditorEx;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The hex view window's control: 634 x 273 pixels, ruler, decimal offsets.
void SetUp(TMPHexEditorEx& editor) {
  QFont font("Courier New");
  font.setPixelSize(13);
  editor.setFont(font);
  editor.ChangeSettings([](qarvo::hex::HexEditorSettings& s) {
    s.show_ruler = true;
    s.show_position_if_not_focused = true;
    s.offset_format = "a:|";
    s.ruler_number_base = 10;
  });
  editor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editor.resize(634, 273);
  editor.show();
}

void Paint(TMPHexEditorEx& editor) {
  QImage image(editor.viewport()->size(), QImage::Format_RGB32);
  editor.viewport()->render(&image);
}

// The mean time of `count` full repaints of the view as it stands.
double RepaintTime(TMPHexEditorEx& editor, int count) {
  Paint(editor);  // warm the glyph cache
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    Paint(editor);
  }
  return Seconds(start) / count;
}

// User and system time of this process: on a shared machine the wall time also counts the
// waits for a core.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::atol(line.c_str() + 6);
    }
  }
  return -1;
}

int Type(TMPHexEditorEx& editor) {
  qarvo::hex::HexEditorModel& model = editor.Model();
  const int64_t size = model.DataSize();
  const uint8_t first = model.ByteAt(0);
  model.SetInsertMode(true);
  double insert = 1e9;
  double undo = 1e9;
  for (int round = 0; round < 5; ++round) {
    model.MoveCaret({0, false, 0});
    auto start = std::chrono::steady_clock::now();
    model.KeyPress(u'7');
    insert = std::min(insert, Seconds(start));
    if (model.DataSize() != size + 1 || model.ByteAt(0) != 0x70) {
      std::fprintf(stderr, "the insert went wrong\n");
      return 1;
    }
    start = std::chrono::steady_clock::now();
    model.Undo();
    undo = std::min(undo, Seconds(start));
    if (model.DataSize() != size || model.ByteAt(0) != first) {
      std::fprintf(stderr, "the undo went wrong\n");
      return 1;
    }
  }
  std::printf("%.9f %.9f\n", insert, undo);
  return 0;
}

int Find(TMPHexEditorEx& editor, const std::string& text) {
  const int64_t last = editor.DataSize() - 1;
  for (const bool ignore_case : {false, true}) {
    const std::string pattern = editor.PrepareSearchData(text, ignore_case, true);
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int64_t found = editor.Find(pattern, 0, last, ignore_case);
    std::printf("%.6f %.6f %lld\n", Seconds(start), CpuSeconds() - cpu,
                static_cast<long long>(found));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s open|memory|repaint|type|find|png FILE ...\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  TMPHexEditorEx editor;
  const std::string mode = argv[1];
  const QString file = QString::fromLocal8Bit(argv[2]);
  try {
    SetUp(editor);
    if (mode == "open") {
      Paint(editor);  // the empty control once: fonts and glyphs are not the file's cost
      const auto start = std::chrono::steady_clock::now();
      editor.LoadFromFile(file);
      Paint(editor);
      std::printf("%.6f\n", Seconds(start));
      return 0;
    }
    if (mode == "memory") {
      if (file != "-") {
        editor.LoadFromFile(file);
        editor.SetTopRow(INT64_MAX);
        editor.SetCaretPosition(editor.DataSize() - 1);
      }
      Paint(editor);
      app.processEvents();
      std::printf("%ld\n", PeakKiB());
      return 0;
    }
    editor.LoadFromFile(file);
    if (mode == "repaint") {
      const int count = argc > 3 ? std::atoi(argv[3]) : 200;
      double start_best = 1e9;
      double end_best = 1e9;
      for (int round = 0; round < 5; ++round) {
        editor.SetTopRow(0);
        start_best = std::min(start_best, RepaintTime(editor, count));
        editor.SetTopRow(INT64_MAX);
        end_best = std::min(end_best, RepaintTime(editor, count));
      }
      std::printf("%.9f %.9f\n", start_best, end_best);
      return 0;
    }
    if (mode == "type") {
      return Type(editor);
    }
    if (mode == "find" && argc > 3) {
      return Find(editor, argv[3]);
    }
    if (mode == "png" && argc > 3) {
      editor.SetCaretPosition(std::min<int64_t>(editor.DataSize() - 1, 0x25));
      editor.SetSelectionEnd(std::min<int64_t>(editor.DataSize() - 1, 0x3A));
      const uint8_t changed[3] = {0x51, 0x61, 0x72};
      if (editor.DataSize() > 0x62) {
        editor.Model().WriteBytes(0x60, changed, 3);
      }
      editor.Model().Bookmarks()[1] = {0x40, false};
      editor.Model().Bookmarks()[2] = {0x50, true};
      app.processEvents();
      return editor.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
    }
  } catch (const qarvo::hex::EMPHexEditor& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
