#include "app/tool_windows.h"

namespace qarvo::ui {

bool FileToolsBuilt() { return false; }
QDialog* CreateTaddfm(const ToolContext&) { return nullptr; }
QDialog* CreateTcmpfm(const ToolContext&) { return nullptr; }
QDialog* CreateTmp3fm(const ToolContext&) { return nullptr; }

}  // namespace qarvo::ui
