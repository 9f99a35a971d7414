#pragma once

#include <QDialog>
#include <QWidget>

#include "jobs/job_host.h"

namespace qarvo::ui {

class Tspwd1;

// What a tool window gets from the main window when its menu entry is chosen.
struct ToolContext {
  QWidget* owner = nullptr;         // the main window; owns the tool window
  JobHost host;                     // MainLog, and the shake at the end of a job
  Tspwd1* pack_password = nullptr;  // the pack password dialog, alive for the whole run
};

// Each creates a new tool window owned by `context.owner`; the main window keeps it as the
// current one of its kind and shows it modally.
QDialog* CreateTsmfm(const ToolContext& context);   // "文件打包"
QDialog* CreateTsdfm(const ToolContext& context);   // "文件解包"
QDialog* CreateTaddfm(const ToolContext& context);  // "文件捆绑"
QDialog* CreateTcmpfm(const ToolContext& context);  // "文件对比"
QDialog* CreateTmp3fm(const ToolContext& context);  // "MP3剪辑"

}  // namespace qarvo::ui
