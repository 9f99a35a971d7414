#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/password_dialogs.h"
#include "app/sdfm.h"
#include "app/smfm.h"
#include "app/tool_windows.h"
#include "codec/des.h"
#include "codec/digest.h"
#include "platform/file.h"
#include "split/header.h"
#include "tools/pack.h"
#include "tools/pack_format.h"
#include "tools/unpack.h"

#include "app/tool_window_test_util.h"
#include "support/capture_log.h"

namespace {

using namespace qarvo;
using namespace qarvo::ui;

using TestLog = qarvo::test::CaptureLog;
using qarvo::test::ReadBytes;
using qarvo::test::SeenBox;
using qarvo::test::TypeFileName;
using qarvo::test::WriteBytes;
using ModalAnswerer = qarvo::test::ToolModalAnswerer;

std::string Utf8(const QString& text) {
  return text.toStdString();
}

// Chooses `path` in a file dialog and confirms. The name goes straight into the dialog's name
// edit: selectFile leaves that edit alone once it has the focus, which makes it racy.
void ChooseAndAccept(QFileDialog* dialog, const QString& path) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(edit != nullptr);
  edit->setText(path);
  static_cast<QDialog*>(dialog)->accept();  // runs the file dialog's own accept
}

QString Cell(const Tsmfm& window, int row, int column) {
  const QTableWidgetItem* item = window.StringGrid1->item(row, column);
  return item != nullptr ? item->text() : QString();
}

// The header of a written pack, read with `password`.
HeaderStatus PackHeaderOf(const QString& pack, const std::string& password, PackHeader& out) {
  const std::string bytes = ReadBytes(pack);
  if (bytes.size() < kPackTrailerSize) {
    return HeaderStatus::NotRecognised;
  }
  return ReadPackHeader(std::string_view(bytes).substr(bytes.size() - kPackTrailerSize), password,
                        out);
}

class PackWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::shared_ptr<TestLog> log_ = std::make_shared<TestLog>();
  std::unique_ptr<Tspwd1> password_;
  QTemporaryDir temp_;

  ToolContext Context() {
    ToolContext context;
    context.host.log = log_;
    context.pack_password = password_.get();
    return context;
  }
  QString Path(const QString& name) const { return temp_.filePath(name); }
  void AcceptPassword(Tspwd1* dialog, const QString& password) {
    dialog->edt1->setText(password);
    dialog->edt2->setText(password);
    dialog->btn1->click();
  }

 private slots:
  void initTestCase() {
    QVERIFY(temp_.isValid());
    password_ = std::make_unique<Tspwd1>();
  }
  void init() { log_->Clear(); }

  void packWindowStartsEmpty() {
    Tsmfm window(Context());
    QCOMPARE(window.windowTitle(),
             QStringLiteral("文件打包(多个文件合并到一个文件,本工具可以解包)"));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.StringGrid1->rowCount(), 15);
    QCOMPARE(window.StringGrid1->columnCount(), 2);
    QCOMPARE(Cell(window, 0, 0), QStringLiteral("文件路径"));
    QCOMPARE(Cell(window, 0, 1), QStringLiteral("文件大小"));
    QCOMPARE(window.StringGrid1->columnWidth(0), 396);
    QCOMPARE(window.StringGrid1->columnWidth(1), 96);
    QCOMPARE(window.StringGrid1->verticalHeader()->defaultSectionSize(), 15);
    QCOMPARE(window.GroupBox1->title(), QStringLiteral("文件列表"));
    QCOMPARE(window.grp1->title(), QStringLiteral("打包选项"));
    QCOMPARE(window.PopupMenu1->actions().size(), 2);
    QCOMPARE(window.PopupMenu1->actions()[0]->text(), QStringLiteral("清空"));
    QCOMPARE(window.PopupMenu1->actions()[1]->text(), QStringLiteral("导入"));
    QVERIFY(window.StaticText1->text().isEmpty());
    QVERIFY(!window.chkdel->isChecked());
    QVERIFY(!window.chkcmp->isChecked());
    QVERIFY(!window.chkpwd->isChecked());
    QVERIFY(window.rbcrc->isChecked());
    QVERIFY(!window.rbcrc->isEnabled());
    QVERIFY(!window.rbmd5->isEnabled());
    QVERIFY(!window.btnpwd->isEnabled());
    QVERIFY(window.btn1->isDefault());
    QCOMPARE(window.btn1->text(), QStringLiteral("开始"));
    QCOMPARE(window.btn3->text(), QStringLiteral("导入文件"));
    QCOMPARE(window.edtfilename->toolTip(),
             QStringLiteral("输出文件名长度不能大于50,且只能由英文和数字组成,如123.txt"));
    QVERIFY(window.findChild<QLineEdit*>(QStringLiteral("Edit1")) == window.Edit1);

    window.Edit1->setText(QStringLiteral("/some/dir"));
    QCOMPARE(window.Edit1->toolTip(), QStringLiteral("/some/dir"));
    window.chkcmp->click();
    QVERIFY(window.rbcrc->isEnabled() && window.rbmd5->isEnabled());
    window.rbmd5->click();
    window.chkcmp->click();
    QVERIFY(!window.rbcrc->isEnabled() && !window.rbmd5->isEnabled());
    QVERIFY(window.rbmd5->isChecked());
  }

  void listFillsFromTheTopAndClears() {
    WriteBytes(Path("one.txt"), "12345");
    WriteBytes(Path("two.bin"), std::string(1234, 'x'));
    Tsmfm window(Context());
    ModalAnswerer answerer;
    answerer.on_file_dialog = [&](QFileDialog* dialog) {
      QCOMPARE(dialog, window.OpenDialog1);
      QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
      QVERIFY(dialog->nameFilters().join(";").startsWith(QStringLiteral("任何文件")));
      ChooseAndAccept(dialog, Path("one.txt"));
    };
    window.btn3->click();
    QCOMPARE(Cell(window, 1, 0), Path("one.txt"));
    QCOMPARE(Cell(window, 1, 1), QStringLiteral("5字节"));
    QCOMPARE(window.StaticText1->text(), QStringLiteral("任务总数:1"));
    QCOMPARE(window.StringGrid1->rowCount(), 16);

    window.N2->trigger();  // the menu's "导入" writes "Byte"
    QCOMPARE(Cell(window, 2, 1), QStringLiteral("5Byte"));
    window.AddFiles({Path("two.bin"), Path("one.txt")}, QStringLiteral("字节"));
    QCOMPARE(Cell(window, 3, 0), Path("two.bin"));
    QCOMPARE(Cell(window, 3, 1), QStringLiteral("1234字节"));
    QCOMPARE(Cell(window, 4, 0), Path("one.txt"));
    QCOMPARE(window.StaticText1->text(), QStringLiteral("任务总数:4"));
    QVERIFY(Cell(window, 5, 0).isEmpty());

    // A cancelled dialog adds nothing.
    answerer.on_file_dialog = nullptr;
    window.btn3->click();
    QCOMPARE(window.StringGrid1->rowCount(), 19);

    window.N3->trigger();
    QCOMPARE(window.StringGrid1->rowCount(), 15);
    QCOMPARE(Cell(window, 0, 0), QStringLiteral("文件路径"));
    QCOMPARE(Cell(window, 0, 1), QStringLiteral("文件大小"));
    QVERIFY(Cell(window, 1, 0).isEmpty());
    window.Edit1->setText(temp_.path());
    window.edtfilename->setText(QStringLiteral("x.pak"));
    window.btn1->click();
    QCOMPARE(answerer.boxes.size(), size_t{1});
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("请先导入文件!"));
    QVERIFY(!QFileInfo::exists(Path("x.pak")));
  }

  void packWindowRefusals() {
    WriteBytes(Path("r.txt"), "abc");
    Tsmfm window(Context());
    ModalAnswerer answerer;
    window.btn1->click();
    window.AddFiles({Path("r.txt")}, QStringLiteral("字节"));
    window.Edit1->setText(Path("missing-dir"));
    window.btn1->click();
    QCOMPARE(window.focusWidget(), window.Edit1);
    window.Edit1->setText(temp_.path());
    const QStringList bad_names = {QString(),
                                   QString(51, QLatin1Char('a')),
                                   QStringLiteral("a?b"),
                                   QStringLiteral("a\"b"),
                                   QStringLiteral("a|b"),
                                   QString(26, QChar(0x6570))};
    for (const QString& name : bad_names) {
      window.edtfilename->setText(name);
      window.btn1->click();
      QCOMPARE(window.focusWidget(), window.edtfilename);
    }
    QCOMPARE(answerer.boxes.size(), size_t{2 + 6});
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("请先导入文件!"));
    QCOMPARE(answerer.boxes[1].text, QStringLiteral("输出目录不存在!"));
    for (size_t i = 2; i < answerer.boxes.size(); ++i) {
      QCOMPARE(answerer.boxes[i].text, QStringLiteral("输出文件名不符合格式!"));
    }
    for (const SeenBox& box : answerer.boxes) {
      QCOMPARE(box.title, QStringLiteral("提示"));
      QCOMPARE(box.icon, QMessageBox::Warning);
      QCOMPARE(box.buttons, 1);
    }
    QVERIFY(window.result() != QDialog::Accepted);
  }

  void packWindowStartsTheJobAndCloses() {
    WriteBytes(Path("p1.txt"), "hello");
    WriteBytes(Path("p2.txt"), "world");
    WriteBytes(Path("p-empty"), "");
    WriteBytes(Path("p-gone"), "soon gone");
    Tsmfm window(Context());
    window.show();
    window.AddFiles({Path("p1.txt"), Path("p-empty"), Path("p-gone"), Path("p2.txt")},
                    QStringLiteral("字节"));
    QFile::remove(Path("p-gone"));
    window.Edit1->setText(temp_.path());
    window.edtfilename->setText(QStringLiteral("window.pak"));
    window.chkcmp->click();
    window.rbmd5->click();
    window.chkdel->click();
    window.btn1->click();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(!window.isVisible());
    const std::vector<std::string> lines = log_->WaitForLine(kPackDone);
    const std::string md5 = Md5Hex(Md5OfText("hello"));
    const std::string md5_2 = Md5Hex(Md5OfText("world"));
    const std::string path = Utf8(Path("p1.txt"));
    const std::string path_2 = Utf8(Path("p2.txt"));
    const std::vector<std::string> expected = {"正在生成文件MD5值...",
                                               path + "   MD5值:",
                                               md5,
                                               path_2 + "   MD5值:",
                                               md5_2,
                                               "正在打包第1个文件,剩余1个文件...",
                                               "正在打包第2个文件,剩余0个文件...",
                                               kPackDone};
    QCOMPARE(lines, expected);
    PackHeader header;
    QCOMPARE(PackHeaderOf(Path("window.pak"), "", header), HeaderStatus::Ok);
    QVERIFY(header.check_kind == ChecksumKind::Md5);
    QCOMPARE(header.file_count, int64_t{2});
    QVERIFY(!QFileInfo::exists(Path("p1.txt")));  // deleted after packing
    QVERIFY(!QFileInfo::exists(Path("p2.txt")));
    QVERIFY(QFileInfo::exists(Path("p-empty")));  // never listed, never deleted
    QVERIFY(ReadBytes(Path("window.pak")).rfind("helloworld", 0) == 0);
  }

  void passwordBoxFollowsTheDialog() {
    WriteBytes(Path("s.txt"), "secret");
    Tsmfm window(Context());
    ModalAnswerer answerer;
    // Closing without a password clears the box again.
    window.chkpwd->click();
    QVERIFY(!window.chkpwd->isChecked());
    QVERIFY(!window.btnpwd->isEnabled());
    QVERIFY(password_->Password().isEmpty());

    answerer.on_password = [&](Tspwd1* dialog) { AcceptPassword(dialog, QStringLiteral("abc12")); };
    window.chkpwd->click();
    QVERIFY(window.chkpwd->isChecked());
    QVERIFY(window.btnpwd->isEnabled());
    QCOMPARE(password_->Password(), QStringLiteral("abc12"));
    // A later showing that is cancelled keeps the password and the box.
    answerer.on_password = nullptr;
    window.btnpwd->click();
    QVERIFY(window.chkpwd->isChecked());
    QCOMPARE(password_->Password(), QStringLiteral("abc12"));

    window.AddFiles({Path("s.txt")}, QStringLiteral("字节"));
    window.Edit1->setText(temp_.path());
    window.edtfilename->setText(QStringLiteral("locked.pak"));
    window.btn1->click();
    log_->WaitForLine(kPackDone);
    PackHeader header;
    QCOMPARE(PackHeaderOf(Path("locked.pak"), "abc12", header), HeaderStatus::Ok);
    QCOMPARE(PackHeaderOf(Path("locked.pak"), "", header), HeaderStatus::WrongPassword);

    // A fresh window starts with the box clear; packing then ignores the held password.
    log_->Clear();
    Tsmfm second(Context());
    QVERIFY(!second.chkpwd->isChecked());
    second.AddFiles({Path("s.txt")}, QStringLiteral("字节"));
    second.Edit1->setText(temp_.path());
    second.edtfilename->setText(QStringLiteral("open.pak"));
    second.btn1->click();
    log_->WaitForLine(kPackDone);
    QCOMPARE(PackHeaderOf(Path("open.pak"), "whatever", header), HeaderStatus::Ok);

    // Clearing the box empties the held password.
    Tsmfm third(Context());
    answerer.on_password = nullptr;
    third.chkpwd->click();  // the dialog holds "abc12", so cancelling keeps the box ticked
    QVERIFY(third.chkpwd->isChecked());
    third.chkpwd->click();
    QVERIFY(password_->Password().isEmpty());
    QVERIFY(!third.btnpwd->isEnabled());
  }

  void unpackWindowFollowsThePack() {
    Tsdfm window(Context());
    QCOMPARE(window.windowTitle(), QStringLiteral("解包文件"));
    QVERIFY(window.CheckBox1->isChecked());
    QVERIFY(!window.Edit2->isEnabled());
    QVERIFY(!window.SpeedButton2->isEnabled());
    QVERIFY(!window.edtpwd->isEnabled());
    QCOMPARE(window.edtpwd->echoMode(), QLineEdit::Password);
    QVERIFY(!window.chktruecmp->isChecked() && !window.chkdel->isChecked());
    QVERIFY(window.btn1->isDefault());

    window.Edit1->setText(QStringLiteral("/a/b.pak"));
    QCOMPARE(window.Edit2->text(), QStringLiteral("/a"));
    QCOMPARE(window.Edit2->toolTip(), QStringLiteral("/a"));
    window.Edit1->setText(QStringLiteral("/b.pak"));
    QCOMPARE(window.Edit2->text(), QStringLiteral("/"));

    window.CheckBox1->click();
    QVERIFY(window.Edit2->isEnabled() && window.SpeedButton2->isEnabled());
    QCOMPARE(window.Edit2->text(), QStringLiteral("/"));
    window.Edit1->setText(QStringLiteral("/x/y/z.pak"));
    QCOMPARE(window.Edit2->text(), QStringLiteral("/"));
    window.CheckBox1->click();
    QVERIFY(!window.Edit2->isEnabled());
    QCOMPARE(window.Edit2->text(), QStringLiteral("/x/y"));

    window.chkispwd->click();
    QVERIFY(window.edtpwd->isEnabled());
    window.edtpwd->setText(QStringLiteral("typed"));
    window.chkispwd->click();
    QVERIFY(!window.edtpwd->isEnabled());
    QVERIFY(window.edtpwd->text().isEmpty());

    ModalAnswerer answerer;
    answerer.on_file_dialog = [&](QFileDialog* dialog) {
      QCOMPARE(dialog, window.OpenDialog1);
      WriteBytes(Path("chosen.pak"), "x");
      ChooseAndAccept(dialog, Path("chosen.pak"));
    };
    window.SpeedButton1->click();
    QCOMPARE(window.Edit1->text(), Path("chosen.pak"));
    QCOMPARE(window.Edit1->toolTip(), Path("chosen.pak"));
    QCOMPARE(window.Edit2->text(), temp_.path());
  }

  void folderPickersFillTheirEdits() {
    QDir(temp_.path()).mkdir(QStringLiteral("picked"));
    ModalAnswerer answerer;
    QString title;
    answerer.on_file_dialog = [&](QFileDialog* dialog) {
      title = dialog->windowTitle();
      ChooseAndAccept(dialog, Path("picked"));
    };
    Tsmfm pack(Context());
    pack.Edit1->setText(QStringLiteral("before"));
    pack.SpeedButton4->click();
    QCOMPARE(title, QStringLiteral("选择一个目录,打包的文件将释放到您选择的目录"));
    QCOMPARE(pack.Edit1->text(), Path("picked"));

    Tsdfm unpack(Context());
    unpack.CheckBox1->click();
    unpack.SpeedButton2->click();
    QCOMPARE(title, QStringLiteral("选择一个目录,解包的文件将释放到您选择的目录"));
    QCOMPARE(unpack.Edit2->text(), Path("picked"));

    // A cancelled picker leaves the text.
    answerer.on_file_dialog = nullptr;
    pack.SpeedButton4->click();
    unpack.SpeedButton2->click();
    QCOMPARE(pack.Edit1->text(), Path("picked"));
    QCOMPARE(unpack.Edit2->text(), Path("picked"));
  }

  void unpackWindowRefusals() {
    Tsdfm window(Context());
    ModalAnswerer answerer;
    window.Edit1->setText(Path("no-such.pak"));
    window.chkdel->setFocus();
    window.btn1->click();
    QCOMPARE(window.focusWidget(), window.Edit1);
    WriteBytes(Path("exists.pak"), "x");
    window.Edit1->setText(Path("exists.pak"));
    window.CheckBox1->click();
    window.Edit2->setText(Path("no-such-dir"));
    window.chkdel->setFocus();
    window.btn1->click();
    QCOMPARE(window.focusWidget(), window.chkdel);  // the focus stays where it was
    QCOMPARE(answerer.boxes.size(), size_t{2});
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("文件不存在!"));
    QCOMPARE(answerer.boxes[1].text, QStringLiteral("目的目录不存在!"));
    QCOMPARE(answerer.boxes[1].title, QStringLiteral("提示"));
    QVERIFY(window.result() != QDialog::Accepted);
    QVERIFY(log_->Lines().empty());  // no job started
  }

  void unpackWindowStartsTheJob() {
    QDir(temp_.path()).mkdir(QStringLiteral("u"));
    WriteBytes(Path("u/in.txt"), "packed bytes");
    TSMWorkInfos infos;
    infos.Paths = {Utf8(Path("u/in.txt"))};
    infos.Sizes = {"12"};
    infos.CheckKind = ChecksumKind::Crc32;
    infos.Password = "Pass1";
    infos.OutName = "u.pak";
    auto pack_log = std::make_shared<TestLog>();
    auto packer = TSMfile::Create(Utf8(temp_.path()), infos, JobHost{pack_log, nullptr});
    QVERIFY(packer->WaitFinished(std::chrono::seconds(30)));
    QFile::remove(Path("u/in.txt"));

    Tsdfm window(Context());
    window.Edit1->setText(Path("u.pak"));
    window.CheckBox1->click();
    window.Edit2->setText(Path("u"));
    window.chkispwd->click();
    window.edtpwd->setText(QStringLiteral("Pass1"));
    window.chkdel->click();
    window.btn1->click();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    const std::vector<std::string> lines = log_->WaitForLine(kUnpackDone);
    const std::vector<std::string> expected = {
        "正在分析文件...", "正在解包第1个文件,剩余0个文件...", "正在校验文件...",
        "in.txt与原文件相同!", kUnpackDone};
    QCOMPARE(lines, expected);
    QCOMPARE(ReadBytes(Path("u/in.txt")), std::string("packed bytes"));
    QVERIFY(!QFileInfo::exists(Path("u.pak")));
  }
};

}  // namespace

QTEST_MAIN(PackWindowsTest)
#include "pack_windows_test.moc"
