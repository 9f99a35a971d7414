// Copy, cut, paste and drops of the hex control through the real clipboard and drop events.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <algorithm>

#include "app/app_test_util.h"
#include "hex/model/byte_source.h"
#include "hex/widget/hex_mime.h"
#include "hex/widget/mphexeditor.h"

using qarvo::hex::HexEditorSettings;
using qarvo::hex::MemorySource;
using qarvo::hex::TMPHexEditorEx;
using qarvo::test::ModalAnswerer;
namespace hex = qarvo::hex;

namespace {

struct View {
  using Cell = hex::Cell;
  TMPHexEditorEx widget;
  explicit View(std::string_view data) {
    widget.resize(634, 273);
    widget.show();
    MemorySource source(data);
    widget.LoadFromStream(source);
  }
  QByteArray bytes() const {
    QByteArray out(static_cast<qsizetype>(widget.DataSize()), '\0');
    widget.ReadContent(
        0, std::span(reinterpret_cast<uint8_t*>(out.data()), static_cast<size_t>(out.size())));
    return out;
  }
  void select(int64_t from, int64_t to) { widget.Model().SetSelection(from, to); }
  // Sends a drag over the cell of `position` and drops it there; the action the control chose.
  Qt::DropAction drop(const QMimeData* data, int64_t position,
                      Qt::KeyboardModifiers keys = Qt::NoModifier) {
    const auto& geo = widget.Geometry();
    Cell cell = geo.CellOfPosition(position, false);
    const QRect r = widget.CellRect(cell.column, cell.row);
    const QPointF point(r.left() + 2, r.center().y());
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(point.toPoint(), offered, data, Qt::NoButton, keys);
    QApplication::sendEvent(widget.viewport(), &enter);
    QDragMoveEvent move(point.toPoint(), offered, data, Qt::NoButton, keys);
    QApplication::sendEvent(widget.viewport(), &move);
    if (!move.isAccepted()) {
      return Qt::IgnoreAction;
    }
    if (widget.DropCell() != cell) {
      return Qt::IgnoreAction;  // the drop cell mark must follow the drag
    }
    QDropEvent drop_event(point, offered, data, Qt::NoButton, keys);
    QApplication::sendEvent(widget.viewport(), &drop_event);
    return drop_event.isAccepted() ? drop_event.dropAction() : Qt::IgnoreAction;
  }
};

QByteArray Own(const QByteArray& header, const QByteArray& bytes) {
  return header + bytes;
}

void OfferOwnBlock(const QByteArray& block) {
  auto* data = new QMimeData;
  data->setData(hex::kOwnMime, block);
  QApplication::clipboard()->setMimeData(data);
}

}  // namespace

class ClipboardTest : public QObject {
  Q_OBJECT

 private slots:
  void CopyOffersOwnBlockTextAndCountedBlock() {
    View v(std::string_view("x\x41\x00\x42y", 5));
    v.select(1, 3);
    QVERIFY(v.widget.CanCopy());
    v.widget.CopyToClipboard();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    QCOMPARE(data->text(), QStringLiteral("A"));  // the bytes up to the first zero
    QCOMPARE(data->data(hex::kOwnMime),
             QByteArray("MPTH\x01\x00\x01\x00\x03\x00\x00\x00\x41\x00\x42", 15));
    QCOMPARE(data->data(hex::kRegEditMime), QByteArray("\x03\x00\x00\x00\x41\x00\x42", 7));
    QCOMPARE(data->formats().indexOf(hex::kOwnMime), 0);  // the own format comes first

    v.widget.ChangeSettings([](HexEditorSettings& s) { s.clipboard_as_hex_text = true; });
    v.widget.CopyToClipboard();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("410042"));
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.swap_nibbles = true; });
    v.widget.CopyToClipboard();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("140024"));

    // Nothing selected: nothing to copy, the clipboard stays.
    v.widget.Model().ClearSelection();
    QVERIFY(!v.widget.CanCopy());
    v.widget.CopyToClipboard();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("140024"));
  }

  void CutRemovesAndRecords() {
    View v("abcdef");
    v.select(1, 2);
    v.widget.CutToClipboard();
    QCOMPARE(v.bytes(), QByteArray("adef"));
    QCOMPARE(v.widget.Model().UndoDescription(), std::string("Cut to clipboard"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("bc"));
    // Pasting it back at the start, through the key.
    v.widget.Model().ClearSelection();
    v.widget.SetCaretPosition(0);
    QTest::keyClick(&v.widget, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(v.bytes(), QByteArray("bcadef"));
    QCOMPARE(v.widget.Model().UndoDescription(), std::string("Paste from clipboard"));
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.no_size_change = true; });
    v.select(0, 1);
    QVERIFY(!v.widget.CanCut());
  }

  void AControlThatGoesEmptiesItsClipboardUnlessAskedToLeaveIt() {
    {
      View v("abc");
      v.select(0, 1);
      v.widget.CopyToClipboard();
    }
    const QMimeData* left = QApplication::clipboard()->mimeData();
    QVERIFY(left == nullptr || left->formats().isEmpty());
    {
      View v("abc");
      v.widget.ChangeSettings([](HexEditorSettings& s) { s.flush_clipboard_at_shutdown = true; });
      v.select(0, 1);
      v.widget.CopyToClipboard();
    }
    QCOMPARE(QApplication::clipboard()->mimeData()->data(hex::kOwnMime), hex::OwnBlock("ab"));
    // Someone else's clipboard is left alone.
    {
      View v("abc");
      v.select(0, 1);
      v.widget.CopyToClipboard();
      QApplication::clipboard()->setText(QStringLiteral("other"));
    }
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("other"));
  }

  void OwnBlockOfAnotherVersionPastesNothing() {
    View v("abcd");
    OfferOwnBlock(Own(QByteArray("MPTH\x02\x00\x01\x00\x02\x00\x00\x00", 12), "xy"));
    QVERIFY(v.widget.CanPaste());
    v.widget.PasteFromClipboard();
    QCOMPARE(v.bytes(), QByteArray("abcd"));
    QVERIFY(!v.widget.CanUndo());
    // A count beyond the block is no better.
    OfferOwnBlock(Own(QByteArray("MPTH\x01\x00\x01\x00\x09\x00\x00\x00", 12), "xy"));
    v.widget.PasteFromClipboard();
    QCOMPARE(v.bytes(), QByteArray("abcd"));
  }

  void PasteKeepsWholeUnitsAndTheSizeWhenAsked() {
    View v("abcdef");
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.bytes_per_unit = 2; });
    v.widget.SetCaretPosition(3);  // moved down to the unit boundary 2
    OfferOwnBlock(hex::OwnBlock("XYZ"));
    v.widget.PasteFromClipboard();
    QCOMPARE(v.bytes(), QByteArray("abXYcdef"));

    View fixed("abcdef");
    fixed.widget.ChangeSettings([](HexEditorSettings& s) { s.no_size_change = true; });
    fixed.widget.SetCaretPosition(4);
    fixed.widget.PasteFromClipboard();  // overwrites from the caret, cut at the end
    QCOMPARE(fixed.bytes(), QByteArray("abcdXY"));
  }

  void TextFormatsAskWhichOneAndHexTextSpellsBytes() {
    View v("ab");
    auto* data = new QMimeData;
    data->setText(QStringLiteral("4d 5A9"));
    data->setHtml(QStringLiteral("<b>x</b>"));
    QApplication::clipboard()->setMimeData(data);
    ModalAnswerer answers;
    QStringList listed;
    answers.OnNextDialog([&](QWidget* dialog) {
      auto* list = dialog->findChild<QListWidget*>(QStringLiteral("lbFormats"));
      auto* hex_text = dialog->findChild<QCheckBox*>(QStringLiteral("cbHexText"));
      for (int i = 0; i < list->count(); ++i) {
        listed << list->item(i)->text();
      }
      list->setCurrentRow(1);
      const bool enabled_on_html = hex_text->isEnabled();
      list->setCurrentRow(0);
      if (!enabled_on_html && hex_text->isEnabled()) {
        hex_text->setChecked(true);
      }
      static_cast<QDialog*>(dialog)->accept();
    });
    v.widget.SetCaretPosition(0);
    v.widget.PasteFromClipboard();
    QCOMPARE(listed, QStringList({"Text", "HTML Format"}));
    QCOMPARE(v.bytes(), QByteArray("\x4D\x5A"
                                   "ab"));

    // Cancel changes nothing; the last choice is preselected.
    answers.OnNextDialog([&](QWidget* dialog) {
      auto* list = dialog->findChild<QListWidget*>(QStringLiteral("lbFormats"));
      listed = {list->currentItem()->text()};
      static_cast<QDialog*>(dialog)->reject();
    });
    v.widget.PasteFromClipboard();
    QCOMPARE(listed, QStringList({"Text"}));
    QCOMPARE(v.bytes(), QByteArray("\x4D\x5A"
                                   "ab"));
  }

  void ImportOfTheOtherFormats() {
    QMimeData data;
    data.setData(hex::kUtf16Mime, QByteArray("A\0\x2D\x4E\0\0z\0", 8));
    data.setData(hex::kRegEditMime, QByteArray("\x02\0\0\0xyz", 7));
    data.setData(hex::kHtmlMime, QByteArray("<p>\0tail", 8));
    hex::ImportOptions options;
    QCOMPARE(*hex::ImportBytes(&data, hex::kUtf16Mime, options), QByteArray("A\0\x2D\x4E", 4));
    options.unicode_big_endian = true;
    QCOMPARE(*hex::ImportBytes(&data, hex::kUtf16Mime, options), QByteArray("\0A\x4E\x2D", 4));
    QCOMPARE(*hex::ImportBytes(&data, hex::kRegEditMime, options), QByteArray("xy"));
    QCOMPARE(*hex::ImportBytes(&data, hex::kHtmlMime, options), QByteArray("<p>"));
    // A count beyond the block gives nothing.
    data.setData(hex::kRegEditMime, QByteArray("\x09\0\0\0xyz", 7));
    QVERIFY(!hex::ImportBytes(&data, hex::kRegEditMime, options));
    // Accepted formats keep their order; without other formats only the own block and files.
    data.setData(hex::kOwnMime, hex::OwnBlock("q"));
    QCOMPARE(hex::AcceptedFormats(&data, true),
             QStringList({hex::kOwnMime, hex::kUtf16Mime, hex::kRegEditMime, hex::kHtmlMime}));
    QCOMPARE(hex::AcceptedFormats(&data, false), QStringList({hex::kOwnMime}));
    // Text beyond Windows-1252 comes in as UTF-8.
    QMimeData text;
    text.setText(QStringLiteral("\u00e9\u4e2d"));
    QCOMPARE(*hex::ImportBytes(&text, hex::kTextMime, {}), QByteArray("\xC3\xA9\xE4\xB8\xAD"));
    text.setText(QStringLiteral("\u00e9\u20ac"));
    QCOMPARE(*hex::ImportBytes(&text, hex::kTextMime, {}), QByteArray("\xE9\x80"));
  }

  void DropOfAFileListInsertsTheFiles() {
    QTemporaryDir dir;
    qarvo::test::WriteBytes(dir.filePath("one"), "123");
    qarvo::test::WriteBytes(dir.filePath("two"), QByteArray("4\0"
                                                            "5",
                                                            3));
    View v("abcdef");
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.ole_drag_drop = true; });
    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(dir.filePath("one")), QUrl::fromLocalFile(dir.filePath("two"))});
    QCOMPARE(v.drop(&data, 2), Qt::CopyAction);
    QCOMPARE(v.bytes(), QByteArray("ab1234\0"
                                   "5cdef",
                                   12));
    QCOMPARE(v.widget.Model().UndoDescription(), std::string("Data dropped"));
    QCOMPARE(v.widget.DropCell(), hex::Cell({-1, -1}));  // the mark goes with the drop
    // Shift asks for a move, which a file list turns into a link: the names go in.
    View names("ab");
    names.widget.ChangeSettings([](HexEditorSettings& s) { s.ole_drag_drop = true; });
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(dir.filePath("one"))});
    QCOMPARE(names.drop(&one, 1, Qt::ShiftModifier), Qt::LinkAction);
    QCOMPARE(names.bytes(), "a" + dir.filePath("one").toUtf8() + QByteArray(1, '\0') + "b");
  }

  void DropRefusedWithoutDragDropOrWhenTooLarge() {
    QTemporaryDir dir;
    QFile big(dir.filePath("big"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(int64_t{1} << 31));  // sparse: 2 GiB of nothing on the disk
    big.close();
    View v("abcdef");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath("big"))});
    QCOMPARE(v.drop(&data, 1), Qt::IgnoreAction);  // OleDragDrop is off by default
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.ole_drag_drop = true; });
    ModalAnswerer answers;
    QCOMPARE(v.drop(&data, 1), Qt::IgnoreAction);
    QCOMPARE(answers.BoxTexts().size(), 1);
    QVERIFY2(answers.BoxTexts().front().contains("2147483648"),
             qPrintable(answers.BoxTexts().front()));
    QCOMPARE(v.bytes(), QByteArray("abcdef"));
    QVERIFY(!v.widget.CanUndo());
    v.widget.SetSelectionEnd(0);  // still usable
  }

  void DropEffectsFollowShiftAndNoSizeChange() {
    View v("abcdef");
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.ole_drag_drop = true; });
    QMimeData data;
    data.setData(hex::kOwnMime, hex::OwnBlock("XY"));
    QCOMPARE(v.drop(&data, 6, Qt::ShiftModifier), Qt::MoveAction);  // behind the end: append
    QCOMPARE(v.bytes(), QByteArray("abcdefXY"));
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.no_size_change = true; });
    QCOMPARE(v.drop(&data, 1), Qt::CopyAction);  // overwrites from the drop cell
    QCOMPARE(v.bytes(), QByteArray("aXYdefXY"));
    QCOMPARE(v.drop(&data, 7), Qt::CopyAction);  // cut off at the end
    QCOMPARE(v.bytes(), QByteArray("aXYdefXX"));
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.read_only_view = true; });
    QCOMPARE(v.drop(&data, 1), Qt::IgnoreAction);
  }

  void MoveInsideIsOneRecord() {
    View v("abcdefgh");
    v.select(1, 2);  // "bc"
    v.widget.MoveSelection(6);
    QCOMPARE(v.bytes(), QByteArray("adefbcgh"));
    QCOMPARE(v.widget.Model().UndoDescription(), std::string("Data moved"));
    v.widget.Undo();
    QCOMPARE(v.bytes(), QByteArray("abcdefgh"));
    QVERIFY(!v.widget.CanUndo());
    // Onto itself nothing happens; with NoSizeChange a move still works.
    v.select(4, 5);
    v.widget.MoveSelection(5);
    QCOMPARE(v.bytes(), QByteArray("abcdefgh"));
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.no_size_change = true; });
    v.widget.MoveSelection(0);
    QCOMPARE(v.bytes(), QByteArray("efabcdgh"));
    v.select(0, 0);
    v.widget.MoveSelection(8);  // behind the end: appended
    QCOMPARE(v.bytes(), QByteArray("fabcdghe"));
  }

  void FindReportsProgressWhenAsked() {
    std::string data(100000, 'x');
    data.replace(99990, 3, "end");
    View v(data);
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.find_progress = true; });
    QList<int> percents;
    connect(&v.widget, &TMPHexEditorEx::progress, this,
            [&](int kind, const QString&, int percent, bool*) {
              QCOMPARE(kind, static_cast<int>(hex::pkFind));
              percents << percent;
            });
    const std::string pattern = v.widget.PrepareSearchData("END", true, true);
    QCOMPARE(v.widget.Find(pattern, 0, v.widget.DataSize() - 1, true), 99990);
    QVERIFY(percents.size() > 400);
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    percents.clear();
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.find_progress = false; });
    const std::string upper = v.widget.PrepareSearchData("END", false, true);
    QCOMPARE(v.widget.Find(upper, 0, v.widget.DataSize() - 1, false), -1);  // case counts
    QVERIFY(percents.isEmpty());
    // Ranges a match does not fit in find nothing and are not searched.
    v.widget.ChangeSettings([](HexEditorSettings& s) { s.find_progress = true; });
    QCOMPARE(v.widget.Find("", 0, v.widget.DataSize() - 1, false), -1);
    QCOMPARE(v.widget.Find(pattern, 99998, v.widget.DataSize() - 1, true), -1);
    QCOMPARE(v.widget.Find(pattern, 99990, 99991, true), -1);
    QVERIFY(percents.isEmpty());
    // A match must end by `stop`.
    QCOMPARE(v.widget.Find(pattern, 0, 99991, true), -1);
    QCOMPARE(v.widget.Find(pattern, 99990, 99992, true), 99990);
  }
};

QTEST_MAIN(ClipboardTest)
#include "clipboard_qtest.moc"
