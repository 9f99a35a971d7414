#include <QtTest>

#include "hex/model/hex_error.h"
#include "hex/widget/mphexeditor.h"

using qarvo::hex::HexEditorSettings;
using qarvo::hex::TMPHexEditorEx;

namespace {

QMap<QString, QString> Lines(const QString& text) {
  QMap<QString, QString> map;
  for (const QString& line : text.split("\r\n")) {
    const qsizetype equals = line.indexOf('=');
    map.insert(line.left(equals), line.mid(equals + 1));
  }
  return map;
}

}  // namespace

class SettingsTextTest : public QObject {
  Q_OBJECT

 private slots:
  void DefaultsCarryEveryPublicSetting() {
    TMPHexEditorEx editor;
    const QMap<QString, QString> lines = Lines(editor.GetSettingsText());
    // 69 public names; "Colors.CrooshairBackground" names no colour of the set.
    QCOMPARE(lines.size(), 68);
    QCOMPARE(lines.value("BytesPerRow"), QString("16"));
    QCOMPARE(lines.value("OffsetFormat"), QString("-!10:0x|"));
    QCOMPARE(lines.value("Translation"), QString("tkAsIs"));
    QCOMPARE(lines.value("CaretKind"), QString("ckAuto"));
    QCOMPARE(lines.value("MaskChar"), QString("."));
    QCOMPARE(lines.value("Colors.ChangedBackground"), QString("#ffffa8"));
    QCOMPARE(lines.value("Font.Size"), QString("11"));
    QCOMPARE(lines.value("PrintOptions.MarginLeft"), QString("0"));
    QVERIFY(lines.contains("AutoBytesPerRow"));
    QVERIFY(!lines.contains("WantTabs"));  // published, not public
  }

  void RoundTripCarriesChangedSettings() {
    TMPHexEditorEx source;
    source.ChangeSettings([](HexEditorSettings& s) {
      s.bytes_per_row = 8;
      s.offset_format = "a:|";
      s.translation = qarvo::hex::tkMac;
      s.caret_kind = qarvo::hex::ckBottom;
      s.show_ruler = true;
      s.mask_char = '*';
      s.backup_extension = ".bak";
    });
    source.Colors()->SetGrid(QColor(1, 2, 3));
    source.FontProps()->SetStyle("[fsBold]");
    source.PrintOptions()->page_header = "top";
    const QString text = source.GetSettingsText();

    TMPHexEditorEx target;
    target.SetSettingsText(text);
    QCOMPARE(target.GetSettingsText(), text);
    QCOMPARE(target.Settings().bytes_per_row, 8);
    QCOMPARE(target.OffsetText(20), QString("20"));
    QCOMPARE(target.Settings().translation, qarvo::hex::tkMac);
    QCOMPARE(target.Colors()->Grid(), QColor(1, 2, 3));
    QVERIFY(target.FontProps()->Font().bold());
    QCOMPARE(target.Geometry().ColumnCount(), 3 * 8 + 3);  // the layout followed
  }

  void ReadingIgnoresCaseUnknownNamesAndTakesNumberColours() {
    TMPHexEditorEx editor;
    editor.SetSettingsText(
        "bytesperrow=4\r\nNoSuchThing=1\r\nWantTabs=false\r\nCOLORS.GRID=255\n"
        "Colors.CrooshairBackground=5\nshowruler=1");
    QCOMPARE(editor.Settings().bytes_per_row, 4);
    QVERIFY(editor.Settings().want_tabs);
    QCOMPARE(editor.Colors()->Grid(), QColor(255, 0, 0));
    QVERIFY(editor.Settings().show_ruler);
  }

  void PropertyTurnedDownByTheOwner() {
    TMPHexEditorEx editor;
    QStringList asked;
    connect(&editor, &TMPHexEditorEx::queryPublicProperty, this,
            [&](const QString& name, bool* is_public) {
              asked << name;
              if (name.compare("BytesPerRow", Qt::CaseInsensitive) == 0 || name == "Colors.Grid") {
                *is_public = false;
              }
            });
    const QMap<QString, QString> lines = Lines(editor.GetSettingsText());
    QVERIFY(!lines.contains("BytesPerRow"));
    QVERIFY(!lines.contains("Colors.Grid"));
    QVERIFY(lines.contains("BytesPerColumn"));
    QVERIFY(asked.contains("Font.Name"));
    editor.SetSettingsText("BytesPerRow=8\r\nBytesPerColumn=4");
    QCOMPARE(editor.Settings().bytes_per_row, 16);
    QCOMPARE(editor.Settings().bytes_per_column, 4);
  }

  void RefusedValueStopsWithTheControlsError() {
    TMPHexEditorEx editor;
    QVERIFY_THROWS_EXCEPTION(qarvo::hex::EMPHexEditor,
                             editor.SetSettingsText("ShowRuler=1\r\nBytesPerUnit=3"));
    QVERIFY(editor.Settings().show_ruler);
    QCOMPARE(editor.Settings().bytes_per_unit, 1);
    // The view is not left with painting switched off.
    QVERIFY(editor.viewport()->updatesEnabled());
  }
};

QTEST_MAIN(SettingsTextTest)
#include "settings_text_qtest.moc"
