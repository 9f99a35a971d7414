#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include "app/app_test_util.h"
#include "hex/widget/mphexeditor.h"

using qarvo::hex::HexEditorSettings;
using qarvo::hex::MemorySource;
using qarvo::hex::TMPHexEditorEx;

namespace {

struct Editor {
  TMPHexEditorEx widget;
  std::string data;
  explicit Editor(const std::string& bytes) : data(bytes) {
    QFont font("Liberation Mono");
    font.setPointSize(10);
    widget.setFont(font);
    widget.resize(634, 273);
    widget.show();
    widget.activateWindow();
    widget.setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&widget));
    MemorySource source(data);
    widget.LoadFromStream(source);
  }
  QWidget* port() { return widget.viewport(); }
  // A point inside the left half of a cell.
  QPoint at(int column, qint64 row) {
    const QRect r = widget.CellRect(column, row);
    return QPoint(r.left() + 2, r.center().y());
  }
  void wheel(int delta, Qt::KeyboardModifiers modifiers) {
    const QPointF point = at(10, 3);
    QWheelEvent event(point, port()->mapToGlobal(point), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(port(), &event);
  }
  uint8_t byte(qint64 p) const { return widget.Model().ByteAt(p); }
};

}  // namespace

class EditingWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void TypingUndoAndRedoByKeys() {
    Editor e(std::string(40, '\0'));
    QTest::keyClicks(e.port(), "41");
    QCOMPARE(e.byte(0), uint8_t(0x41));
    QCOMPARE(e.widget.CaretPosition(), qint64(1));
    QTest::keyClick(e.port(), Qt::Key_Tab);
    QVERIFY(e.widget.Model().Caret().in_char_field);
    QTest::keyClicks(e.port(), "Z");
    QCOMPARE(e.byte(1), uint8_t('Z'));
    QTest::keyClick(e.port(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(e.byte(1), uint8_t(0));
    QTest::keyClick(e.port(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(e.byte(1), uint8_t('Z'));
    QSignalSpy invalid(&e.widget, &TMPHexEditorEx::invalidKey);
    QTest::keyClick(e.port(), Qt::Key_Tab);
    QTest::keyClicks(e.port(), "g");
    QCOMPARE(invalid.count(), 1);
  }

  void InsertModeAndDeleteKeys() {
    Editor e("abcd");
    QTest::keyClick(e.port(), Qt::Key_Insert);
    QVERIFY(e.widget.Settings().insert_mode);
    QCOMPARE(e.widget.EffectiveCaretKind(), qarvo::hex::ckLeft);
    QTest::keyClick(e.port(), Qt::Key_Tab);
    QTest::keyClicks(e.port(), "XY");
    QCOMPARE(e.widget.DataSize(), qint64(6));
    QCOMPARE(e.byte(1), uint8_t('Y'));
    QTest::keyClick(e.port(), Qt::Key_Backspace);
    QCOMPARE(e.widget.DataSize(), qint64(5));
    QCOMPARE(e.byte(1), uint8_t('a'));
    QTest::keyClick(e.port(), Qt::Key_Delete);
    QCOMPARE(e.widget.DataSize(), qint64(4));
    QCOMPARE(e.byte(1), uint8_t('b'));
  }

  void RefusedKeyChangesAreReportedNotThrown() {
    Editor e("abcd");
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.no_size_change = true; });
    qarvo::test::ModalAnswerer answers;
    QTest::keyClick(e.port(), Qt::Key_Delete, Qt::ControlModifier);
    // The control refuses in its own words; the box says it in the program's language.
    QCOMPARE(answers.BoxTexts(), QStringList{"这一步修改不能进行。"});
    QCOMPARE(e.widget.DataSize(), qint64(4));
    // The control still takes keys afterwards.
    QTest::keyClicks(e.port(), "7");
    QCOMPARE(e.byte(0), uint8_t(0x71));
  }

  void ShiftSelectsAndCtrlASelectsAll() {
    Editor e(std::string(64, 'q'));
    // Shift held down over two presses of Right.
    QTest::keyPress(e.port(), Qt::Key_Shift);
    for (int i = 0; i < 2; ++i) {
      QTest::keyPress(e.port(), Qt::Key_Right, Qt::ShiftModifier);
      QTest::keyRelease(e.port(), Qt::Key_Right);
    }
    QTest::keyRelease(e.port(), Qt::Key_Shift);
    QCOMPARE(e.widget.SelectionCount(), qint64(3));
    QTest::keyClick(e.port(), Qt::Key_Down);
    QCOMPARE(e.widget.SelectionCount(), qint64(0));
    QTest::keyClick(e.port(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(e.widget.SelectionCount(), qint64(64));
  }

  void BookmarkKeys() {
    Editor e(std::string(64, 'b'));
    QSignalSpy changed(&e.widget, &TMPHexEditorEx::bookmarkChanged);
    e.widget.SetCaretPosition(20);
    QTest::keyClick(e.port(), Qt::Key_3, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(e.widget.Model().Bookmarks()[3].position, qint64(20));
    e.widget.SetCaretPosition(0);
    QTest::keyClick(e.port(), Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(e.widget.CaretPosition(), qint64(20));
  }

  void ClickDragAndDoubleClick() {
    Editor e(std::string(160, 'm'));
    // Byte 20: row 3, hex columns 10 and 11.
    QTest::mouseClick(e.port(), Qt::LeftButton, {}, e.at(10, 3));
    QCOMPARE(e.widget.CaretPosition(), qint64(20));
    QCOMPARE(e.widget.SelectionCount(), qint64(0));
    QTest::mousePress(e.port(), Qt::LeftButton, {}, e.at(10, 3));
    QTest::mouseMove(e.port(), e.at(20, 3));
    QTest::mouseRelease(e.port(), Qt::LeftButton, {}, e.at(20, 3));
    QCOMPARE(e.widget.Model().SelectionLow(), qint64(20));
    QCOMPARE(e.widget.Model().SelectionHigh(), qint64(25));
    // A click in the selection without a drag clears it.
    QTest::mouseClick(e.port(), Qt::LeftButton, {}, e.at(14, 3));
    QCOMPARE(e.widget.SelectionCount(), qint64(0));
    QCOMPARE(e.widget.CaretPosition(), qint64(22));
    QTest::mouseDClick(e.port(), Qt::LeftButton, {}, e.at(35 + 10, 3));
    QCOMPARE(e.widget.Model().SelectionLow(), qint64(26));
    QCOMPARE(e.widget.Model().SelectionHigh(), qint64(26));
    QVERIFY(e.widget.Model().Caret().in_char_field);
  }

  void InsertModeClickInTheRightHalfMeansTheNextByte() {
    Editor e(std::string(64, 'h'));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.insert_mode = true; });
    const QRect r = e.widget.CellRect(35 + 4, 2);
    QTest::mouseClick(e.port(), Qt::LeftButton, {},
                      QPoint(r.left() + e.widget.CharWidth() / 2 + 1, r.center().y()));
    QCOMPARE(e.widget.Model().Caret().position, qint64(5));
    const QRect last = e.widget.CellRect(50, 2);
    QTest::mouseClick(e.port(), Qt::LeftButton, {},
                      QPoint(last.left() + e.widget.CharWidth() - 1, last.center().y()));
    QCOMPARE(e.widget.Model().Caret().position, qint64(16));
  }

  void CursorShapesAndTheOffsetMenu() {
    Editor e(std::string(64, 'c'));
    e.widget.SetCaretPosition(0);
    e.widget.SetSelectionEnd(3);
    QTest::mouseMove(e.port(), e.at(0, 3));
    QCOMPARE(e.port()->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(e.port(), e.at(20, 3));
    QCOMPARE(e.port()->cursor().shape(), Qt::IBeamCursor);
    QTest::mouseMove(e.port(), e.at(3, 2));  // over the selection
    QCOMPARE(e.port()->cursor().shape(), Qt::ArrowCursor);

    QMenu menu;
    menu.addAction("offsets");
    e.widget.SetOffsetPopupMenu(&menu);
    QContextMenuEvent over_data(QContextMenuEvent::Mouse, e.at(20, 3),
                                e.port()->mapToGlobal(e.at(20, 3)));
    QApplication::sendEvent(e.port(), &over_data);
    QVERIFY(!menu.isVisible());
    QContextMenuEvent over_offsets(QContextMenuEvent::Mouse, e.at(0, 3),
                                   e.port()->mapToGlobal(e.at(0, 3)));
    QApplication::sendEvent(e.port(), &over_offsets);
    QVERIFY(menu.isVisible());
    menu.hide();
  }

  void DragBelowTheViewScrollsWhileItLasts() {
    Editor e(std::string(16 * 200, 'd'));
    QTest::mousePress(e.port(), Qt::LeftButton, {}, e.at(4, 3));
    QTest::mouseMove(e.port(), QPoint(e.at(4, 3).x(), e.port()->height() + 5));
    QTRY_VERIFY(e.widget.TopRow() > 4);
    QTest::mouseRelease(e.port(), Qt::LeftButton, {},
                        QPoint(e.at(4, 3).x(), e.port()->height() - 2));
    const qint64 top = e.widget.TopRow();
    QVERIFY(e.widget.Model().SelectionHigh() > 16 * (top - 2));
    QCoreApplication::processEvents();
    QCOMPARE(e.widget.TopRow(), top);  // the scrolling stopped with the drag
  }

  void WheelScrollsAndZooms() {
    Editor e(std::string(16 * 500, 'w'));
    const int rows = e.widget.VisibleRows();
    e.wheel(-120, {});
    QCOMPARE(e.widget.TopRow(), qint64(2 + rows - 1));
    e.wheel(120, Qt::ControlModifier);
    QCOMPARE(e.widget.Settings().bytes_per_row, 17);
    const int points = e.widget.font().pointSize();
    e.wheel(-120, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(e.widget.font().pointSize(), points - 1);
  }

  void PartsOfANotchAddUpToOne() {
    Editor e(std::string(16 * 500, 'p'));
    const int rows = e.widget.VisibleRows();
    for (int i = 0; i < 3; ++i) {
      e.wheel(-40, {});
      QCOMPARE(e.widget.TopRow(), qint64(i < 2 ? 2 : 2 + rows - 1));
    }
    e.wheel(60, Qt::ControlModifier);
    e.wheel(60, Qt::ControlModifier);
    QCOMPARE(e.widget.Settings().bytes_per_row, 17);
  }

  void FontZoomOfAPixelSizedFontStepsFromItsSize() {
    Editor e(std::string(64, 'z'));
    QFont font("Liberation Mono");
    font.setPixelSize(13);
    e.widget.setFont(font);
    const double dpi = e.widget.logicalDpiY();
    e.wheel(-120, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY2(e.widget.font().pointSizeF() * dpi / 72 < 13,
             qPrintable(QString::number(e.widget.font().pointSizeF())));
    e.widget.setFont(font);
    e.wheel(120, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(e.widget.font().pointSizeF() * dpi / 72 > 13);
  }

  void CtrlWheelKeepsAWidthDoubleBytesRefuse() {
    Editor e(std::string(64, 'u'));
    e.widget.ChangeSettings([](HexEditorSettings& s) { s.unicode_chars = true; });
    e.wheel(120, Qt::ControlModifier);
    QCOMPARE(e.widget.Settings().bytes_per_row, 16);
    QVERIFY(e.widget.Settings().unicode_chars);
  }
};

QTEST_MAIN(EditingWidgetTest)
#include "editing_qtest.moc"
