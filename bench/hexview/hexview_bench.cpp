// Load and repaint timings of the hex control, run by bench/hexview/run.sh.
//   hexview_bench load FILE             seconds of one LoadFromFile
//   hexview_bench repaint FILE [N]      seconds of one full repaint at the start and at the end
//   hexview_bench png FILE OUT.png      a picture of the control showing FILE
//   hexview_bench insert MIB            typing one byte at the start of a buffer of MIB MiB in
//                                       insert mode, its undo, and memmove of the same size
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "hexview/hex_error.h"
#include "hexview/mphexeditor.h"

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
  editor.SetShowRuler(true);
  editor.SetShowPositionIfNotFocused(true);
  editor.SetOffsetFormat("a:|");
  editor.SetRulerNumberBase(10);
  editor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editor.resize(634, 273);
  editor.show();
}

// The mean time of `count` full repaints of the view as it stands.
double RepaintTime(TMPHexEditorEx& editor, int count) {
  QImage image(editor.viewport()->size(), QImage::Format_RGB32);
  editor.viewport()->render(&image);  // warm the glyph cache
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    editor.viewport()->render(&image);
  }
  return Seconds(start) / count;
}

// Best of a few rounds: the insert, the undo, and one memmove of the whole buffer.
int InsertBench(int64_t mib) {
  const int64_t size = mib << 20;
  std::string bytes(static_cast<size_t>(size), '\x5A');
  qarvo::hex::HexEditorModel model;
  qarvo::hex::MemorySource source(bytes);
  model.LoadFromStream(source);
  model.SetInsertMode(true);
  double insert = 1e9;
  double undo = 1e9;
  double move = 1e9;
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
    if (model.DataSize() != size || model.ByteAt(0) != 0x5A) {
      std::fprintf(stderr, "the undo went wrong\n");
      return 1;
    }
    start = std::chrono::steady_clock::now();
    std::memmove(bytes.data() + 1, bytes.data(), static_cast<size_t>(size - 1));
    move = std::min(move, Seconds(start));
  }
  std::printf("%.6f %.6f %.6f\n", insert, undo, move);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "insert") == 0) {
    return InsertBench(std::atoll(argv[2]));
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s load|repaint|png FILE [N|OUT.png]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  TMPHexEditorEx editor;
  const char* mode = argv[1];
  try {
    if (std::strcmp(mode, "load") == 0) {
      const auto start = std::chrono::steady_clock::now();
      editor.LoadFromFile(QString::fromLocal8Bit(argv[2]));
      std::printf("%.6f\n", Seconds(start));
      return 0;
    }
    SetUp(editor);
    editor.LoadFromFile(QString::fromLocal8Bit(argv[2]));
    if (std::strcmp(mode, "repaint") == 0) {
      const int count = argc > 3 ? std::atoi(argv[3]) : 200;
      double start_best = 1e9;
      double end_best = 1e9;
      QScrollBar* bar = editor.verticalScrollBar();
      for (int round = 0; round < 5; ++round) {
        bar->setValue(0);
        start_best = std::min(start_best, RepaintTime(editor, count));
        bar->setValue(bar->maximum());
        end_best = std::min(end_best, RepaintTime(editor, count));
      }
      std::printf("%.9f %.9f\n", start_best, end_best);
      return 0;
    }
    if (std::strcmp(mode, "png") == 0 && argc > 3) {
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
  std::fprintf(stderr, "unknown mode %s\n", mode);
  return 2;
}
