// Shifting the data by one nibble, through a temporary file as the control has always done.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "hexview/hex_error.h"
#include "hexview/hex_model.h"

namespace qarvo::hex {

namespace {

// A new file "XXXXXXXX.MPHT" in the temporary folder, named by the tick count, created
// exclusively for its owner only (never an existing name or a link), removed when done.
class NibbleTempFile {
 public:
  NibbleTempFile() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    auto tick = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
    for (int attempt = 0; attempt < 1000; ++attempt, ++tick) {
      char name[16];
      std::snprintf(name, sizeof name, "%08X.MPHT", tick);
      path_ = (folder / name).string();
      fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ >= 0 || errno != EEXIST) {
        break;
      }
    }
    if (fd_ < 0) {
      throw EMPHexEditor("Cannot create temporary file " + path_ + ". (" + std::strerror(errno) +
                         ")");
    }
  }
  ~NibbleTempFile() {
    close(fd_);
    unlink(path_.c_str());
  }
  NibbleTempFile(const NibbleTempFile&) = delete;
  NibbleTempFile& operator=(const NibbleTempFile&) = delete;

  void Write(const uint8_t* bytes, size_t count) {
    while (count > 0) {
      const ssize_t n = write(fd_, bytes, count);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        Fail("write");
      }
      bytes += n;
      count -= static_cast<size_t>(n);
    }
  }
  void ReadAll(uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
      const ssize_t n = pread(fd_, bytes + done, count - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        Fail("read");
      }
      done += static_cast<size_t>(n);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw EMPHexEditor(std::string("Cannot ") + what + " temporary file " + path_ + ". (" +
                       std::strerror(errno) + ")");
  }
  std::string path_;
  int fd_ = -1;
};

}  // namespace

void HexEditorModel::NibbleShift(int64_t position, bool insert) {
  const int64_t size = DataSize();
  if (position < 0 || position >= size) {
    return;
  }
  const int64_t tail = size - position;
  NibbleTempFile temp;
  {
    // The tail shifted right by four bits, plus the carried last nibble.
    std::vector<uint8_t> block;
    uint8_t carry = 0;
    const uint8_t* bytes = data_.Data() + position;
    for (int64_t done = 0; done < tail;) {
      const int64_t step = std::min<int64_t>(tail - done, kCopyStep);
      block.resize(static_cast<size_t>(step));
      for (int64_t i = 0; i < step; ++i) {
        const uint8_t b = bytes[done + i];
        block[static_cast<size_t>(i)] = static_cast<uint8_t>(carry << 4 | b >> 4);
        carry = b & 0x0F;
      }
      temp.Write(block.data(), block.size());
      done += step;
    }
    const uint8_t last = static_cast<uint8_t>(carry << 4);
    temp.Write(&last, 1);
  }
  std::vector<uint8_t> shifted(static_cast<size_t>(tail + 1));
  temp.ReadAll(shifted.data(), shifted.size());
  if (insert) {
    data_.SetSize(size + 1);
    std::memcpy(data_.Data() + position, shifted.data(), shifted.size());
  } else {
    std::memcpy(data_.Data() + position, shifted.data() + 1, static_cast<size_t>(tail - 1));
    data_.SetSize(size - 1);
  }
}

void HexEditorModel::InsertNibble(int64_t position, const std::string& description) {
  data_.CheckRange(position, 1);
  CheckChange(ukNibbleInsert, 1, 0);
  const int before = undo_.Count();
  AddUndo(ukNibbleInsert, position, description, 0, 1);
  try {
    NibbleShift(position, true);
  } catch (...) {
    DropFailedUndo(before);
    throw;
  }
  flags_.DropFrom(position);
  LayoutChanged();
  Changed();
}

void HexEditorModel::DeleteNibble(int64_t position, const std::string& description) {
  data_.CheckRange(position, 1);
  CheckChange(ukNibbleDelete, 1, 0);
  const int before = undo_.Count();
  AddUndo(ukNibbleDelete, position, description, 0, 1);
  try {
    NibbleShift(position, false);
  } catch (...) {
    DropFailedUndo(before);
    throw;
  }
  flags_.DropFrom(position);
  caret_.position = std::clamp<int64_t>(caret_.position, 0, LastCaretPosition());
  LayoutChanged();
  Changed();
}

}  // namespace qarvo::hex
