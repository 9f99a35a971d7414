// The hex view window for real work, driven through its widgets: the caret stays in view,
// the window grows, "转到...", the data inspector, the UTF-8 and GB18030 character column and
// text search, the text/hex choice, searching backwards and around, copying as hex, "另存为..."
// and the question before unsaved edits are dropped.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "app/format_size.h"
#include "hex/widget/mphexeditor.h"
#include "hex/window/hex.h"
#include "hex/window/hex_window_test_util.h"
#include "hex/window/hexfm_goto.h"
#include "hex/window/hexfm_inspector.h"
#include "hex/window/ufind.h"

using qarvo::hex::TextEncoding;
using qarvo::hex::Thexfm;
using qarvo::hex::TMPHexEditorEx;

namespace {

// Answers modal windows from a timer: each waiting step takes the next one (message boxes
// included, so a test can pick a box's button); a box without a step is recorded and
// answered with OK, or cancelled when it has none.
class Answers : public QObject {
 public:
  using Step = std::function<void(QWidget*)>;
  Answers() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
  }
  void Next(Step step) { steps_.push_back(std::move(step)); }
  // The next message box is answered with `button` and its text kept.
  void NextBox(QMessageBox::StandardButton button) {
    Next([this, button](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box != nullptr);
      texts << box->text();
      box->button(button)->click();
    });
  }
  QStringList texts;
  bool Done() const { return steps_.empty(); }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || busy_.contains(modal)) {
      return;
    }
    if (steps_.empty()) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        texts << box->text();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
          ok->click();
        } else {
          box->reject();
        }
      }
      return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    busy_.push_back(modal);
    step(modal);
    busy_.removeOne(modal);
  }
  QTimer timer_;
  QList<QWidget*> busy_;
  std::deque<Step> steps_;
};

void ChooseFile(QWidget* dialog, const QString& path) {
  auto* files = qobject_cast<QFileDialog*>(dialog);
  QVERIFY(files != nullptr);
  files->selectFile(path);
  if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    name->setText(path);
  }
  QMetaObject::invokeMethod(files, "accept");
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

struct Window {
  QTemporaryDir dir;
  QPointer<Thexfm> w = new Thexfm(nullptr, &qarvo::ui::FormatSizeText);
  Answers answers;
  TMPHexEditorEx* view = ViewOf(w);

  Window() {
    w->show();
    Activate();
  }
  ~Window() {
    delete w.data();  // deleting asks nothing: only closing does
  }
  void Activate() { ActivateWindow(w); }
  QString Open(const QByteArray& bytes, const QString& name = QStringLiteral("data.bin")) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    w->OpenFile(path);
    Activate();
    return path;
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(view, static_cast<Qt::Key>(key), modifiers);
    QCoreApplication::processEvents();
  }
  bool CaretInView() const {
    const qarvo::hex::Cell cell = view->Geometry().CellOfPosition(view->CaretPosition(), false);
    return cell.row >= view->TopRow() && cell.row < view->TopRow() + view->VisibleRows();
  }
  // "查找数据" with `text`, the text/hex choice and the wrap box set as given.
  void Search(const QString& text, Qt::CheckState kind, bool wrap = false) {
    answers.Next([=](QWidget* modal) {
      auto* find = qobject_cast<qarvo::hex::TdlgFind*>(modal);
      QVERIFY(find != nullptr);
      Named<QLineEdit>(find, "edFind")->setText(text);
      Named<QCheckBox>(find, "cbText")->setCheckState(kind);
      Named<QCheckBox>(find, "cbWrap")->setChecked(wrap);
      QTest::mouseClick(Named<QPushButton>(find, "Button1"), Qt::LeftButton);
    });
    QTest::mouseClick(Named<QPushButton>(w, "btnfind"), Qt::LeftButton);
    Activate();
  }
  qint64 SelLow() const { return std::min(view->SelectionStart(), view->SelectionEnd()); }
  void ChooseEncoding(TextEncoding encoding) {
    for (QAction* choice : Named<QActionGroup>(w, "encodings")->actions()) {
      if (choice->data().toInt() == static_cast<int>(encoding)) {
        choice->trigger();
      }
    }
  }
};

// Bytes of the given length, each the low byte of its position.
QByteArray Counting(int size) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(i);
  }
  return bytes;
}

}  // namespace

class HexWindowWorkTest : public QObject {
  Q_OBJECT

 private slots:
  void CaretMovesKeepTheCaretInView() {
    Window t;
    t.Open(Counting(64 * 1024));
    t.view->setFocus();
    t.Key(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(t.view->CaretPosition(), 64 * 1024 - 1);
    QVERIFY(t.CaretInView());
    t.Key(Qt::Key_5, Qt::ControlModifier | Qt::ShiftModifier);  // bookmark 5 at the end
    t.Key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(t.view->CaretPosition(), 0);
    QCOMPARE(t.view->TopRow(), 2);
    t.Key(Qt::Key_5, Qt::ControlModifier);
    QCOMPARE(t.view->CaretPosition(), 64 * 1024 - 1);
    QVERIFY(t.CaretInView());
    // Page keys still scroll by a page and keep the caret with them.
    t.Key(Qt::Key_PageUp);
    QVERIFY(t.CaretInView());
    t.Key(Qt::Key_Home, Qt::ControlModifier);
    // A search hit far down comes into view.
    t.Search(QStringLiteral("FE FF 00 01"), Qt::Unchecked);
    QCOMPARE(t.SelLow(), 254);
    QVERIFY(t.CaretInView());
  }

  void WindowGrowsAndTheViewTakesTheRoom() {
    Window t;
    t.Open(Counting(4096));
    QCOMPARE(t.w->size(), QSize(634, 399));
    QCOMPARE(t.w->minimumSize(), QSize(634, 399));
    QVERIFY(t.w->windowFlags() & Qt::WindowMaximizeButtonHint);
    const int rows = t.view->VisibleRows();
    const QPoint button = Named<QPushButton>(t.w, "btnfile")->pos();
    t.w->resize(1000, 700);
    QCoreApplication::processEvents();
    QCOMPARE(t.view->geometry(), QRect(0, 0, 1000, 273 + 301));
    QCOMPARE(Named<QPushButton>(t.w, "btnfile")->pos(), button + QPoint(0, 301));
    QCOMPARE(Named<QGroupBox>(t.w, "GroupBox1")->pos(), QPoint(8, 279 + 301));
    QVERIFY(t.view->VisibleRows() > rows + 15);
    QCOMPARE(t.view->Settings().bytes_per_row, 16);  // more rows, the same row width
    t.w->resize(100, 100);
    QCOMPARE(t.w->size(), QSize(634, 399));  // never smaller than the old layout
    QCOMPARE(t.view->geometry(), QRect(0, 0, 634, 273));
  }

  void GotoTakesDecimalHexAndMovesAndExplainsRefusals() {
    Window t;
    t.Open(Counting(8192));
    QStringList errors;
    auto go = [&](const QStringList& texts) {
      t.answers.Next([&errors, texts](QWidget* modal) {
        auto* dialog = qobject_cast<qarvo::hex::TdlgGoto*>(modal);
        QVERIFY(dialog != nullptr);
        for (const QString& text : texts) {
          Named<QLineEdit>(dialog, "edtoffset")->setText(text);
          QTest::mouseClick(Named<QPushButton>(dialog, "btnok"), Qt::LeftButton);
          if (dialog->isVisible()) {
            errors << Named<QLabel>(dialog, "lblerror")->text();
          }
        }
        if (dialog->isVisible()) {
          dialog->reject();
        }
      });
      QTest::keyClick(t.w, Qt::Key_G, Qt::ControlModifier);
      t.Activate();
    };
    go({QStringLiteral("0x1F00")});
    QCOMPARE(t.view->CaretPosition(), 0x1F00);
    QVERIFY(t.CaretInView());
    go({QStringLiteral("-256")});
    QCOMPARE(t.view->CaretPosition(), 0x1E00);
    go({QStringLiteral("$10")});
    QCOMPARE(t.view->CaretPosition(), 16);
    QVERIFY(t.CaretInView());
    go({QStringLiteral("+10h")});
    QCOMPARE(t.view->CaretPosition(), 32);
    go({QStringLiteral("12ab"), QStringLiteral("8192"), QStringLiteral("-33")});
    QCOMPARE(t.view->CaretPosition(), 32);  // nothing moved
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors[0].contains(QStringLiteral("“12ab”不是有效的偏移量")), qPrintable(errors[0]));
    QVERIFY2(errors[1].contains(QStringLiteral("超出数据末尾")) && errors[1].contains("8191"),
             qPrintable(errors[1]));
    QVERIFY2(errors[2].contains(QStringLiteral("数据开头之前")), qPrintable(errors[2]));
    // It is in the view's menu, and off without data.
    QVERIFY(Named<QMenu>(t.w, "PopupMenu1")->actions().contains(Named<QAction>(t.w, "acGoto")));
    QCOMPARE(Named<QAction>(t.w, "acGoto")->text(), QStringLiteral("转到..."));
    Window empty;
    QVERIFY(!Named<QAction>(empty.w, "acGoto")->isEnabled());
  }

  void InspectorShowsValuesAtTheCaretInBothByteOrders() {
    Window t;
    t.Open(QByteArray("\x01\x02\x03\x04\x05\x06\x07\x80\xD6\xD0", 10));
    QVERIFY(!Named<qarvo::hex::THexInspector>(t.w, "inspector")->isVisible());
    QTest::keyClick(t.w, Qt::Key_I, Qt::ControlModifier);
    QVERIFY(Named<qarvo::hex::THexInspector>(t.w, "inspector")->isVisible());
    QVERIFY(Named<QAction>(t.w, "acInspector")->isChecked());
    QCOMPARE(t.w->width(), 634 + Thexfm::kInspectorWidth);  // the view keeps its width
    QCOMPARE(t.view->width(), 634);
    qarvo::hex::THexInspector* in = Named<qarvo::hex::THexInspector>(t.w, "inspector");
    QCOMPARE(in->ValueText("UInt16"), QStringLiteral("513"));  // 02 01
    QCOMPARE(in->ValueText("UInt32"), QStringLiteral("67305985"));
    QCOMPARE(in->ValueText("Int64"), QStringLiteral("-9221395093405892095"));
    QCOMPARE(in->ValueText(QStringLiteral("二进制")), QStringLiteral("00000001"));
    QTest::mouseClick(Named<QRadioButton>(in, "rbbig"), Qt::LeftButton);
    QCOMPARE(in->ValueText("UInt16"), QStringLiteral("258"));  // 01 02
    QCOMPARE(in->ValueText("UInt32"), QStringLiteral("16909060"));
    // It follows the caret at once.
    t.view->setFocus();
    t.Key(Qt::Key_End, Qt::ControlModifier);
    t.Key(Qt::Key_Left);
    QCOMPARE(t.view->CaretPosition(), 8);
    QCOMPARE(in->ValueText(QStringLiteral("GB18030字符")), QStringLiteral("U+4E2D 中"));
    QCOMPARE(in->ValueText("UInt16"), QStringLiteral("54992"));  // D6 D0 big endian
    QCOMPARE(in->ValueText("UInt32"), QString());                // runs past the end
    // Its lines are table items a screen reader reads as text.
    QCOMPARE(Named<QTableWidget>(in, "grid")->item(0, 0)->text(), QStringLiteral("Int8"));
    // Without data every value is blank.
    t.Open(QByteArray());
    QCOMPARE(in->ValueText("Int8"), QString());
    QCOMPARE(in->ValueText(QStringLiteral("二进制")), QString());
    // Hidden again, the window gives the room back.
    Named<QAction>(t.w, "acInspector")->trigger();
    QVERIFY(!in->isVisible());
    QCOMPARE(t.w->width(), 634);
  }

  void Utf8AndGb18030ColumnsAndTextSearch() {
    Window t;
    const QByteArray gb("ab\xD6\xD0\xCE\xC4\x80z", 8);  // "ab中文", a stray 0x80, "z"
    t.Open(gb);
    QCOMPARE(t.view->CharCellText(2), QString(QChar(0xD6)));  // Windows-1252 as before
    t.ChooseEncoding(TextEncoding::kGb18030);
    QCOMPARE(t.view->CharEncoding(), TextEncoding::kGb18030);
    QStringList cells;
    for (int i = 0; i < gb.size(); ++i) {
      cells << t.view->CharCellText(i);
    }
    QCOMPARE(cells, QStringList({"a", "b", "中", "·", "文", "·", ".", "z"}));
    QVERIFY(!t.w->grab().isNull());  // paints with the wide characters

    // A Chinese word found by its GB18030 bytes, as text.
    t.Search(QStringLiteral("文"), Qt::Checked);
    QCOMPARE(t.SelLow(), 4);
    QCOMPARE(t.view->SelectionCount(), 2);

    const QByteArray utf8 = QStringLiteral("x中文").toUtf8() + QByteArray("\xC0", 1);
    t.Open(utf8, QStringLiteral("utf8.txt"));
    t.ChooseEncoding(TextEncoding::kUtf8);
    cells.clear();
    for (int i = 0; i < utf8.size(); ++i) {
      cells << t.view->CharCellText(i);
    }
    QCOMPARE(cells, QStringList({"x", "中", "·", "·", "文", "·", "·", "."}));
    t.Search(QStringLiteral("文"), Qt::Checked);
    QCOMPARE(t.SelLow(), 4);
    QCOMPARE(t.view->SelectionCount(), 3);
    // In double-byte mode the column reads UTF-16 and the choice is off.
    t.Open(QByteArray("a\0b\0", 4), QStringLiteral("wide.bin"));
    QTest::mouseClick(Named<QCheckBox>(t.w, "chkdouble"), Qt::LeftButton);
    QVERIFY(!Named<QMenu>(t.w, "mnuEncoding")->isEnabled());
  }

  void TextOrHexChoiceIsShownAndSaysWhatItDoes() {
    Window t;
    t.Open(QByteArray("\x12\x34..1234", 8));
    qarvo::hex::TdlgFind dialog(t.w);
    QVERIFY(Named<QCheckBox>(&dialog, "cbText")->isEnabled());
    QVERIFY(!Named<QCheckBox>(&dialog, "cbText")->isHidden());
    QCOMPARE(Named<QCheckBox>(&dialog, "cbText")->checkState(), Qt::PartiallyChecked);
    QCOMPARE(Named<QCheckBox>(&dialog, "cbText")->text(), QStringLiteral("文字或字节:由内容决定"));
    Named<QCheckBox>(&dialog, "cbText")->setCheckState(Qt::Checked);
    QCOMPARE(Named<QCheckBox>(&dialog, "cbText")->text(), QStringLiteral("按文字查找"));
    Named<QCheckBox>(&dialog, "cbText")->setCheckState(Qt::Unchecked);
    QCOMPARE(Named<QCheckBox>(&dialog, "cbText")->text(), QStringLiteral("按十六进制字节查找"));

    t.Search(QStringLiteral("1234"), Qt::PartiallyChecked);  // grey: hex digits, so bytes
    QCOMPARE(t.SelLow(), 0);
    t.Search(QStringLiteral("1234"), Qt::Checked);  // as text
    QCOMPARE(t.SelLow(), 4);
    QVERIFY(t.w->Find().FindIsText);
  }

  void BackwardSearchAndWrapAround() {
    Window t;
    t.Open(QByteArray("ab..ab..ab", 10));
    t.Search(QStringLiteral("ab"), Qt::Checked, true);
    QCOMPARE(t.SelLow(), 0);
    QTest::keyClick(t.w, Qt::Key_F3);
    QCOMPARE(t.SelLow(), 4);
    QTest::keyClick(t.w, Qt::Key_F3);
    QCOMPARE(t.SelLow(), 8);
    QVERIFY(Named<QLabel>(t.w, "Label4")->text().isEmpty());
    QTest::keyClick(t.w, Qt::Key_F3);
    QCOMPARE(t.SelLow(), 0);
    QCOMPARE(Named<QLabel>(t.w, "Label4")->text(),
             QStringLiteral("已查找到数据末尾,从开头继续查找"));
    QTest::keyClick(t.w, Qt::Key_F3, Qt::ShiftModifier);  // backwards, around the start
    QCOMPARE(t.SelLow(), 8);
    QCOMPARE(Named<QLabel>(t.w, "Label4")->text(),
             QStringLiteral("已查找到数据开头,从末尾继续查找"));
    QTest::keyClick(t.w, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(t.SelLow(), 4);
    QVERIFY(Named<QLabel>(t.w, "Label4")->text().isEmpty());
    QVERIFY(t.answers.texts.isEmpty());
    // Without wrapping the end is the end.
    t.Search(QStringLiteral("ab"), Qt::Checked, false);
    QCOMPARE(t.SelLow(), 8);
    QTest::keyClick(t.w, Qt::Key_F3);
    QCOMPARE(t.answers.texts, QStringList({"找不到该字符串!"}));
    QCOMPARE(t.SelLow(), 8);
  }

  void CopyAsHexText() {
    Window t;
    t.Open(QByteArray("\x4D\x5A\x90\x00\x03", 5));
    QVERIFY(!Named<QAction>(t.w, "acCopyHex")->isEnabled());
    t.view->SetCaretPosition(3);
    t.view->SetSelectionEnd(0);
    QCoreApplication::processEvents();
    QVERIFY(Named<QAction>(t.w, "acCopyHex")->isEnabled());
    QVERIFY(Named<QMenu>(t.w, "PopupMenu1")->actions().contains(Named<QAction>(t.w, "acCopyHex")));
    QCOMPARE(Named<QAction>(t.w, "acCopyHex")->text(), QStringLiteral("复制为十六进制"));
    Named<QAction>(t.w, "acCopyHex")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("4D 5A 90 00"));
  }

  void SaveAsWritesTheEditsAndAsksBeforeReplacing() {
    Window t;
    const QString source = t.Open(Counting(200000));
    t.view->setFocus();
    t.Key(Qt::Key_End, Qt::ControlModifier);
    t.Key(Qt::Key_A);
    t.Key(Qt::Key_B);  // the last byte becomes AB
    QVERIFY(t.view->Modified());
    QByteArray expected = Counting(200000);
    expected[199999] = '\xAB';

    QList<int> saves;
    connect(
        t.view, &TMPHexEditorEx::progress, t.w,
        [&saves, &t](int kind, const QString&, int percent, bool*) {
          // The window's own handler ran first and wrote the line.
          if (kind == qarvo::hex::pkSave && Named<QLabel>(t.w, "Label4")->text() ==
                                                QStringLiteral("正在保存文件...%1%").arg(percent)) {
            saves << percent;
          }
        });
    const QString copy = t.dir.filePath("copy.bin");
    t.answers.Next([copy](QWidget* d) { ChooseFile(d, copy); });
    Named<QAction>(t.w, "acSaveAs")->trigger();
    QCOMPARE(ReadAll(copy), expected);
    QCOMPARE(ReadAll(source), Counting(200000));  // the opened file untouched
    QVERIFY(!saves.isEmpty());
    QCOMPARE(saves.back(), 100);
    // The window now shows the copy, with nothing unsaved.
    QVERIFY(t.w->windowTitle().endsWith(QStringLiteral("copy.bin")));
    QVERIFY(!t.view->Modified());
    QCOMPARE(t.view->CaretPosition(), 199999);

    // Over the file it was opened from only with a yes; no is no.
    t.Key(Qt::Key_Home, Qt::ControlModifier);
    t.Key(Qt::Key_0);
    t.Key(Qt::Key_0);
    t.answers.Next([copy](QWidget* d) { ChooseFile(d, copy); });
    t.answers.NextBox(QMessageBox::Cancel);
    Named<QAction>(t.w, "acSaveAs")->trigger();
    QVERIFY(t.answers.Done());
    QVERIFY2(t.answers.texts.back().contains(QStringLiteral("就是当前打开的文件")),
             qPrintable(t.answers.texts.back()));
    QCOMPARE(ReadAll(copy), expected);
    t.answers.Next([copy](QWidget* d) { ChooseFile(d, copy); });
    t.answers.NextBox(QMessageBox::Ok);
    Named<QAction>(t.w, "acSaveAs")->trigger();
    expected[0] = '\0';
    QCOMPARE(ReadAll(copy), expected);

    // Another existing file is replaced only when confirmed too.
    t.Key(Qt::Key_F);
    t.answers.Next([source](QWidget* d) { ChooseFile(d, source); });
    t.answers.NextBox(QMessageBox::Cancel);
    Named<QAction>(t.w, "acSaveAs")->trigger();
    QVERIFY(t.answers.texts.back().contains(QStringLiteral("已存在")));
    QCOMPARE(ReadAll(source), Counting(200000));
    QCOMPARE(QDir(t.dir.path()).entryList(QDir::Files).size(), 2);  // no temporary left
  }

  void ClosingWithUnsavedEditsAsks() {
    Window t;
    t.Open(QByteArray("abcd", 4));
    t.view->setFocus();
    t.Key(Qt::Key_1);
    QVERIFY(t.view->Modified());
    t.answers.NextBox(QMessageBox::Cancel);
    t.w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!t.w.isNull());
    QVERIFY(t.w->isVisible());
    QVERIFY2(t.answers.texts.back().contains(QStringLiteral("放弃这些修改")),
             qPrintable(t.answers.texts.back()));
    // Escape asks the same.
    t.answers.NextBox(QMessageBox::Cancel);
    QTest::keyClick(t.w, Qt::Key_Escape);
    QVERIFY(t.w->isVisible());
    QCOMPARE(t.answers.texts.size(), 2);
    t.answers.NextBox(QMessageBox::Discard);
    t.w->close();
    QCOMPARE(t.answers.texts.size(), 3);
    QVERIFY(!t.w->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(t.w.isNull());

    // Nothing typed: no question.
    Window clean;
    clean.Open(QByteArray("abcd", 4));
    clean.w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(clean.w.isNull());
    QCOMPARE(clean.answers.texts.size(), 0);
  }
};

QTEST_MAIN(HexWindowWorkTest)
#include "hex_window_work_qtest.moc"
