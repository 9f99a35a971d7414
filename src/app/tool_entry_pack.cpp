#include "app/sdfm.h"
#include "app/smfm.h"
#include "app/tool_windows.h"

namespace qarvo::ui {

bool PackToolsBuilt() {
  return true;
}

QDialog* CreateTsmfm(const ToolContext& context) {
  return new Tsmfm(context);
}

QDialog* CreateTsdfm(const ToolContext& context) {
  return new Tsdfm(context);
}

}  // namespace qarvo::ui
