#include "hex/window/hexfm_inspector.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "hex/model/byte_values.h"

namespace qarvo::hex {

THexInspector::THexInspector(QWidget* owner) : QFrame(owner) {
  setObjectName(QStringLiteral("inspector"));
  setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  auto* title = new QLabel(QStringLiteral("数据查看器(当前位置的值)"), this);
  layout->addWidget(title);
  auto* order = new QHBoxLayout;
  rblittle = new QRadioButton(QStringLiteral("小端(低字节在前)"), this);
  rblittle->setObjectName(QStringLiteral("rblittle"));
  rblittle->setChecked(true);
  rbbig = new QRadioButton(QStringLiteral("大端"), this);
  rbbig->setObjectName(QStringLiteral("rbbig"));
  order->addWidget(rblittle);
  order->addWidget(rbbig);
  order->addStretch();
  layout->addLayout(order);

  grid = new QTableWidget(this);
  grid->setObjectName(QStringLiteral("grid"));
  grid->setColumnCount(2);
  grid->setHorizontalHeaderLabels({QStringLiteral("类型"), QStringLiteral("值")});
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setWordWrap(false);
  grid->setAccessibleName(QStringLiteral("数据查看器"));
  layout->addWidget(grid);
  ShowBytes({});
  grid->resizeColumnToContents(0);
  grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);

  connect(rblittle, &QRadioButton::toggled, this, &THexInspector::byteOrderChanged);
}

bool THexInspector::BigEndian() const {
  return rbbig->isChecked();
}

void THexInspector::ShowBytes(std::span<const uint8_t> bytes) {
  const std::vector<ByteValue> values = InspectBytes(bytes, BigEndian());
  grid->setRowCount(static_cast<int>(values.size()));
  for (int row = 0; row < static_cast<int>(values.size()); ++row) {
    const ByteValue& v = values[static_cast<size_t>(row)];
    const QString name = QString::fromStdString(v.name);
    const QString text = QString::fromStdString(v.text);
    for (int column = 0; column < 2; ++column) {
      QTableWidgetItem* item = grid->item(row, column);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        grid->setItem(row, column, item);
      }
      item->setText(column == 0 ? name : text);
    }
    grid->item(row, 1)->setToolTip(text);
  }
}

QString THexInspector::ValueText(const QString& name) const {
  for (int row = 0; row < grid->rowCount(); ++row) {
    if (grid->item(row, 0)->text() == name) {
      return grid->item(row, 1)->text();
    }
  }
  return {};
}

}  // namespace qarvo::hex
