#include "hex/model/hex_error_text.h"

#include <array>
#include <utility>

namespace qarvo::hex {

std::string UserErrorText(const std::string& message) {
  static const std::array<std::pair<const char*, const char*>, 9> kTexts = {{
      {"Cannot update undo storage", "这一步修改不能进行。"},
      {"Operation cancelled", "操作已取消。"},
      {"Data position/length out of data bounds", "位置或长度超出了数据的范围。"},
      {"Invalid selection start", "选择区域的起点无效。"},
      {"Invalid selection end", "选择区域的终点无效。"},
      {"Stream read error", "读取数据出错。"},
      {"Translations cannot be used in unicode mode", "双字节显示时不能转换字符集。"},
      {"BytesPerUnit must be set to 2 in unicode mode", "双字节显示时每个单位必须是 2 字节。"},
      {"Out of memory", "内存不足,这一步没有完成,数据保持原样。"},
  }};
  for (const auto& [english, chinese] : kTexts) {
    if (message.rfind(english, 0) == 0) {
      return chinese;
    }
  }
  if (message.rfind("Cannot ", 0) == 0 || message.rfind("Invalid ", 0) == 0) {
    return "操作没有完成:" + message;
  }
  return message;
}

}  // namespace qarvo::hex
