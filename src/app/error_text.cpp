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
      return QStringLiteral("权限不够");
    case EBUSY:
    case EWOULDBLOCK:
      // An exclusive open fails this way while another program holds the file open.
      return QStringLiteral("文件正被其他程序使用");
    case EISDIR:
      return QStringLiteral("这是一个文件夹");
    case ENOTDIR:
      return QStringLiteral("路径中有一部分不是文件夹");
    case ENOSPC:
      return QStringLiteral("磁盘空间不足");
    case EDQUOT:
      return QStringLiteral("磁盘配额已用完");
    case EFBIG:
      return QStringLiteral("文件太大");
    case EROFS:
      return QStringLiteral("只读文件系统");
    case EEXIST:
      return QStringLiteral("文件已存在");
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

QString FailureReasonLine(const QString& path, int error_number) {
  if (path.isEmpty()) {
    return QStringLiteral("原因:%1").arg(ReasonText(error_number));
  }
  return QStringLiteral("出错的文件:%1,原因:%2").arg(path, ReasonText(error_number));
}

}  // namespace qarvo::ui
