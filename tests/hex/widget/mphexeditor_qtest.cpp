#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "hex/model/hex_error.h"
#include "hex/widget/mphexeditor.h"

using qarvo::hex::HexEditorSettings;
using qarvo::hex::MemorySource;
using qarvo::hex::TMPHexEditorEx;

namespace {

// A control of the hex view window's size with a font drawn without antialiasing, so that
// text pixels carry exactly the colours they were drawn in.
struct Editor {
  TMPHexEditorEx widget;
  explicit Editor(const std::string& bytes) {
    QFont font("Liberation Mono");
    font.setPointSize(10);
    font.setStyleStrategy(QFont::NoAntialias);
    widget.setFont(font);
    widget.resize(634, 273);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    // Unfocused: no blinking caret or focus frames in the pictures.
    widget.clearFocus();
    load(bytes);
    QCoreApplication::processEvents();
  }
  void load(const std::string& bytes) {
    data = bytes;
    MemorySource source(data);
    widget.LoadFromStream(source);
  }
  QImage render() {
    return widget.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  QRect cell(int column, qint64 row) const { return widget.CellRect(column, row); }
  std::string data;
};

bool HasColor(const QImage& image, const QRect& rect, const QColor& color) {
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      if (image.pixelColor(x, y).rgb() == color.rgb()) {
        return true;
      }
    }
  }
  return false;
}

QColor Inverted(const QColor& c) {
  return QColor::fromRgb(c.rgb() ^ 0xFFFFFF);
}

}  // namespace

class HexEditorWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  // A CJK character is wider than a character cell; it is drawn in the largest smaller font
  // that fits, stepping in the unit the font is sized in, and never below the smallest size.
  void WideCharactersAreShrunkToFitTheirCell() {
    using qarvo::hex::FittingFont;
    const QString wide = QString::fromUtf8("\u4E2D");
    for (const bool by_pixels : {true, false}) {
      QFont font("Liberation Mono");
      if (by_pixels) {
        font.setPixelSize(13);
      } else {
        font.setPointSize(10);
      }
      const int cell = QFontMetrics(font).horizontalAdvance(QLatin1Char('W')) + 1;
      QVERIFY(QFontMetrics(font).horizontalAdvance(wide) > cell);
      QCOMPARE(FittingFont(font, QStringLiteral("A"), cell), font);

      const QFont fitted = FittingFont(font, wide, cell);
      QVERIFY(QFontMetrics(fitted).horizontalAdvance(wide) <= cell);
      QFont one_larger = fitted;
      if (by_pixels) {
        QVERIFY(fitted.pixelSize() >= 3 && fitted.pixelSize() < 13);
        one_larger.setPixelSize(fitted.pixelSize() + 1);
      } else {
        QVERIFY(fitted.pointSize() >= 2 && fitted.pointSize() < 10);
        one_larger.setPointSize(fitted.pointSize() + 1);
      }
      QVERIFY2(QFontMetrics(one_larger).horizontalAdvance(wide) > cell, "not the largest fit");
      QCOMPARE(fitted.family(), font.family());

      const QFont smallest = FittingFont(font, wide, 0);
      QCOMPARE(by_pixels ? smallest.pixelSize() : smallest.pointSize(), by_pixels ? 3 : 2);
    }

    // In the control: the character shows inside its two cells of the character field.
    Editor e(std::string("\x2D\x4E\x2D\x4E", 4));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.unicode_chars = true; });
    e.widget.viewport()->update();
    const QImage image = e.render();
    const QRect field = e.cell(35, 2).united(e.cell(36, 2));
    const QColor background = e.widget.Colors()->Background();
    bool drawn = false;
    for (int y = field.top(); y <= field.bottom() && !drawn; ++y) {
      for (int x = field.left(); x <= field.right() && !drawn; ++x) {
        drawn = image.pixelColor(x, y).rgb() != background.rgb();
      }
    }
    QVERIFY2(drawn, "no glyph in the character field");
  }

  void ModifiedByteShowsItsColours() {
    Editor e(std::string("ABCDEFGH", 8));
    const uint8_t x = 0x7A;
    e.widget.Model().WriteBytes(1, &x, 1);
    const QImage image = e.render();
    const auto* colors = e.widget.Colors();
    const int w = e.widget.CharWidth();
    // Byte 1: hex columns 4 and 5, character column 35 + 1.
    for (int column : {4, 5, 36}) {
      const QRect text = e.cell(column, 2);
      const QRect text_part(text.left(), text.top(), w, text.height());
      QVERIFY2(HasColor(image, text_part, colors->ChangedBackground()),
               qPrintable(QString::number(column)));
      QVERIFY(HasColor(image, text_part, colors->ChangedText()));
    }
    // Byte 0 is unchanged: its digits in the odd-column colour, no changed colours.
    const QRect unchanged = e.cell(2, 2);
    QVERIFY(!HasColor(image, unchanged, colors->ChangedBackground()));
    QVERIFY(HasColor(image, unchanged, colors->OddColumn()));
    // In insert mode modified bytes are not highlighted.
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.insert_mode = true; });
    QVERIFY(!HasColor(e.render(), e.cell(4, 2), colors->ChangedBackground()));
  }

  void SelectionIsInvertedUpToItsLastByte() {
    Editor e(std::string(32, 'a'));
    e.widget.SetCaretPosition(0);
    e.widget.SetSelectionEnd(3);
    const QImage image = e.render();
    const auto* colors = e.widget.Colors();
    const QColor background = colors->Background();
    const int w = e.widget.CharWidth();
    auto gap_pixel = [&](int column) {
      const QRect r = e.cell(column, 2);
      return image.pixelColor(r.left() + w + w / 2, r.center().y());
    };
    // Column 5 (second digit of byte 1, a group end of 2w) is inside the selection: the part
    // right of its digit is inverted so that the selection runs on; column 9 holds the
    // selection's last byte: no inverted tail.
    QCOMPARE(gap_pixel(5).rgb(), Inverted(background).rgb());
    QCOMPARE(gap_pixel(9).rgb(), background.rgb());
    QCOMPARE(gap_pixel(13).rgb(), background.rgb());
    // The digits of every selected byte stand on the inverted text background.
    const QRect last_digit = e.cell(9, 2);
    QVERIFY(HasColor(image, QRect(last_digit.left(), last_digit.top(), w, last_digit.height()),
                     Inverted(background)));
    QVERIFY(HasColor(image, last_digit, Inverted(colors->EvenColumn())));
    // Byte 4 is not selected.
    QVERIFY(!HasColor(image, e.cell(10, 2), Inverted(background)));

    // Hidden while unfocused with HideSelection.
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.hide_selection = true; });
    QVERIFY(!HasColor(e.render(), e.cell(2, 2), Inverted(background)));
    // Grey while unfocused with GraySelectionIfNotFocused.
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.hide_selection = false; });
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.gray_selection_if_not_focused = true; });
    const QImage grey = e.render();
    const QColor inv = Inverted(background);
    const int g = (74 * inv.red() + 146 * inv.green() + 36 * inv.blue()) / 256;
    QCOMPARE(grey.pixelColor(e.cell(5, 2).left() + w + w / 2, e.cell(5, 2).center().y()).rgb(),
             QColor(g, g, g).rgb());
  }

  void SwapNibblesShowsTheLowDigitFirst() {
    Editor e(std::string("\x4D\xD4", 2));
    QMap<int, QString> texts;
    connect(&e.widget, &TMPHexEditorEx::drawCell, this,
            [&](QPainter*, int column, qint64 row, QString* text, const QRect&, bool*) {
              if (row == 2) {
                texts[column] = *text;
              }
            });
    const QImage plain = e.render();
    QCOMPARE(texts.value(2), QString("4"));
    QCOMPARE(texts.value(3), QString("D"));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.swap_nibbles = true; });
    const QImage swapped = e.render();
    QCOMPARE(texts.value(2), QString("D"));
    QCOMPARE(texts.value(3), QString("4"));
    // The pixels agree: 0x4D swapped looks like 0xD4 unswapped (same column group colours).
    const QRect first = e.cell(2, 2);
    const QRect second = e.cell(3, 2);
    const QRect d_plain = e.cell(4, 2);
    const QRect four_plain = e.cell(5, 2);
    const int w = e.widget.CharWidth();
    auto part = [w](const QImage& image, const QRect& r) {
      return image.copy(QRect(r.left(), r.top(), w, r.height()));
    };
    QCOMPARE(part(swapped, first), part(plain, d_plain));
    QCOMPARE(part(swapped, second), part(plain, four_plain));
  }

  void OffsetColumnInBothFormats() {
    Editor e(std::string(40, 'z'));
    auto expected = [&](const QString& text) {
      // The offset cell as it should look: right-aligned, 4 pixels from the right edge.
      const QRect r = e.cell(0, 3);
      QImage image(r.size(), QImage::Format_RGB32);
      image.fill(e.widget.Colors()->OffsetBackground());
      QPainter p(&image);
      p.setFont(e.widget.font());
      p.setPen(e.widget.Colors()->Offset());
      p.drawText(QRect(0, 0, r.width() - 4, r.height()), Qt::AlignRight | Qt::AlignVCenter, text);
      return image;
    };
    auto actual = [&] {
      const QRect r = e.cell(0, 3);
      // Leave out the 3D edge on the column's right.
      return e.render().copy(r).copy(0, 0, r.width() - 2, r.height());
    };
    QCOMPARE(actual(),
             expected("0x10").copy(0, 0, e.cell(0, 3).width() - 2, e.cell(0, 3).height()));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.offset_format = "a:|"; });
    QCOMPARE(actual(), expected("16").copy(0, 0, e.cell(0, 3).width() - 2, e.cell(0, 3).height()));
    // The column is as wide as the widest offset plus one character, plus 21 pixels.
    QCOMPARE(e.cell(0, 3).width(), 3 * e.widget.CharWidth() + 21);
  }

  void OnlyTheRowsAskedForArePainted() {
    Editor e(std::string(16 * 40, 'q'));
    QSet<qint64> rows;
    connect(&e.widget, &TMPHexEditorEx::drawCell, this,
            [&](QPainter*, int, qint64 row, QString*, const QRect&, bool*) { rows.insert(row); });
    e.render();
    QVERIFY(rows.size() > 5);
    QCoreApplication::processEvents();
    rows.clear();
    const QRect row5 = e.cell(2, 5);
    e.widget.viewport()->repaint(QRect(0, row5.top() + 1, 100, 2));
    QCOMPARE(rows, QSet<qint64>{5});
  }

  void FontColourAloneRepaints() {
    Editor e(std::string(64, 'k'));
    int cells = 0;
    connect(&e.widget, &TMPHexEditorEx::drawCell, this,
            [&](QPainter*, int, qint64, QString*, const QRect&, bool*) { ++cells; });
    QCoreApplication::processEvents();
    cells = 0;
    const QFont font = e.widget.font();
    e.widget.FontProps()->SetColor(QColor(200, 0, 0));
    QCoreApplication::processEvents();
    QVERIFY(cells > 0);
    // The font set on the widget is the published one, and a colour leaves it as it is.
    QCOMPARE(e.widget.font(), font);
    QCOMPARE(e.widget.FontProps()->Name(), font.family());
    QCOMPARE(e.widget.FontProps()->Size(), 10);
  }

  void ScrollBarCoversTheWholeBufferAndFixedPartsStay() {
    Editor e(std::string(16 * 1000, 'r'));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.show_ruler = true; });
    QScrollBar* bar = e.widget.verticalScrollBar();
    QCOMPARE(bar->maximum(), 1000 - e.widget.VisibleRows());
    bar->setValue(bar->maximum());
    QCOMPARE(e.widget.TopRow(), 2 + bar->maximum());
    QSet<qint64> rows;
    connect(&e.widget, &TMPHexEditorEx::drawCell, this,
            [&](QPainter*, int, qint64 row, QString*, const QRect&, bool*) { rows.insert(row); });
    e.render();
    QVERIFY(rows.contains(1001));
    QVERIFY(!rows.contains(2));
    // The ruler stays on top and the offset column on the left.
    QCOMPARE(e.cell(0, 0).top(), 0);
    QCOMPARE(e.cell(2, 1001).top(), e.widget.Geometry().FixedHeight() +
                                        (e.widget.VisibleRows() - 1) * e.widget.RowHeightPx());
  }

  void EmptyBufferShowsOffsetZeroOnly() {
    Editor e("");
    QCOMPARE(e.widget.Geometry().RowCount(), qint64(3));
    int data_cells = 0;
    connect(&e.widget, &TMPHexEditorEx::drawCell, this,
            [&](QPainter*, int, qint64, QString* text, const QRect&, bool*) {
              data_cells += text->isEmpty() ? 0 : 1;
            });
    e.render();
    QCOMPARE(data_cells, 0);
    QCOMPARE(e.widget.OffsetText(0), QString("0x0"));
  }

  void SelectionNoticesAreCoalesced() {
    Editor e(std::string(64, 's'));
    int notices = 0;
    connect(&e.widget, &TMPHexEditorEx::selectionChanged, this, [&] { ++notices; });
    e.widget.SetCaretPosition(3);
    e.widget.SetSelectionEnd(9);
    e.widget.SetCaretPosition(5);
    QCOMPARE(notices, 0);
    QTRY_COMPARE(notices, 1);
    QCoreApplication::processEvents();
    QCOMPARE(notices, 1);
  }

  void ProgressSignalCanCancel() {
    Editor e("");
    QList<int> percents;
    bool busy = true;
    connect(&e.widget, &TMPHexEditorEx::progress, this,
            [&](int, const QString&, int percent, bool* cancel) {
              percents << percent;
              const QCursor* cursor = QApplication::overrideCursor();
              busy = busy && cursor != nullptr && cursor->shape() == Qt::WaitCursor;
              *cancel = percents.size() == 2;
            });
    const std::string big(61440 * 4, 'b');
    MemorySource source(big);
    QVERIFY_THROWS_EXCEPTION(qarvo::hex::EMPHexEditor, e.widget.LoadFromStream(source));
    QCOMPARE(percents, (QList<int>{0, 25}));
    QCOMPARE(e.widget.DataSize(), qint64(0));
    // The busy cursor shows while loading and goes with the cancelled load.
    QVERIFY(busy);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void CaretInvertsWhatItCoversInItsShape() {
    QApplication::setCursorFlashTime(0);  // a steady caret: no blinking between the pictures
    Editor e(std::string(32, '\xF0'));
    e.widget.SetCaretPosition(5);
    const QImage unfocused = e.render();
    e.widget.activateWindow();
    e.widget.setFocus();
    QTRY_VERIFY(e.widget.hasFocus());
    const QRect cell = e.cell(12, 2);  // the first digit of byte 5
    const int w = e.widget.CharWidth();
    const int height = e.widget.RowHeightPx() - 2;
    auto inverted_at = [&](const QImage& image, int dx, int dy) {
      const QPoint p(cell.left() + dx, cell.top() + 1 + dy);
      return image.pixel(p) == (unfocused.pixel(p) ^ 0xFFFFFF);
    };
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.caret_kind = qarvo::hex::ckFull; });
    QImage image = e.render();
    QVERIFY(inverted_at(image, 0, 0));
    QVERIFY(inverted_at(image, w - 1, height - 1));
    QVERIFY(!inverted_at(image, w, 0));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.caret_kind = qarvo::hex::ckBottom; });
    image = e.render();
    QVERIFY(inverted_at(image, 1, height - 1));
    QVERIFY(!inverted_at(image, 1, height - 3));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.caret_kind = qarvo::hex::ckLeft; });
    image = e.render();
    QVERIFY(inverted_at(image, 1, 3));
    QVERIFY(!inverted_at(image, 2, 3));
    // The twin in the character field gets its dotted frame while focused.
    const QRect twin = e.cell(35 + 5, 2);
    QVERIFY(image.copy(twin) != unfocused.copy(twin));
  }

  void RowWidthFollowsTheViewAndScrollingIsReported() {
    Editor e(std::string(16 * 64, 'v'));
    QSignalSpy top_left(&e.widget, &TMPHexEditorEx::topLeftChanged);
    e.widget.verticalScrollBar()->setValue(3);
    QCOMPARE(top_left.count(), 1);
    QCOMPARE(e.widget.TopRow(), qint64(5));

    e.widget.ChangeSettings([](HexEditorSettings& s) { s.auto_bytes_per_row = true; });
    const int wide = e.widget.Settings().bytes_per_row;
    QVERIFY(wide >= 2 && wide % 2 == 0);
    QVERIFY(e.widget.Geometry().TotalWidth() <= e.widget.viewport()->width());
    e.widget.resize(320, 273);
    QTRY_VERIFY(e.widget.Settings().bytes_per_row < wide);

    // Insert mode adds the row behind a last full row.
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.auto_bytes_per_row = false; });
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.bytes_per_row = 16; });
    const qint64 rows = e.widget.Geometry().RowCount();
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.insert_mode = true; });
    QCOMPARE(e.widget.Geometry().RowCount(), rows + 1);
  }

  void BookmarkBitmapMustBeTwentyPictures() {
    TMPHexEditorEx widget;
    QCOMPARE(widget.BookmarkBitmap().size(), QSize(200, 10));
    QVERIFY_THROWS_EXCEPTION(qarvo::hex::EMPHexEditor,
                             widget.SetBookmarkBitmap(QImage(100, 10, QImage::Format_RGB32)));
    QImage mine(200, 10, QImage::Format_RGB32);
    mine.fill(Qt::red);
    widget.SetBookmarkBitmap(mine);
    QCOMPARE(widget.BookmarkBitmap().pixelColor(5, 5), QColor(Qt::red));
    widget.SetBookmarkBitmap(QImage());
    QVERIFY(widget.BookmarkBitmap().pixelColor(5, 5) != QColor(Qt::red));
  }
};

QTEST_MAIN(HexEditorWidgetTest)
#include "mphexeditor_qtest.moc"
