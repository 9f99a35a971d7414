#include <QtTest>

#include "app/format_size.h"

using qarvo::ui::FormatSizeText;

class FormatSizeTest : public QObject {
  Q_OBJECT

 private slots:
  void Boundaries_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0Byte";
    QTest::newRow("one kilobyte is still bytes") << qint64(1024) << "1024Byte";
    QTest::newRow("just above a kilobyte") << qint64(1025) << "1.0KB";
    QTest::newRow("one and a half") << qint64(1536) << "1.5KB";
    QTest::newRow("whole number has no dot") << qint64(2048) << "2KB";
    QTest::newRow("cut, not rounded") << qint64(2047) << "1.9KB";
    QTest::newRow("3000 bytes") << qint64(3000) << "2.9KB";
    QTest::newRow("estimated piece of 3000/3") << qint64(1344) << "1.3KB";
    QTest::newRow("one megabyte is still kilobytes") << qint64(1048576) << "1024KB";
    QTest::newRow("just above a megabyte") << qint64(1048577) << "1.0MB";
    QTest::newRow("1.99 MB") << qint64(2086666) << "1.9MB";
    QTest::newRow("one gigabyte is still megabytes") << qint64(1073741824) << "1024MB";
    QTest::newRow("just above a gigabyte") << qint64(1073741825) << "1.0GB";
    QTest::newRow("large") << qint64(5) * 1073741824 + 536870912 << "5.5GB";
    // No exponent form even for the largest size (the quotient rounds up in a double).
    QTest::newRow("largest size") << std::numeric_limits<qint64>::max() << "8589934592GB";
  }

  void Boundaries() {
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(FormatSizeText(size), text);
  }
};

QTEST_GUILESS_MAIN(FormatSizeTest)
#include "format_size_test.moc"
