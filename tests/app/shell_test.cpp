#include <QtTest>

#include <QProcess>

// The program itself, started the way the smoke run starts it: it must come up with its main
// window and end cleanly when the window closes.
class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsShowsAndQuitsWhenClosed() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QARVO_SMOKE_CLOSE_MS", "300");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QARVO_GUI_PATH), {});
    QVERIFY(program.waitForStarted(10000));
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("main window shown")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("title Qarvo文件分割助手V1.4")), qPrintable(out));
  }
};

QTEST_GUILESS_MAIN(ShellTest)
#include "shell_test.moc"
