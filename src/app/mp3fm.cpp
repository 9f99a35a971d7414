#include "app/mp3fm.h"

#include <exception>
#include <iterator>

#include "app/ui_common.h"
#include "platform/file.h"
#include "text/checks.h"
#include "tools/mp3cut.h"

namespace qarvo::ui {

namespace {

// Minutes and seconds above 60 become 60 as they are typed.
void LimitTo60(QLineEdit* box, const QString& text) {
  if (IsAllDigits(ToUtf8(text)) && text.toInt() > 60) {
    box->setText(QStringLiteral("60"));
  }
}

}  // namespace

Tmp3fm::Tmp3fm(const ToolContext& context)
    : ToolForm(context, QStringLiteral("MP3剪辑"), 392, 214) {
  lbl5 = AddLabel("lbl5", QStringLiteral("源文件"), 10, 12, 52, 20);
  edtmp3path = AddEdit("edtmp3path", 66, 10, 240, 23);
  btn1 = AddButton("btn1", QStringLiteral("浏览..."), 312, 10, 70, 23);
  lbl6 = AddLabel("lbl6", QStringLiteral("释放到"), 10, 42, 52, 20);
  edtdir = AddEdit("edtdir", 66, 40, 240, 23);
  edtdir->setEnabled(false);
  btn3 = AddButton("btn3", QStringLiteral("浏览..."), 312, 40, 70, 23);
  btn3->setEnabled(false);

  lbl2 = AddLabel("lbl2", QStringLiteral("播放时间"), 10, 76, 52, 20);
  edth1 = AddTimeBox("edth1", 66, 74);
  edtm1 = AddTimeBox("edtm1", 104, 74);
  edts1 = AddTimeBox("edts1", 142, 74);
  lbl3 = AddLabel("lbl3", QStringLiteral("起始时间"), 10, 106, 52, 20);
  edth2 = AddTimeBox("edth2", 66, 104);
  edtm2 = AddTimeBox("edtm2", 104, 104);
  edts2 = AddTimeBox("edts2", 142, 104);
  lbl4 = AddLabel("lbl4", QStringLiteral("结束时间"), 10, 136, 52, 20);
  edth3 = AddTimeBox("edth3", 66, 134);
  edtm3 = AddTimeBox("edtm3", 104, 134);
  edts3 = AddTimeBox("edts3", 142, 134);
  lbl1 = AddLabel("lbl1", QStringLiteral("注:3个方框分别表示时,分,秒\n"), 196, 76, 186, 50);
  lbl1->setWordWrap(true);
  lbl1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  chkisdir = new QCheckBox(QStringLiteral("默认释放到源文件目录"), this);
  chkisdir->setObjectName(QStringLiteral("chkisdir"));
  chkisdir->setGeometry(10, 176, 200, 22);
  chkisdir->setChecked(true);
  btn2 = AddButton("btn2", QStringLiteral("开始"), 296, 172, 86, 30);
  btn2->setDefault(true);
  dlgOpen1 = AddOpenDialog("dlgOpen1", QStringLiteral("MP3文件(*.mp3)"));

  lbl5->setBuddy(edtmp3path);
  lbl6->setBuddy(edtdir);
  QWidget* order[] = {edtmp3path, btn1,  edtdir, btn3,  edth1, edtm1,    edts1, edth2,
                      edtm2,      edts2, edth3,  edtm3, edts3, chkisdir, btn2};
  for (size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(order[i - 1], order[i]);
  }

  connect(btn1, &QPushButton::clicked, this, &Tmp3fm::btn1Click);
  connect(btn2, &QPushButton::clicked, this, &Tmp3fm::btn2Click);
  connect(btn3, &QPushButton::clicked, this, &Tmp3fm::btn3Click);
  connect(chkisdir, &QCheckBox::toggled, this, &Tmp3fm::chkisdirClick);
  connect(edtmp3path, &QLineEdit::textChanged, this, &Tmp3fm::edtmp3pathChange);
  connect(edtm1, &QLineEdit::textChanged, this, &Tmp3fm::edtm1Change);
  connect(edts1, &QLineEdit::textChanged, this, &Tmp3fm::edts1Change);
  connect(edtm2, &QLineEdit::textChanged, this, &Tmp3fm::edtm2Change);
  connect(edts2, &QLineEdit::textChanged, this, &Tmp3fm::edts2Change);
  connect(edtm3, &QLineEdit::textChanged, this, &Tmp3fm::edtm3Change);
  connect(edts3, &QLineEdit::textChanged, this, &Tmp3fm::edts3Change);
  edtmp3path->setFocus();
}

QLineEdit* Tmp3fm::AddTimeBox(const char* name, int x, int y) {
  QLineEdit* box = AddEdit(name, x, y, 32, 23);
  box->setMaxLength(2);
  box->setText(QStringLiteral("00"));
  return box;
}

void Tmp3fm::btn1Click() {
  BrowseFile(dlgOpen1, edtmp3path);
  edtmp3path->setToolTip(edtmp3path->text());
}

void Tmp3fm::edtmp3pathChange(const QString& text) {
  if (chkisdir->isChecked()) {
    edtdir->setText(DirectoryPart(text));
    edtdir->setToolTip(edtdir->text());
  }
}

void Tmp3fm::chkisdirClick() {
  const bool own_dir = chkisdir->isChecked();
  edtdir->setEnabled(!own_dir);
  btn3->setEnabled(!own_dir);
  if (own_dir && FileExists(ToUtf8(edtmp3path->text()))) {
    edtdir->setText(DirectoryPart(edtmp3path->text()));
    edtdir->setToolTip(edtdir->text());
  }
}

void Tmp3fm::btn3Click() {
  BrowseForFolder(this, QStringLiteral("选择一个目录,剪辑的文件将释放到您选择的目录"), edtdir);
}

void Tmp3fm::edtm1Change(const QString& text) {
  LimitTo60(edtm1, text);
}
void Tmp3fm::edts1Change(const QString& text) {
  LimitTo60(edts1, text);
}
void Tmp3fm::edtm2Change(const QString& text) {
  LimitTo60(edtm2, text);
}
void Tmp3fm::edts2Change(const QString& text) {
  LimitTo60(edts2, text);
}
void Tmp3fm::edtm3Change(const QString& text) {
  LimitTo60(edtm3, text);
}
void Tmp3fm::edts3Change(const QString& text) {
  LimitTo60(edts3, text);
}

bool Tmp3fm::TESTisno() const {
  for (const QLineEdit* box : {edth1, edtm1, edts1, edth2, edtm2, edts2, edth3, edtm3, edts3}) {
    if (!IsAllDigits(ToUtf8(box->text()))) {
      return false;
    }
  }
  return true;
}

int32_t Tmp3fm::SecondsOf(const QLineEdit* hours, const QLineEdit* minutes,
                          const QLineEdit* seconds) const {
  return Mp3Seconds(hours->text().toInt(), minutes->text().toInt(), seconds->text().toInt());
}

void Tmp3fm::btn2Click() {
  const std::string source = ToUtf8(edtmp3path->text());
  const std::string dir = ToUtf8(edtdir->text());
  if (!CheckInputs({{FileExists(source), QStringLiteral("文件不存在!"), edtmp3path},
                    {DirectoryExists(dir), QStringLiteral("目录不存在!"), edtdir},
                    {TESTisno(), QString::fromUtf8(kMp3BadTimes)}})) {
    return;
  }
  const int32_t play_time = SecondsOf(edth1, edtm1, edts1);
  const int32_t start_time = SecondsOf(edth2, edtm2, edts2);
  const int32_t end_time = SecondsOf(edth3, edtm3, edts3);
  // Beyond the playing time, a zero playing time and an end before the start are refused as
  // well: neither has a span to cut.
  if (CheckInputs(
          {{Mp3TimesValid(play_time, start_time, end_time), QString::fromUtf8(kMp3BadTimes)}})) {
    bool agreed = false;
    if (!MayWriteOutputs(this, {Mp3CutOutputPath(source, dir)}, agreed)) {
      return;
    }
    StartAndClose(
        [&] { TMp3Cut::Create(source, dir, start_time, end_time, play_time, Host(), agreed); });
  }
}

}  // namespace qarvo::ui
