#include "app/addfm.h"
#include "app/cmpfm.h"
#include "app/mp3fm.h"
#include "app/tool_windows.h"

namespace qarvo::ui {

bool FileToolsBuilt() {
  return true;
}

QDialog* CreateTaddfm(const ToolContext& context) {
  return new Taddfm(context);
}

QDialog* CreateTcmpfm(const ToolContext& context) {
  return new Tcmpfm(context);
}

QDialog* CreateTmp3fm(const ToolContext& context) {
  return new Tmp3fm(context);
}

}  // namespace qarvo::ui
