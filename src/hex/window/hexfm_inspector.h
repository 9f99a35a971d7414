#pragma once

#include <cstdint>
#include <span>

#include <QFrame>

class QRadioButton;
class QTableWidget;

namespace qarvo::hex {

// The data inspector beside the hex view: what the bytes at the caret mean as numbers, times
// and characters, in the byte order the user picks (little endian until switched). Every value
// is item text, so a screen reader reads it as it reads any table.
class THexInspector : public QFrame {
  Q_OBJECT

 public:
  explicit THexInspector(QWidget* owner);

  bool BigEndian() const;
  // Shows the values of `bytes` (up to kInspectedBytes from the caret; none past the end,
  // which blanks every value).
  void ShowBytes(std::span<const uint8_t> bytes);
  // The value text of the line named `name` ("Int16", "Float", ...); empty when unknown.
  QString ValueText(const QString& name) const;

 signals:
  void byteOrderChanged();

 private:
  QRadioButton* rblittle;
  QRadioButton* rbbig;
  QTableWidget* grid;
};

}  // namespace qarvo::hex
