#include "app/tool_windows.h"

namespace qarvo::ui {

bool PackToolsBuilt() { return false; }
QDialog* CreateTsmfm(const ToolContext&) { return nullptr; }
QDialog* CreateTsdfm(const ToolContext&) { return nullptr; }

}  // namespace qarvo::ui
