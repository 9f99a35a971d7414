#include "hex/window/hexfm_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/test_support.h"

#include <cstdlib>
#include <ctime>

namespace qarvo::hex {
namespace {

using test::LocalTm;

QString FakeSize(int64_t size) {
  return QStringLiteral("<%1>").arg(size);
}

}  // namespace

class HexfmInfoTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // File times are shown in local time; the expected texts below are UTC.
    qputenv("TZ", "UTC");
    tzset();
  }

  void AttributeTexts() {
    QCOMPARE(AttributeText(0), QStringLiteral("NTFS压缩"));
    QCOMPARE(AttributeText(1), QStringLiteral("只读"));
    QCOMPARE(AttributeText(3), QStringLiteral("只读,隐藏"));
    QCOMPARE(AttributeText(6), QStringLiteral("隐藏,系统"));
    QCOMPARE(AttributeText(7), QStringLiteral("只读,隐藏,系统"));
    QCOMPARE(AttributeText(32), QStringLiteral("归档"));
    QCOMPARE(AttributeText(35), QStringLiteral("只读,隐藏,归档"));
    QCOMPARE(AttributeText(37), QStringLiteral("只读,系统,归档"));
    QCOMPARE(AttributeText(39), QStringLiteral("只读,隐藏,系统,归档"));
    // Only the low byte counts: the compressed bit alone reads as 0.
    QCOMPARE(AttributeText(2048), QStringLiteral("NTFS压缩"));
    QCOMPARE(AttributeText(0x100 | 33), QStringLiteral("只读,归档"));
    for (uint32_t unknown : {8u, 16u, 31u, 40u, 64u, 127u, 128u, 0xFFFFFFFFu}) {
      QCOMPARE(AttributeText(unknown), QStringLiteral("未知"));
    }
  }

  void DateTexts() {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(DateTimeText(LocalTm(2026, 12, 8, 10, 20, 30), us),
             QStringLiteral("12/8/26 10:20:30 AM"));
    QCOMPARE(DateTimeText(LocalTm(2026, 12, 8, 0, 0, 0), us), QStringLiteral("12/8/26"));
    QCOMPARE(DateTimeText(LocalTm(2026, 12, 8, 0, 0, 2), us),
             QStringLiteral("12/8/26 12:00:02 AM"));
    // No time zone is written, whatever the locale's long format holds.
    const QString chinese = DateTimeText(LocalTm(2026, 12, 8, 13, 5, 9), QLocale(QLocale::Chinese));
    QVERIFY2(chinese.contains("13:05:09") || chinese.contains("1:05:09"), qPrintable(chinese));
    QVERIFY2(!chinese.contains("UTC") && !chinese.contains(QStringLiteral("时间")),
             qPrintable(chinese));
  }

  void FileTimesGoThroughTheDosClock() {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    // 2026-12-08 10:20:31 UTC: the odd second is cut to the two-second step.
    QCOMPARE(FileTimeText(FileTime{1796725231, 900000000}, us),
             QStringLiteral("12/8/26 10:20:30 AM"));
    // One second after midnight is midnight on the DOS clock, and shows no time.
    QCOMPARE(FileTimeText(FileTime{1796688001, 0}, us), QStringLiteral("12/8/26"));
    // Before 1980 the DOS clock has no place; the time is shown as it is.
    QCOMPARE(FileTimeText(FileTime{3601, 0}, us), QStringLiteral("1/1/70 1:00:00 AM"));
  }

  void LinesOfARealFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("data.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2000, 'x'));
    file.close();
    const timespec times[2] = {{1796725231, 0}, {1796725231, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, path.toUtf8().constData(), times, 0), 0);

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    HexFileInfoLines lines = FileInfoLines(path.toStdString(), FakeSize, us);
    QCOMPARE(lines.size, QStringLiteral("文件大小--> <2000>(2000字节)"));
    QCOMPARE(lines.attributes, QStringLiteral("文件属性  归档"));
    QCOMPARE(lines.modification, QStringLiteral("修改日期  12/8/26 10:20:30 AM"));
    QVERIFY(lines.creation.startsWith(QStringLiteral("创建日期  ")));
    QVERIFY(!lines.creation.contains(QStringLiteral("未知")));

    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    QCOMPARE(FileInfoLines(path.toStdString(), FakeSize, us).attributes,
             QStringLiteral("文件属性  只读,归档"));

    const QString hidden = dir.filePath(".hidden");
    QVERIFY(QFile::copy(path, hidden));
    QVERIFY(QFile::setPermissions(hidden, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(FileInfoLines(hidden.toStdString(), FakeSize, us).attributes,
             QStringLiteral("文件属性  隐藏,归档"));

    QCOMPARE(FileInfoLines(dir.path().toStdString(), FakeSize, us).attributes,
             QStringLiteral("文件属性  未知"));

    lines = FileInfoLines(dir.filePath("missing").toStdString(), FakeSize, us);
    QCOMPARE(lines.size, QStringLiteral("文件大小--> 未知"));
    QCOMPARE(lines.attributes, QStringLiteral("文件属性  未知"));
    QCOMPARE(lines.creation, QStringLiteral("创建日期  未知"));
    QCOMPARE(lines.modification, QStringLiteral("修改日期  未知"));
  }

  void EmptyFileSizeLine() {
    QTemporaryDir dir;
    const QString path = dir.filePath("empty");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(FileInfoLines(path.toStdString(), FakeSize).size,
             QStringLiteral("文件大小--> <0>(0字节)"));
  }
};

}  // namespace qarvo::hex

QTEST_APPLESS_MAIN(qarvo::hex::HexfmInfoTest)
#include "hexfm_info_qtest.moc"
