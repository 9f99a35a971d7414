// The control's public settings as "Name=Value" lines, through Qt's property system.
#include <QColor>
#include <QMetaProperty>
#include <QStringList>
#include <array>

#include "hex/widget/mphexeditor.h"

namespace qarvo::hex {

namespace {

// The names that travel in the settings text; compared without regard to case.
constexpr std::array<const char*, 69> kPublicNames = {
    "ShowRuler",
    "DrawGutter3D",
    "CreateBackup",
    "BackupExtension",
    "OleDragDrop",
    "ClipboardAsHexText",
    "FlushClipboardAtShutDown",
    "SupportsOtherClipFormats",
    "UseEditorFontForPrinting",
    "ZoomOnWheel",
    "BytesPerRow",
    "BytesPerColumn",
    "Translation",
    "OffsetFormat",
    "CaretKind",
    "FocusFrame",
    "SwapNibbles",
    "MaskChar",
    "NoSizeChange",
    "AllowInsertMode",
    "DrawGridLines",
    "ReadOnlyView",
    "HideSelection",
    "GraySelectionIfNotFocused",
    "GutterWidth",
    "MaxUndo",
    "InsertMode",
    "HexLowerCase",
    "Colors.Background",
    "Colors.ChangedBackground",
    "Colors.ChangedText",
    "Colors.CursorFrame",
    "Colors.NonFocusCursorFrame",
    "Colors.Offset",
    "Colors.OddColumn",
    "Colors.EvenColumn",
    "Colors.CurrentOffsetBackground",
    "Colors.OffsetBackGround",
    "Colors.CurrentOffset",
    "Colors.ActiveFieldBackground",
    "Colors.Grid",
    "PrintFont.Charset",
    "PrintFont.Color",
    "PrintFont.Name",
    "PrintFont.Size",
    "PrintFont.Style",
    "PrintOptions.MarginLeft",
    "PrintOptions.MarginTop",
    "PrintOptions.MarginRight",
    "PrintOptions.MarginBottom",
    "PrintOptions.PageHeader",
    "PrintOptions.PageFooter",
    "PrintOptions.Flags",
    "Font.Charset",
    "Font.Color",
    "Font.Name",
    "Font.Size",
    "Font.Style",
    "BytesPerUnit",
    "RulerBytesPerUnit",
    "ShowPositionIfNotFocused",
    "UnicodeChars",
    "UnicodeBigEndian",
    "BytesPerBlock",
    "SeparateBlocksInCharField",
    "FindProgress",
    "RulerNumberBase",
    "Colors.CrooshairBackground",
    "AutoBytesPerRow",
};

bool IsObjectProperty(const QMetaProperty& property) {
  return (property.metaType().flags() & QMetaType::PointerToQObject) != 0;
}

QObject* ObjectValue(const QObject* owner, const QMetaProperty& property) {
  return property.read(owner).value<QObject*>();
}

// The object's own property of that name, case-insensitively, or an invalid one.
QMetaProperty FindProperty(const QObject* object, const QString& name) {
  const QMetaObject* meta = object->metaObject();
  for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
    if (name.compare(QLatin1String(meta->property(i).name()), Qt::CaseInsensitive) == 0) {
      return meta->property(i);
    }
  }
  return {};
}

QString ValueText(const QObject* object, const QMetaProperty& property) {
  const QVariant value = property.read(object);
  if (property.isEnumType()) {
    return QString::fromLatin1(property.enumerator().valueToKey(value.toInt()));
  }
  if (value.metaType() == QMetaType::fromType<QColor>()) {
    return value.value<QColor>().name();
  }
  return value.toString();
}

// A text value as the property takes it: integers as 32-bit (or 64-bit) numbers, colours as
// numbers in the 0x00BBGGRR form or as colour names, everything else as text.
QVariant ValueOf(const QMetaProperty& property, const QString& text) {
  bool is_number = false;
  const qint64 number = text.toLongLong(&is_number);
  if (property.metaType() == QMetaType::fromType<QColor>()) {
    if (is_number) {
      return QColor(static_cast<int>(number & 0xFF), static_cast<int>((number >> 8) & 0xFF),
                    static_cast<int>((number >> 16) & 0xFF));
    }
    return QColor::fromString(text);
  }
  if (property.isEnumType() && !is_number) {
    bool ok = false;
    const int value = property.enumerator().keyToValue(text.toLatin1().constData(), &ok);
    return ok ? QVariant(value) : QVariant(text);
  }
  if (is_number) {
    if (number >= INT32_MIN && number <= INT32_MAX) {
      return QVariant(static_cast<int>(number));
    }
    return QVariant(number);
  }
  return QVariant(text);
}

}  // namespace

bool TMPHexEditorEx::IsPublicProperty(const QString& name) {
  bool listed = false;
  for (const char* public_name : kPublicNames) {
    if (name.compare(QLatin1String(public_name), Qt::CaseInsensitive) == 0) {
      listed = true;
      break;
    }
  }
  if (!listed) {
    return false;
  }
  bool is_public = true;
  emit queryPublicProperty(name, &is_public);
  return is_public;
}

QString TMPHexEditorEx::GetSettingsText() {
  QStringList lines;
  const QMetaObject* meta = metaObject();
  for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
    const QMetaProperty property = meta->property(i);
    const QString name = QLatin1String(property.name());
    if (!IsObjectProperty(property)) {
      if (IsPublicProperty(name)) {
        lines << name + "=" + ValueText(this, property);
      }
      continue;
    }
    const QObject* child = ObjectValue(this, property);
    if (child == nullptr) {
      continue;
    }
    const QMetaObject* child_meta = child->metaObject();
    for (int j = child_meta->propertyOffset(); j < child_meta->propertyCount(); ++j) {
      const QMetaProperty child_property = child_meta->property(j);
      const QString full = name + "." + QLatin1String(child_property.name());
      if (IsPublicProperty(full)) {
        lines << full + "=" + ValueText(child, child_property);
      }
    }
  }
  return lines.join("\r\n");
}

void TMPHexEditorEx::SetSettingsText(const QString& text) {
  // One layout and one repaint after all lines, not one per line.
  ++update_lock_;
  viewport()->setUpdatesEnabled(false);
  auto release = [this] {
    viewport()->setUpdatesEnabled(true);
    if (--update_lock_ == 0 && layout_pending_) {
      layout_pending_ = false;
      RecalcLayout();
    }
    viewport()->update();
  };
  try {
    for (QString line : text.split('\n')) {
      line.remove('\r');
      const qsizetype equals = line.indexOf('=');
      if (equals <= 0) {
        continue;
      }
      const QString name = line.left(equals);
      if (!IsPublicProperty(name)) {
        continue;
      }
      QObject* target = this;
      const QStringList path = name.split('.');
      QMetaProperty property;
      for (qsizetype k = 0; k < path.size() && target != nullptr; ++k) {
        property = FindProperty(target, path[k]);
        if (!property.isValid()) {
          target = nullptr;
        } else if (k + 1 < path.size()) {
          target = IsObjectProperty(property) ? ObjectValue(target, property) : nullptr;
        }
      }
      if (target != nullptr && property.isValid() && property.isWritable()) {
        property.write(target, ValueOf(property, line.mid(equals + 1)));
      }
    }
  } catch (...) {
    release();
    throw;
  }
  release();
}

}  // namespace qarvo::hex
