#include "hexview/hex.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <optional>

#include "hexview/hex_error_text.h"
#include "hexview/hexfm_info.h"
#include "hexview/mphexeditor.h"

namespace qarvo::hex {
namespace {

constexpr char kDecimalOffsets[] = "a:|";
constexpr char kHexOffsets[] = "-!10:0x|";

void SetUpView(TMPHexEditorEx* view) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  view->setFont(font);
  view->SetBytesPerRow(16);
  view->SetTranslation(TMPHexEditorEx::tkAsIs);
  view->SetOffsetFormat(QString::fromLatin1(kHexOffsets));
  view->SetShowRuler(true);
  view->SetShowPositionIfNotFocused(true);
  view->SetFocusFrame(true);
  view->SetDrawGridLines(false);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->SetBackupExtension(QStringLiteral(".bak"));
  const QPalette palette = view->palette();
  TMPHColors* colors = view->Colors();
  colors->SetBackground(palette.color(QPalette::Base));
  colors->SetChangedBackground(QColor(255, 255, 168));
  colors->SetChangedText(QColor(128, 0, 0));
  colors->SetCursorFrame(QColor(0, 0, 128));
  colors->SetOffset(Qt::black);
  colors->SetOddColumn(QColor(0, 0, 255));
  colors->SetEvenColumn(QColor(0, 0, 128));
  colors->SetCurrentOffsetBackground(palette.color(QPalette::Dark));
  colors->SetOffsetBackground(palette.color(QPalette::Button));
  colors->SetCurrentOffset(palette.color(QPalette::Light));
  colors->SetGrid(palette.color(QPalette::Button));
  colors->SetNonFocusCursorFrame(QColor(0, 255, 255));
  colors->SetActiveFieldBackground(palette.color(QPalette::Base));
}

// Names a child and puts it at its place in the fixed layout.
template <class Widget>
Widget* Place(Widget* widget, const char* name, const QRect& place) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(place);
  return widget;
}

}  // namespace

Thexfm::Thexfm(QWidget* owner, SizeText size_text)
    : QDialog(owner), size_text_(std::move(size_text)) {
  setObjectName(QStringLiteral("hexfm"));
  setWindowTitle(QStringLiteral("文件十六进制查看"));
  setFixedSize(634, 399);
  // A closed window goes, and the file's bytes with it.
  setAttribute(Qt::WA_DeleteOnClose);
  MPHexEditorEx1 = Place(new TMPHexEditorEx(this), "MPHexEditorEx1", {0, 0, 634, 273});
  SetUpView(MPHexEditorEx1);
  PlaceControls();
  BuildActions();
  ConnectControls();

  // The window starts with decimal offsets, as the checked "十进制" says.
  rbdecClick();
  UpdateStatus();
  move(screen()->availableGeometry().center() - rect().center());
}

Thexfm::~Thexfm() = default;

void Thexfm::PlaceControls() {
  QFont label_font(QStringLiteral("宋体"));
  label_font.setPixelSize(12);

  btnfile = Place(new QPushButton(QStringLiteral("选择文件"), this), "btnfile", {328, 281, 90, 25});
  btnfind =
      Place(new QPushButton(QStringLiteral(" 查找数据"), this), "btnfind", {428, 281, 90, 25});
  btnfindnaxt =
      Place(new QPushButton(QStringLiteral("查找下一个"), this), "btnfindnaxt", {528, 281, 96, 25});

  Label3 = Place(new QLabel(QStringLiteral("偏移格式-->"), this), "Label3", {328, 318, 72, 16});
  rbhex = Place(new QRadioButton(QStringLiteral("十六进制"), this), "rbhex", {402, 315, 76, 20});
  rbdec = Place(new QRadioButton(QStringLiteral("十进制"), this), "rbdec", {478, 315, 62, 20});
  rbdec->setChecked(true);
  chkdouble =
      Place(new QCheckBox(QStringLiteral("双字节显示"), this), "chkdouble", {540, 315, 94, 20});

  lblpos = Place(new QLabel(QStringLiteral("当前位置"), this), "lblpos", {328, 342, 300, 16});
  lblsel = Place(new QLabel(QStringLiteral("选择区域"), this), "lblsel", {328, 360, 300, 16});
  Label4 = Place(new QLabel(this), "Label4", {328, 378, 300, 16});

  GroupBox1 =
      Place(new QGroupBox(QStringLiteral("文件信息"), this), "GroupBox1", {8, 279, 310, 112});
  const char* const info_names[] = {"Label1", "Label5", "Label2", "Label6"};
  const QString info_captions[] = {QStringLiteral("文件大小"), QStringLiteral("文件属性"),
                                   QStringLiteral("创建日期"), QStringLiteral("修改日期")};
  QLabel* info[4];
  for (int i = 0; i < 4; ++i) {
    info[i] =
        Place(new QLabel(info_captions[i], GroupBox1), info_names[i], {10, 20 + 22 * i, 295, 16});
  }
  Label1 = info[0];
  Label5 = info[1];
  Label2 = info[2];
  Label6 = info[3];
  for (QLabel* label : {Label3, lblpos, lblsel, Label4, Label1, Label5, Label2, Label6}) {
    label->setFont(label_font);
  }
}

void Thexfm::BuildActions() {
  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  // "*.*" would miss the many Linux files without a dot in their names.
  OpenDialog1->setNameFilter(QStringLiteral("任何文件(*)"));

  acEditFind = new QAction(QStringLiteral("查找数据"), this);
  acEditFind->setObjectName(QStringLiteral("acEditFind"));
  acEditFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  actEditFindNext = new QAction(QStringLiteral("查找下一个"), this);
  actEditFindNext->setObjectName(QStringLiteral("actEditFindNext"));
  actEditFindNext->setShortcut(QKeySequence(Qt::Key_F3));
  addAction(acEditFind);
  addAction(actEditFindNext);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  QAction* copy = PopupMenu1->addAction(QStringLiteral("复制"), this, &Thexfm::copyClick);
  copy->setObjectName(QStringLiteral("copy"));
  copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  copy->setShortcutContext(Qt::WidgetShortcut);  // the view handles the key itself
  QAction* selectall = PopupMenu1->addAction(QStringLiteral("全选"), this, &Thexfm::selectallClick);
  selectall->setObjectName(QStringLiteral("selectall"));
  selectall->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  selectall->setShortcutContext(Qt::WidgetShortcut);
  PopupMenu1->addAction(acEditFind);
  PopupMenu1->addAction(actEditFindNext);
  MPHexEditorEx1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(MPHexEditorEx1, &QWidget::customContextMenuRequested, this,
          [this] { PopupMenu1->popup(QCursor::pos()); });
}

void Thexfm::ConnectControls() {
  connect(btnfile, &QPushButton::clicked, this, &Thexfm::btnfileClick);
  connect(btnfind, &QPushButton::clicked, acEditFind, &QAction::trigger);
  connect(btnfindnaxt, &QPushButton::clicked, actEditFindNext, &QAction::trigger);
  connect(acEditFind, &QAction::triggered, this, &Thexfm::acEditFindExecute);
  connect(actEditFindNext, &QAction::triggered, this, &Thexfm::actEditFindNextExecute);
  connect(rbdec, &QRadioButton::clicked, this, &Thexfm::rbdecClick);
  connect(rbhex, &QRadioButton::clicked, this, &Thexfm::rbhexClick);
  connect(chkdouble, &QCheckBox::clicked, this, &Thexfm::chkdoubleClick);
  connect(MPHexEditorEx1, &TMPHexEditorEx::progress, this, &Thexfm::MPHexEditorEx1Progress);
  connect(MPHexEditorEx1, &TMPHexEditorEx::selectionChanged, this, &Thexfm::UpdateStatus);
  connect(MPHexEditorEx1, &TMPHexEditorEx::changed, this, &Thexfm::UpdateStatus);
  connect(MPHexEditorEx1, &TMPHexEditorEx::sourceChanged, this, [this] {
    Label4->setText(QStringLiteral("文件已被其他程序改动,显示的内容可能与文件不符。"));
  });
}

void Thexfm::ShowError(const QString& text) {
  QMessageBox::critical(this, QStringLiteral("错误"),
                        QString::fromStdString(UserErrorText(text.toStdString())));
}

void Thexfm::UpdateStatus() {
  TMPHexEditorEx* view = MPHexEditorEx1;
  lblpos->setText(
      QStringLiteral("当前位置:%1").arg(view->OffsetText(view->CaretPosition()).trimmed()));
  const int64_t a = view->SelectionStart();
  const int64_t b = view->SelectionEnd();
  lblsel->setText(QStringLiteral("选择区域:%1-%2")
                      .arg(view->OffsetText(std::min(a, b)).trimmed(),
                           view->OffsetText(std::max(a, b)).trimmed()));
  const bool has_data = view->DataSize() > 0;
  acEditFind->setEnabled(has_data);
  actEditFindNext->setEnabled(has_data && !find_.FindData.empty());
  btnfind->setEnabled(acEditFind->isEnabled());
  btnfindnaxt->setEnabled(actEditFindNext->isEnabled());
}

void Thexfm::btnfileClick() {
  const QString path =
      OpenDialog1->exec() == QDialog::Accepted && !OpenDialog1->selectedFiles().isEmpty()
          ? OpenDialog1->selectedFiles().front()
          : QString();
  OpenFile(path);
}

void Thexfm::OpenFile(const QString& path) {
  if (path.isEmpty()) {
    return;
  }
  setWindowTitle(QStringLiteral("文件十六进制查看->") + QFileInfo(path).absoluteFilePath());
  GroupBox1->show();
  const HexFileInfoLines lines = FileInfoLines(path.toStdString(), size_text_);
  Label1->setText(lines.size);
  Label5->setText(lines.attributes);
  Label2->setText(lines.creation);
  Label6->setText(lines.modification);
  btnfile->setEnabled(false);
  std::optional<QString> error;
  try {
    MPHexEditorEx1->LoadFromFile(path);
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  }
  btnfile->setEnabled(true);
  Label4->clear();
  if (error) {
    ShowError(*error);
  }
  UpdateStatus();
}

void Thexfm::MPHexEditorEx1Progress(int /*kind*/, const QString& /*name*/, int percent,
                                    bool* /*cancel*/) {
  Label4->setText(QStringLiteral("正在读取文件...%1%").arg(percent));
  Label4->repaint();
}

void Thexfm::rbdecClick() {
  MPHexEditorEx1->SetOffsetFormat(QString::fromLatin1(kDecimalOffsets));
  MPHexEditorEx1->SetRulerNumberBase(10);
  UpdateStatus();
}

void Thexfm::rbhexClick() {
  MPHexEditorEx1->SetOffsetFormat(QString::fromLatin1(kHexOffsets));
  MPHexEditorEx1->SetRulerNumberBase(16);
  UpdateStatus();
}

void Thexfm::chkdoubleClick() {
  try {
    MPHexEditorEx1->SetUnicodeChars(!MPHexEditorEx1->UnicodeChars());
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8(e.what()));
  }
  // The box shows the mode the view is in, also after a refusal.
  chkdouble->setChecked(MPHexEditorEx1->UnicodeChars());
  UpdateStatus();
}

void Thexfm::copyClick() {
  MPHexEditorEx1->CopyToClipboard();
}

void Thexfm::selectallClick() {
  MPHexEditorEx1->SelectAll();
}

void Thexfm::acEditFindExecute() {
  if (!acEditFind->isEnabled()) {
    return;
  }
  const bool confirmed = RunFindDialog(this, find_, MPHexEditorEx1->SwapNibbles());
  // Enables "查找下一个" once there is something to search for.
  UpdateStatus();
  if (confirmed) {
    actEditFindNextExecute();
  }
}

void Thexfm::actEditFindNextExecute() {
  if (find_.FindData.empty()) {
    return;
  }
  TMPHexEditorEx* view = MPHexEditorEx1;
  const int64_t start =
      FindNextStart(view->CaretPosition(), find_.FindData.size(), view->SelectionCount());
  int64_t found = -1;
  std::string pattern;
  if (start < view->DataSize()) {
    pattern = find_.FindIsText
                  ? view->PrepareSearchText(find_.FindText, find_.FindIgnoreCase)
                  : view->PrepareSearchData(find_.FindData, find_.FindIgnoreCase, false);
    if (pattern.size() % static_cast<size_t>(std::max(1, view->BytesPerUnit())) != 0) {
      ShowError(QStringLiteral("查找的字符串必须是一个多字节数据!"));
      return;
    }
    found = view->Find(pattern, start, view->DataSize() - 1, find_.FindIgnoreCase);
  }
  if (found < 0) {
    QMessageBox::warning(view, QStringLiteral("提示"), QStringLiteral("找不到该字符串!"));
    return;
  }
  view->SetCaretPosition(found + static_cast<int64_t>(pattern.size()) - 1);
  view->SetSelectionEnd(found);
  view->ScrollToCaret();
}

}  // namespace qarvo::hex
