#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

namespace qarvo::hex {

// The colour set of the hex control. Setting any colour repaints the control.
class TMPHColors : public QObject {
  Q_OBJECT
  Q_PROPERTY(QColor Background READ Background WRITE SetBackground)
  Q_PROPERTY(QColor ChangedBackground READ ChangedBackground WRITE SetChangedBackground)
  Q_PROPERTY(QColor ChangedText READ ChangedText WRITE SetChangedText)
  Q_PROPERTY(QColor CursorFrame READ CursorFrame WRITE SetCursorFrame)
  Q_PROPERTY(QColor NonFocusCursorFrame READ NonFocusCursorFrame WRITE SetNonFocusCursorFrame)
  Q_PROPERTY(QColor Offset READ Offset WRITE SetOffset)
  Q_PROPERTY(QColor OddColumn READ OddColumn WRITE SetOddColumn)
  Q_PROPERTY(QColor EvenColumn READ EvenColumn WRITE SetEvenColumn)
  Q_PROPERTY(
      QColor CurrentOffsetBackground READ CurrentOffsetBackground WRITE SetCurrentOffsetBackground)
  Q_PROPERTY(QColor OffsetBackGround READ OffsetBackground WRITE SetOffsetBackground)
  Q_PROPERTY(QColor CurrentOffset READ CurrentOffset WRITE SetCurrentOffset)
  Q_PROPERTY(QColor ActiveFieldBackground READ ActiveFieldBackground WRITE SetActiveFieldBackground)
  Q_PROPERTY(QColor Grid READ Grid WRITE SetGrid)

 public:
  explicit TMPHColors(QObject* parent = nullptr);

#define QARVO_HEX_COLOR(Name, field) \
  QColor Name() const {              \
    return field;                    \
  }                                  \
  void Set##Name(const QColor& c) {  \
    if (c != field) {                \
      field = c;                     \
      emit Changed();                \
    }                                \
  }
  QARVO_HEX_COLOR(Background, background_)
  QARVO_HEX_COLOR(ActiveFieldBackground, active_field_background_)
  QARVO_HEX_COLOR(ChangedBackground, changed_background_)
  QARVO_HEX_COLOR(ChangedText, changed_text_)
  QARVO_HEX_COLOR(OddColumn, odd_column_)
  QARVO_HEX_COLOR(EvenColumn, even_column_)
  QARVO_HEX_COLOR(Offset, offset_)
  QARVO_HEX_COLOR(OffsetBackground, offset_background_)
  QARVO_HEX_COLOR(CurrentOffset, current_offset_)
  QARVO_HEX_COLOR(CurrentOffsetBackground, current_offset_background_)
  QARVO_HEX_COLOR(CursorFrame, cursor_frame_)
  QARVO_HEX_COLOR(NonFocusCursorFrame, non_focus_cursor_frame_)
  QARVO_HEX_COLOR(Grid, grid_)
#undef QARVO_HEX_COLOR

 signals:
  void Changed();

 private:
  QColor background_, active_field_background_, changed_background_, changed_text_;
  QColor odd_column_, even_column_, offset_, offset_background_, current_offset_;
  QColor current_offset_background_, cursor_frame_, non_focus_cursor_frame_, grid_;
};

// A font as a set of published values (name, size in points, style, colour, character set).
class TMPHFont : public QObject {
  Q_OBJECT
  Q_PROPERTY(int Charset READ Charset WRITE SetCharset)
  Q_PROPERTY(QColor Color READ Color WRITE SetColor)
  Q_PROPERTY(QString Name READ Name WRITE SetName)
  Q_PROPERTY(int Size READ Size WRITE SetSize)
  Q_PROPERTY(QString Style READ Style WRITE SetStyle)

 public:
  explicit TMPHFont(QObject* parent = nullptr);

  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font);

  int Charset() const { return charset_; }
  void SetCharset(int charset) { charset_ = charset; }
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  QString Name() const { return font_.family(); }
  void SetName(const QString& name);
  int Size() const { return font_.pointSize(); }
  void SetSize(int points);
  // "[fsBold,fsItalic,fsUnderline,fsStrikeOut]", any of them.
  QString Style() const;
  void SetStyle(const QString& style);

 signals:
  void Changed();

 private:
  QFont font_;
  QColor color_ = Qt::black;
  int charset_ = 1;  // the default character set
};

// Page settings for printing; kept and published, the viewer never prints.
class TMPHPrintOptions : public QObject {
  Q_OBJECT
  Q_PROPERTY(int MarginLeft MEMBER margin_left)
  Q_PROPERTY(int MarginTop MEMBER margin_top)
  Q_PROPERTY(int MarginRight MEMBER margin_right)
  Q_PROPERTY(int MarginBottom MEMBER margin_bottom)
  Q_PROPERTY(QString PageHeader MEMBER page_header)
  Q_PROPERTY(QString PageFooter MEMBER page_footer)
  // "[pfSelectionOnly,pfSelectionBold,pfMonochrome,pfUseBackgroundColor,pfCurrentViewOnly,
  // pfIncludeRuler]", any of them.
  Q_PROPERTY(QString Flags MEMBER flags)

 public:
  using QObject::QObject;
  int margin_left = 0;
  int margin_top = 0;
  int margin_right = 0;
  int margin_bottom = 0;
  QString page_header;
  QString page_footer;
  QString flags = "[]";
};

}  // namespace qarvo::hex
