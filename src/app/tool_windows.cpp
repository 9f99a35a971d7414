#include "app/tool_windows.h"

#include "app/addfm.h"
#include "app/cmpfm.h"
#include "app/mp3fm.h"
#include "app/sdfm.h"
#include "app/smfm.h"

namespace qarvo::ui {

QDialog* CreateTsmfm(const ToolContext& context) {
  return new Tsmfm(context);
}

QDialog* CreateTsdfm(const ToolContext& context) {
  return new Tsdfm(context);
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
