// The control over a sparse file of 64 GiB: both ends reached by keys, wheel and scroll bar,
// painted, searched, edited and undone, the file left as it was; copies too large for the
// clipboard refused with a box.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>
#include <climits>

#include "app/app_test_util.h"
#include "hex/widget/mphexeditor.h"
#include "hex/window/hex.h"
#include "hex/window/hex_window_test_util.h"

using qarvo::hex::HexEditorSettings;
using qarvo::hex::TMPHexEditorEx;

namespace {

constexpr qint64 kSize = qint64{64} << 30;

struct HugeView {
  QTemporaryDir dir;
  QString path = dir.filePath("huge.bin");
  TMPHexEditorEx widget;

  HugeView() {
    const int fd = ::open(path.toUtf8().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      if (::ftruncate(fd, kSize) != 0 || ::pwrite(fd, "far away", 8, kSize - 40) != 8 ||
          ::pwrite(fd, "\x7E", 1, kSize - 1) != 1) {
        qWarning("cannot write the sparse file");
      }
      ::close(fd);
    }
    widget.resize(634, 273);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) {
      qWarning("the view was not shown");
    }
    widget.LoadFromFile(path);
    QCoreApplication::processEvents();
  }
  qint64 LastTop() const {
    return 2 + (kSize / widget.Settings().bytes_per_row) - widget.VisibleRows();
  }
  QByteArray FileBytes(qint64 position, int count) const {
    QByteArray out(count, '\0');
    const int fd = ::open(path.toUtf8().constData(), O_RDONLY);
    if (fd < 0 || ::pread(fd, out.data(), static_cast<size_t>(count), position) != count) {
      out.clear();
    }
    ::close(fd);
    return out;
  }
};

}  // namespace

class HugeFileTest : public QObject {
  Q_OBJECT

 private slots:
  void BothEndsByKeysAndBar() {
    HugeView v;
    TMPHexEditorEx& w = v.widget;
    QCOMPARE(w.DataSize(), kSize);
    QScrollBar* bar = w.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QVERIFY(bar->maximum() <= INT_MAX);

    QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(w.CaretPosition(), kSize - 1);
    QCOMPARE(w.TopRow(), v.LastTop());
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(w.Geometry().CellOfPosition(kSize - 1, false).row, w.TopRow() + w.VisibleRows() - 1);

    // The offset column shows the last row's offset in full, wider than 8 hex digits.
    const QString last = w.OffsetText(kSize - 16);
    QVERIFY2(last.contains(QStringLiteral("FFFFFFFF0")), qPrintable(last));

    // Row by row up and down from the end: every row is reached, not only the bar's steps.
    QTest::keyClick(&w, Qt::Key_PageUp);
    const qint64 up = w.TopRow();
    QVERIFY(up < v.LastTop());
    QTest::keyClick(&w, Qt::Key_Up);
    QTest::keyClick(&w, Qt::Key_PageDown);
    QTest::keyClick(&w, Qt::Key_PageDown);
    QCOMPARE(w.TopRow(), v.LastTop());

    QTest::keyClick(&w, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(w.CaretPosition(), 0);
    QCOMPARE(w.TopRow(), 2);
    QCOMPARE(bar->value(), 0);

    // The wheel moves by pages of rows, not by bar steps.
    QWheelEvent wheel(QPointF(100, 100), w.mapToGlobal(QPointF(100, 100)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.viewport(), &wheel);
    QCOMPARE(w.TopRow(), 2 + w.VisibleRows() - 1);

    // The thumb: its ends are the file's ends, its middle the file's middle.
    bar->setValue(bar->maximum());
    QCOMPARE(w.TopRow(), v.LastTop());
    bar->setValue(bar->maximum() / 2);
    const double middle = static_cast<double>(w.TopRow() - 2) / static_cast<double>(v.LastTop());
    QVERIFY2(middle > 0.49 && middle < 0.51, qPrintable(QString::number(middle)));
    bar->setValue(0);
    QCOMPARE(w.TopRow(), 2);
  }

  void PaintsFindsEditsAndLeavesTheFile() {
    HugeView v;
    TMPHexEditorEx& w = v.widget;
    QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
    const QImage end = w.viewport()->grab().toImage();
    QVERIFY(!end.isNull());

    const std::string pattern = w.PrepareSearchData("FAR AWAY", true, true);
    QCOMPARE(w.Find(pattern, kSize - (1 << 20), kSize - 1, true), kSize - 40);
    QCOMPARE(w.FindBackward(pattern, kSize - 1, kSize - (1 << 20), true), kSize - 40);

    w.ChangeSettings([](HexEditorSettings& s) { s.insert_mode = true; });
    QTest::keyClick(&w, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClicks(&w, "7");
    QCOMPARE(w.DataSize(), kSize + 1);
    uint8_t first = 0;
    w.ReadContent(0, std::span(&first, 1));
    QCOMPARE(first, uint8_t{0x70});
    QVERIFY(w.CanUndo());
    w.Undo();
    QCOMPARE(w.DataSize(), kSize);
    w.ReadContent(0, std::span(&first, 1));
    QCOMPARE(first, uint8_t{0});
    QCOMPARE(v.FileBytes(0, 1), QByteArray(1, '\0'));
    QCOMPARE(v.FileBytes(kSize - 40, 8), QByteArray("far away"));
  }

  void CopyOfHugeSelectionIsRefused() {
    HugeView v;
    TMPHexEditorEx& w = v.widget;
    QApplication::clipboard()->setText(QStringLiteral("before"));
    w.SelectAll();
    qarvo::test::ModalAnswerer answers;
    w.CopyToClipboard();
    QCOMPARE(answers.BoxTexts().size(), 1);
    QVERIFY2(answers.BoxTexts().front().contains(QStringLiteral("太多")),
             qPrintable(answers.BoxTexts().front()));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    // A small selection still goes to the clipboard.
    w.SetCaretPosition(kSize - 40);
    w.SetSelectionEnd(kSize - 33);
    w.CopyToClipboard();
    QCOMPARE(answers.BoxTexts().size(), 1);
    QVERIFY(QApplication::clipboard()->mimeData()->text().contains(QStringLiteral("far away")));
  }

  // A file cut short under an open window: no crash, the rows past the new end show zeros,
  // and the status line says the file changed.
  void FileCutShortUnderTheWindow() {
    QTemporaryDir dir;
    const QString path = dir.filePath("shrinks.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(QByteArray(4 << 20, 'x')) == (4 << 20));
    file.close();
    qarvo::hex::Thexfm window(nullptr, [](int64_t bytes) { return QString::number(bytes); });
    window.show();
    window.OpenFile(path);
    TMPHexEditorEx& w = *ViewOf(&window);
    QCOMPARE(w.DataSize(), qint64{4} << 20);
    QVERIFY(Named<QLabel>(&window, "Label4")->text().isEmpty());
    QVERIFY(::truncate(path.toUtf8().constData(), 1000) == 0);
    QTest::keyClick(&w, Qt::Key_End, Qt::ControlModifier);
    w.viewport()->grab();  // paints the end, which the file no longer has
    QVERIFY2(Named<QLabel>(&window, "Label4")->text().contains(QStringLiteral("改动")),
             qPrintable(Named<QLabel>(&window, "Label4")->text()));
    uint8_t last = 1;
    w.ReadContent(w.DataSize() - 1, std::span(&last, 1));
    QCOMPARE(last, uint8_t{0});
    QCOMPARE(w.DataSize(), qint64{4} << 20);  // keeps what it showed
  }
};

QTEST_MAIN(HugeFileTest)
#include "huge_file_qtest.moc"
