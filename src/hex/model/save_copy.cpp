#include "hex/model/save_copy.h"

#include <algorithm>
#include <vector>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "platform/atomic_output.h"
#include "platform/io_buffer.h"

namespace qarvo::hex {

void SaveContentCopy(const ContentReader& read, int64_t size, const std::string& path,
                     const SaveProgress& progress) {
  AtomicOutput output(path);
  IoBuffer block(static_cast<size_t>(std::min<int64_t>(kCopyStep, std::max<int64_t>(size, 1))));
  int last = -1;
  for (int64_t done = 0; done < size;) {
    const auto count = static_cast<size_t>(std::min<int64_t>(size - done, kCopyStep));
    const std::span<uint8_t> part(block.data(), count);
    read(done, part);
    output.file().Write(part.data(), part.size());
    done += static_cast<int64_t>(count);
    const int percent = static_cast<int>(done * 100 / size);
    if (progress && percent != last) {
      last = percent;
      if (!progress(percent)) {
        throw EMPHexEditor("Operation cancelled");  // `output` removes the temporary file
      }
    }
  }
  output.Commit(true);
}

}  // namespace qarvo::hex
