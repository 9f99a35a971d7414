#include <QLineEdit>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/app_shell.h"
#include "jobs/stop_on_signal.h"
#include "jobs/worker.h"
#include "platform/atomic_output.h"

namespace {

// Used only by the smoke run of the build: report that the main window is on screen and what
// its two panels hold, then close it as a user would after the given time.
void ArmSmokeClose(qarvo::ui::Tmainfm& window) {
  bool ok = false;
  const int delay_ms = qEnvironmentVariableIntValue("QARVO_SMOKE_CLOSE_MS", &ok);
  if (!ok || delay_ms <= 0) {
    return;
  }
  QTimer::singleShot(delay_ms, &window, [&window] {
    const QWindow* handle = window.windowHandle();
    const bool exposed = handle != nullptr && handle->isExposed();
    std::cout << "qarvo-gui: main window " << (window.isVisible() ? "shown" : "hidden") << ", "
              << (exposed ? "exposed" : "not exposed") << ", " << window.width() << "x"
              << window.height() << ", title " << window.windowTitle().toStdString() << "\n"
              << "qarvo-gui: split source \""
              << window.findChild<QLineEdit*>("edtcpath")->text().toStdString() << "\"\n"
              << "qarvo-gui: merge piece \""
              << window.findChild<QLineEdit*>("edtmpath")->text().toStdString() << "\""
              << std::endl;
    window.close();
  });
}

// `qarvo-gui --help` answers on stdout and ends, without a window or a display; any other
// argument is a file to open.
bool AsksForHelp(int argc, char** argv) {
  if (argc < 2) {
    return false;
  }
  const std::string first = argv[1];
  return first == "--help" || first == "-h";
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelp(argc, argv)) {
    std::cout << "用法: qarvo-gui [文件 ...]\n"
                 "Qarvo文件分割助手的窗口版。命令行上给出的文件和拖放到主窗口上的文件一样处理:\n"
                 "文件名最后三个字符是 vrk 的放进文件合并的源文件,其他文件放进文件分割的源文件。\n"
                 "命令行版见 qarvo --help。\n";
    return 0;
  }
  // Before Qt starts its threads, which inherit the blocked signals.
  qarvo::StopJobsOnSignals();
  qarvo::ui::QarvoApplication app(argc, argv);
  qarvo::ui::SetUpApplication(app);
  qarvo::ui::Shell shell = qarvo::ui::CreateShell();
  qarvo::ui::OpenFiles(*shell.main, QCoreApplication::arguments().mid(1));
  shell.main->show();
  ArmSmokeClose(*shell.main);
  const int result = app.exec();

  // The window stopped its jobs when it closed; one that has not ended yet (blocked in a slow
  // write) is not waited for, and its temporary files go with the program.
  if (qarvo::WorkerThread::Running() > 0) {
    std::fflush(nullptr);
    qarvo::RemoveTemporaryFilesAndExit(result);
  }
  return result;
}
