#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// Runs the program with `arguments` until its smoke close and returns what it printed; the
// smoke report names what the two panels hold.
QString RunProgram(const QStringList& arguments, const QString& working_dir = QString()) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("QARVO_SMOKE_CLOSE_MS", "300");
  program.setProcessEnvironment(env);
  if (!working_dir.isEmpty()) {
    program.setWorkingDirectory(working_dir);
  }
  program.start(QStringLiteral(QARVO_GUI_PATH), arguments);
  if (!program.waitForStarted(10000) || !program.waitForFinished(20000)) {
    return QStringLiteral("program did not run to its end");
  }
  if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0) {
    return QStringLiteral("program ended with status %1").arg(program.exitCode());
  }
  return QString::fromUtf8(program.readAllStandardOutput());
}

QString Holds(const QString& panel, const QString& path) {
  return QStringLiteral("qarvo-gui: %1 \"%2\"").arg(panel, path);
}

void Touch(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("12345");
}

}  // namespace

// The program itself, started the way the smoke run and the desktop entry start it.
class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  // It must come up with its main window and end cleanly when the window closes.
  void StartsShowsAndQuitsWhenClosed() {
    const QString out = RunProgram({});
    QVERIFY2(out.contains(QStringLiteral("main window shown")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("title Qarvo文件分割助手V1.4")), qPrintable(out));
    QVERIFY2(out.contains(Holds("split source", "")), qPrintable(out));
    QVERIFY2(out.contains(Holds("merge piece", "")), qPrintable(out));
  }

  // Files named on the command line land where a drop puts them.
  void FileArgumentsFillThePanels() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString piece = dir.filePath("movie1.vrk");
    const QString source = dir.filePath("movie.avi");
    Touch(piece);
    Touch(source);

    QString out = RunProgram({piece});
    QVERIFY2(out.contains(Holds("merge piece", piece)), qPrintable(out));
    QVERIFY2(out.contains(Holds("split source", "")), qPrintable(out));

    out = RunProgram({source});
    QVERIFY2(out.contains(Holds("split source", source)), qPrintable(out));
    QVERIFY2(out.contains(Holds("merge piece", "")), qPrintable(out));

    // Both kinds at once, the last of a kind winning; the extension test is case-sensitive.
    const QString upper = dir.filePath("other.VRK");
    Touch(upper);
    out = RunProgram({piece, source, upper});
    QVERIFY2(out.contains(Holds("merge piece", piece)), qPrintable(out));
    QVERIFY2(out.contains(Holds("split source", upper)), qPrintable(out));

    // A name relative to the working directory becomes the absolute name a drop would give.
    QDir(dir.path()).mkdir("sub");
    out =
        RunProgram({QStringLiteral("sub/../movie1.vrk"), QStringLiteral("movie.avi")}, dir.path());
    QVERIFY2(out.contains(Holds("merge piece", piece)), qPrintable(out));
    QVERIFY2(out.contains(Holds("split source", source)), qPrintable(out));
  }

  // --help answers on stdout and ends without a window, so it needs no display; a file named
  // after it is still reachable as ./--help.
  void HelpNeedsNoDisplay() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QARVO_GUI_PATH), {QStringLiteral("--help")});
    QVERIFY(program.waitForStarted(10000) && program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(out.startsWith(QStringLiteral("用法: qarvo-gui [文件 ...]")), qPrintable(out));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Touch(dir.filePath("--help"));
    const QString opened = RunProgram({QStringLiteral("./--help")}, dir.path());
    QVERIFY2(opened.contains(Holds("split source", dir.filePath("--help"))), qPrintable(opened));
  }
};

QTEST_GUILESS_MAIN(ShellTest)
#include "shell_test.moc"
