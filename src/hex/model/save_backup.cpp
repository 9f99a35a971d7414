// The step that runs before a save writes the file: refuse a read-only file, keep a backup.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "platform/file.h"

namespace qarvo::hex {

void HexEditorModel::PrepareSave(const std::string& path) {
  if (has_file_ && read_only_file_ && path == file_name_) {
    throw EMPHexEditor("Cannot save readonly file " + path + ".");
  }
  const std::string& extension = settings_.backup_extension;
  // Without an extension the backup would be the file itself: deleting the "previous backup"
  // would delete the file. No backup then.
  if (!settings_.create_backup || extension.empty() || !modified_ || !FileExists(path)) {
    return;
  }
  const std::string backup = path + extension;
  if (FileExists(backup) && std::remove(backup.c_str()) != 0) {
    throw EMPHexEditor("Cannot delete previous backup " + backup + ". (" + std::strerror(errno) +
                       ")");
  }
  if (std::rename(path.c_str(), backup.c_str()) != 0) {
    throw EMPHexEditor("Cannot create backup " + backup + ". (" + std::strerror(errno) + ")");
  }
}

}  // namespace qarvo::hex
