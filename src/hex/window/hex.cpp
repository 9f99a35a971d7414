#include "hex/window/hex.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <optional>
#include <vector>

#include "hex/model/byte_values.h"
#include "hex/model/find.h"
#include "hex/model/hex_error_text.h"
#include "hex/widget/mphexeditor.h"
#include "hex/window/hexfm_goto.h"
#include "hex/window/hexfm_info.h"
#include "hex/window/hexfm_inspector.h"

namespace qarvo::hex {
namespace {

constexpr char kDecimalOffsets[] = "a:|";
constexpr char kHexOffsets[] = "-!10:0x|";

void SetUpView(TMPHexEditorEx* view) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  view->setFont(font);
  view->ChangeSettings([](HexEditorSettings& s) {
    s.bytes_per_row = 16;
    s.translation = tkAsIs;
    s.offset_format = kHexOffsets;
    s.show_ruler = true;
    s.show_position_if_not_focused = true;
    s.focus_frame = true;
    s.draw_grid_lines = false;
    s.backup_extension = ".bak";
  });
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  setMinimumSize(kBaseWidth, kBaseHeight);
  resize(kBaseWidth, kBaseHeight);
  // A closed window goes, and the file's bytes with it.
  setAttribute(Qt::WA_DeleteOnClose);
  MPHexEditorEx1 =
      Place(new TMPHexEditorEx(this), "MPHexEditorEx1", {0, 0, kBaseWidth, kViewHeight});
  SetUpView(MPHexEditorEx1);
  inspector = new THexInspector(this);
  inspector->hide();
  PlaceControls();
  for (QObject* child : children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && widget != MPHexEditorEx1 && widget != inspector &&
        !widget->isWindow()) {
      bottom_places_.append({widget, widget->geometry()});
    }
  }
  BuildDialogs();
  BuildActions();
  BuildPopupMenu();
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

void Thexfm::BuildDialogs() {
  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  // "*.*" would miss the many Linux files without a dot in their names.
  OpenDialog1->setNameFilter(QStringLiteral("任何文件(*)"));

  SaveDialog1 = new QFileDialog(this);
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  SaveDialog1->setWindowTitle(QStringLiteral("另存为"));
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  // The window asks itself, in its own words, before anything is replaced.
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
  SaveDialog1->setNameFilter(QStringLiteral("任何文件(*)"));
}

void Thexfm::BuildActions() {
  acEditFind = new QAction(QStringLiteral("查找数据"), this);
  acEditFind->setObjectName(QStringLiteral("acEditFind"));
  acEditFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  actEditFindNext = new QAction(QStringLiteral("查找下一个"), this);
  actEditFindNext->setObjectName(QStringLiteral("actEditFindNext"));
  actEditFindNext->setShortcut(QKeySequence(Qt::Key_F3));
  addAction(acEditFind);
  addAction(actEditFindNext);

  actEditFindPrev = new QAction(QStringLiteral("查找上一个"), this);
  actEditFindPrev->setObjectName(QStringLiteral("actEditFindPrev"));
  actEditFindPrev->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
  acGoto = new QAction(QStringLiteral("转到..."), this);
  acGoto->setObjectName(QStringLiteral("acGoto"));
  acGoto->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  acSaveAs = new QAction(QStringLiteral("另存为..."), this);
  acSaveAs->setObjectName(QStringLiteral("acSaveAs"));
  acSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  acInspector = new QAction(QStringLiteral("数据查看器"), this);
  acInspector->setObjectName(QStringLiteral("acInspector"));
  acInspector->setCheckable(true);
  acInspector->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  for (QAction* action : {actEditFindPrev, acGoto, acSaveAs, acInspector}) {
    addAction(action);
  }

  mnuEncoding = new QMenu(QStringLiteral("字符编码"), this);
  mnuEncoding->setObjectName(QStringLiteral("mnuEncoding"));
  encodings = new QActionGroup(this);
  encodings->setObjectName(QStringLiteral("encodings"));
  const std::pair<const char*, TextEncoding> choices[] = {
      {"Windows-1252(西文)", TextEncoding::kControl},
      {"UTF-8", TextEncoding::kUtf8},
      {"GB18030(简体中文,含 GBK)", TextEncoding::kGb18030}};
  for (const auto& [caption, encoding] : choices) {
    QAction* choice = mnuEncoding->addAction(QString::fromUtf8(caption));
    choice->setCheckable(true);
    choice->setData(static_cast<int>(encoding));
    choice->setChecked(encoding == TextEncoding::kControl);
    encodings->addAction(choice);
  }
}

void Thexfm::BuildPopupMenu() {
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
  acCopyHex = new QAction(QStringLiteral("复制为十六进制"), this);
  acCopyHex->setObjectName(QStringLiteral("acCopyHex"));
  PopupMenu1->addAction(acCopyHex);
  PopupMenu1->addAction(acEditFind);
  PopupMenu1->addAction(actEditFindNext);
  PopupMenu1->addAction(actEditFindPrev);
  PopupMenu1->addAction(acGoto);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(acSaveAs);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(acInspector);
  PopupMenu1->addMenu(mnuEncoding);
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
  connect(actEditFindPrev, &QAction::triggered, this, &Thexfm::actEditFindPrevExecute);
  connect(acGoto, &QAction::triggered, this, &Thexfm::acGotoExecute);
  connect(acCopyHex, &QAction::triggered, this, &Thexfm::acCopyHexExecute);
  connect(acSaveAs, &QAction::triggered, this, &Thexfm::acSaveAsExecute);
  connect(acInspector, &QAction::triggered, this, &Thexfm::acInspectorExecute);
  connect(encodings, &QActionGroup::triggered, this,
          [this](QAction* choice) { SetCharEncoding(choice->data().toInt()); });
  connect(inspector, &THexInspector::byteOrderChanged, this, &Thexfm::UpdateInspector);
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
  actEditFindPrev->setEnabled(actEditFindNext->isEnabled());
  acGoto->setEnabled(has_data);
  acCopyHex->setEnabled(has_data && view->SelectionCount() > 0);
  acSaveAs->setEnabled(has_data || view->Modified());
  // A double-byte column shows UTF-16 whatever the choice.
  mnuEncoding->setEnabled(!view->Settings().unicode_chars);
  UpdateInspector();
}

void Thexfm::UpdateInspector() {
  if (!inspector->isVisible()) {
    return;
  }
  const TMPHexEditorEx* view = MPHexEditorEx1;
  const int64_t caret = view->CaretPosition();
  std::vector<uint8_t> bytes;
  if (caret >= 0 && caret < view->DataSize()) {
    bytes.resize(static_cast<size_t>(std::min<int64_t>(kInspectedBytes, view->DataSize() - caret)));
    view->ReadContent(caret, bytes);
  }
  inspector->ShowBytes(bytes);
}

void Thexfm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOut();
}

void Thexfm::LayOut() {
  const int side = inspector->isVisibleTo(this) ? kInspectorWidth : 0;
  const int extra_height = height() - kBaseHeight;
  MPHexEditorEx1->setGeometry(0, 0, width() - side, kViewHeight + extra_height);
  inspector->setGeometry(width() - side, 0, side, height());
  for (const auto& [widget, place] : bottom_places_) {
    widget->move(place.left(), place.top() + extra_height);
  }
}

void Thexfm::acInspectorExecute() {
  const bool show = acInspector->isChecked();
  if (show == inspector->isVisibleTo(this)) {
    return;
  }
  inspector->setVisible(show);
  // The view keeps its width: the window grows or shrinks by the panel.
  const int width_wanted = width() + (show ? kInspectorWidth : -kInspectorWidth);
  setMinimumSize(kBaseWidth + (show ? kInspectorWidth : 0), kBaseHeight);
  if (!isMaximized() && !isFullScreen()) {
    resize(width_wanted, height());
    // A window that grew past the screen's edge moves back onto it.
    const QRect screen_area = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    if (frame.right() > screen_area.right()) {
      move(std::max(screen_area.left(), x() - (frame.right() - screen_area.right())), y());
    }
  }
  LayOut();
  UpdateInspector();
}

void Thexfm::SetCharEncoding(int encoding) {
  MPHexEditorEx1->SetCharEncoding(static_cast<TextEncoding>(encoding));
  for (QAction* choice : encodings->actions()) {
    choice->setChecked(choice->data().toInt() == encoding);
  }
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

void Thexfm::MPHexEditorEx1Progress(int kind, const QString& /*name*/, int percent,
                                    bool* /*cancel*/) {
  Label4->setText(
      (kind == pkSave ? QStringLiteral("正在保存文件...%1%") : QStringLiteral("正在读取文件...%1%"))
          .arg(percent));
  Label4->repaint();
}

void Thexfm::rbdecClick() {
  SetOffsetBase(10);
}

void Thexfm::rbhexClick() {
  SetOffsetBase(16);
}

void Thexfm::SetOffsetBase(int base) {
  MPHexEditorEx1->ChangeSettings([base](HexEditorSettings& s) {
    s.offset_format = base == 10 ? kDecimalOffsets : kHexOffsets;
    s.ruler_number_base = base;
  });
  UpdateStatus();
}

void Thexfm::chkdoubleClick() {
  try {
    MPHexEditorEx1->ChangeSettings(
        [](HexEditorSettings& s) { s.unicode_chars = !s.unicode_chars; });
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8(e.what()));
  }
  // The box shows the mode the view is in, also after a refusal.
  chkdouble->setChecked(MPHexEditorEx1->Settings().unicode_chars);
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
  const bool confirmed = RunFindDialog(this, find_, MPHexEditorEx1->Settings().swap_nibbles);
  // Enables "查找下一个" once there is something to search for.
  UpdateStatus();
  if (confirmed) {
    actEditFindNextExecute();
  }
}

void Thexfm::actEditFindNextExecute() {
  SearchStep(false);
}

void Thexfm::actEditFindPrevExecute() {
  SearchStep(true);
}

void Thexfm::SearchStep(bool backward) {
  if (find_.FindData.empty()) {
    return;
  }
  TMPHexEditorEx* view = MPHexEditorEx1;
  const int64_t size = view->DataSize();
  std::string pattern;
  if (find_.FindIsText && view->CharEncoding() != TextEncoding::kControl &&
      !view->Settings().unicode_chars) {
    // A word is searched as the column reads the data, so Chinese text finds its bytes.
    bool ok = false;
    const std::string bytes = EncodeText(view->CharEncoding(), find_.FindText.toStdString(), ok);
    if (!ok) {
      ShowError(QStringLiteral("查找的文字不能用所选的字符编码表示!"));
      return;
    }
    pattern = view->PrepareSearchData(bytes, find_.FindIgnoreCase, false);
  } else {
    pattern = find_.FindIsText
                  ? view->PrepareSearchText(find_.FindText, find_.FindIgnoreCase)
                  : view->PrepareSearchData(find_.FindData, find_.FindIgnoreCase, false);
  }
  if (pattern.size() % static_cast<size_t>(std::max(1, view->Settings().bytes_per_unit)) != 0) {
    ShowError(QStringLiteral("查找的字符串必须是一个多字节数据!"));
    return;
  }
  const auto length = static_cast<int64_t>(pattern.size());
  int64_t found = -1;
  bool wrapped = false;
  if (!backward) {
    const int64_t start =
        FindNextStart(view->CaretPosition(), find_.FindData.size(), view->SelectionCount());
    if (start < size) {
      found = view->Find(pattern, start, size - 1, find_.FindIgnoreCase);
    }
    if (found < 0 && find_.FindWrap && size > 0) {
      // From the start up to where this search began, a match there may run into it.
      const int64_t stop = std::min(size - 1, std::max<int64_t>(0, start) + length - 2);
      found = view->Find(pattern, 0, stop, find_.FindIgnoreCase);
      wrapped = found >= 0;
    }
  } else {
    // Before the current match, or before the caret when nothing is selected.
    const int64_t anchor = view->SelectionCount() > 0
                               ? std::min(view->SelectionStart(), view->SelectionEnd())
                               : view->CaretPosition();
    found = view->FindBackward(pattern, anchor - 1, 0, find_.FindIgnoreCase);
    if (found < 0 && find_.FindWrap) {
      found = view->FindBackward(pattern, size - 1, 0, find_.FindIgnoreCase);
      wrapped = found >= 0;
    }
  }
  if (found < 0) {
    Label4->clear();
    QMessageBox::warning(view, QStringLiteral("提示"), QStringLiteral("找不到该字符串!"));
    return;
  }
  Label4->setText(!wrapped   ? QString()
                  : backward ? QStringLiteral("已查找到数据开头,从末尾继续查找")
                             : QStringLiteral("已查找到数据末尾,从开头继续查找"));
  view->SetCaretPosition(found + length - 1);
  view->SetSelectionEnd(found);
  view->ScrollToCaret();
}

void Thexfm::acGotoExecute() {
  TMPHexEditorEx* view = MPHexEditorEx1;
  if (view->DataSize() <= 0) {
    return;
  }
  TdlgGoto dialog(this, std::max<int64_t>(0, view->CaretPosition()), view->DataSize(),
                  view->Settings().bytes_per_unit);
  if (dialog.exec() != QDialog::Accepted) {
    return;
  }
  view->SetCaretPosition(dialog.Position());
  view->ScrollToCaret();
  view->setFocus();
}

void Thexfm::acCopyHexExecute() {
  TMPHexEditorEx* view = MPHexEditorEx1;
  const int64_t count = view->SelectionCount();
  if (count <= 0) {
    return;
  }
  // Three characters a byte; beyond this the text would be no use on a clipboard.
  constexpr int64_t kMostBytes = int64_t{16} << 20;
  if (count > kMostBytes) {
    ShowError(QStringLiteral("选择区域太大,不能复制为十六进制(最多 16MB)!"));
    return;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  view->ReadContent(std::min(view->SelectionStart(), view->SelectionEnd()), bytes);
  static const char kDigits[] = "0123456789ABCDEF";
  QString text;
  text.reserve(static_cast<qsizetype>(count * 3));
  for (uint8_t b : bytes) {
    if (!text.isEmpty()) {
      text += QLatin1Char(' ');
    }
    text += QLatin1Char(kDigits[b >> 4]);
    text += QLatin1Char(kDigits[b & 15]);
  }
  QGuiApplication::clipboard()->setText(text);
}

bool Thexfm::acSaveAsExecute() {
  TMPHexEditorEx* view = MPHexEditorEx1;
  if (!view->FileName().isEmpty()) {
    SaveDialog1->setDirectory(QFileInfo(view->FileName()).absolutePath());
  }
  if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty()) {
    return false;
  }
  const QString path = SaveDialog1->selectedFiles().front();
  const QFileInfo target(path);
  if (target.isDir()) {
    ShowError(QStringLiteral("“%1”是一个文件夹,请另选一个文件名!").arg(path));
    return false;
  }
  if (target.exists()) {
    const bool is_source =
        !view->FileName().isEmpty() &&
        target.canonicalFilePath() == QFileInfo(view->FileName()).canonicalFilePath();
    QMessageBox ask(
        QMessageBox::Warning, QStringLiteral("另存为"),
        is_source ? QStringLiteral("“%1”就是当前打开的文件。要用修改后的内容覆盖它吗?"
                                   "覆盖后原来的内容无法恢复。")
                        .arg(target.absoluteFilePath())
                  : QStringLiteral("文件“%1”已存在。要替换它吗?").arg(target.absoluteFilePath()),
        QMessageBox::Ok | QMessageBox::Cancel, this);
    ask.button(QMessageBox::Ok)
        ->setText(is_source ? QStringLiteral("覆盖") : QStringLiteral("替换"));
    ask.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    ask.setDefaultButton(QMessageBox::Cancel);
    if (ask.exec() != QMessageBox::Ok) {
      return false;
    }
  }
  const int64_t caret = std::max<int64_t>(0, view->CaretPosition());
  const int64_t top = view->TopRow();
  std::optional<QString> error;
  try {
    view->SaveCopyTo(path);
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  }
  Label4->clear();
  if (error) {
    ShowError(QStringLiteral("文件“%1”没有保存:%2").arg(target.absoluteFilePath(), *error));
    return false;
  }
  // From now on the window shows the saved file, with nothing left unsaved.
  OpenFile(path);
  if (caret < view->DataSize()) {
    view->SetCaretPosition(caret);
    view->SetTopRow(top);
  }
  return true;
}

bool Thexfm::ConfirmDiscard() {
  if (!MPHexEditorEx1->Modified()) {
    return true;
  }
  QMessageBox ask(QMessageBox::Question, QStringLiteral("提示"),
                  QStringLiteral("数据已修改,还没有保存。关闭窗口将放弃这些修改。"),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  ask.button(QMessageBox::Save)->setText(QStringLiteral("另存为..."));
  ask.button(QMessageBox::Discard)->setText(QStringLiteral("放弃修改"));
  ask.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
  ask.setDefaultButton(QMessageBox::Cancel);
  ask.setEscapeButton(QMessageBox::Cancel);
  switch (ask.exec()) {
    case QMessageBox::Discard:
      return true;
    case QMessageBox::Save:
      return acSaveAsExecute();
    default:
      return false;
  }
}

void Thexfm::closeEvent(QCloseEvent* event) {
  if (!ConfirmDiscard()) {
    event->ignore();
    return;
  }
  // QDialog closes through reject(), which must not ask a second time.
  discard_confirmed_ = true;
  QDialog::closeEvent(event);
  discard_confirmed_ = false;
}

void Thexfm::reject() {
  if (discard_confirmed_ || ConfirmDiscard()) {
    QDialog::reject();
  }
}

}  // namespace qarvo::hex
