#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QRadioButton>

#include <cstdint>
#include <optional>

#include "split/cut_file.h"

namespace qarvo::ui {

class JobPanel;
class MainLog;
class Tpwdfm;

// The split panel's own controls: the piece count with the source and piece size labels, the
// password, compression and checksum options, and "分割后删除源文件". They live in the panel
// and fill the split's options record.
class SplitOptions : public QObject {
  Q_OBJECT

 public:
  SplitOptions(JobPanel* panel, MainLog& log);

  // The dialog that holds the split password; it clears `chkpwd` when closed without one.
  void SetPasswordDialog(Tpwdfm* dialog);

  // The count check of a start: logs its line and takes the focus when the count is no number,
  // or, when a piece size is chosen, when the size is no number or gives no count.
  bool CheckCount();
  // The count, once CheckCount passed.
  int32_t Count() const;
  // Every option as the split takes it; the log is the caller's to set.
  TCWorkInfos Infos() const;

 public slots:
  void edtcountChange();
  void chkpwdClick(bool checked);
  void btnpwdClick();
  void UpdateSizeLabels();
  // The count box follows the chosen piece size (nothing when the count is typed).
  void UpdateCountFromSize();
  void cbsizeChange(int index);

 private:
  // The largest piece file the panel asks for; none when the count is typed, or when the custom
  // size is no number.
  std::optional<int64_t> ChosenPieceSize() const;
  bool BySize() const;
  QLayout* BuildPieceSize();
  QLayout* BuildSizes();
  QLayout* BuildOptions();
  QWidget* BuildModes();

  JobPanel* panel_;
  MainLog& log_;
  Tpwdfm* pwdfm_ = nullptr;
  QLabel* StaticText7 = nullptr;  // source size
  QLabel* txt1 = nullptr;         // estimated piece size
  QLineEdit* edtcount = nullptr;
  QCheckBox* chkpwd = nullptr;
  QPushButton* btnpwd = nullptr;
  QCheckBox* chkzlib = nullptr;
  QButtonGroup* rgmodeItems = nullptr;  // ids 1 "最快", 2 "默认", 3 "最大比例": the level
  QCheckBox* chkccmp = nullptr;
  QRadioButton* rbmd5 = nullptr;
  QCheckBox* chkcdelfile = nullptr;
  QComboBox* cbsize = nullptr;   // by count, or a piece size: presets and a custom size
  QLineEdit* edtsize = nullptr;  // the custom size
  QComboBox* cbunit = nullptr;   // its unit: KB, MB, GB
  QCheckBox* chksums = nullptr;  // the checksum file beside the pieces
  QString typed_count_;          // the count typed before a size took the box over
};

}  // namespace qarvo::ui
