#include "app/error_text.h"

#include <cerrno>
#include <cstring>

namespace qarvo::ui {

QString ReasonText(int error_number) {
  switch (error_number) {
    case ENOENT:
      return QStringLiteral("文件不存在");
    case EACCES:
    case EPERM:
      return QStringLiteral("没有访问权限");
    case EBUSY:
    case EWOULDBLOCK:
      // An exclusive open fails this way while another program holds the file open.
      return QStringLiteral("文件正被其他程序使用");
    case EISDIR:
      return QStringLiteral("这是一个目录");
    case ENOSPC:
      return QStringLiteral("磁盘空间不足");
    case EROFS:
      return QStringLiteral("磁盘是只读的");
    case EMFILE:
    case ENFILE:
      return QStringLiteral("打开的文件太多");
    case EIO:
      return QStringLiteral("读写错误");
    case ENAMETOOLONG:
      return QStringLiteral("文件名太长");
    default:
      break;
  }
  return QStringLiteral("系统错误 %1: %2")
      .arg(error_number)
      .arg(QString::fromLocal8Bit(std::strerror(error_number)));
}

}  // namespace qarvo::ui
