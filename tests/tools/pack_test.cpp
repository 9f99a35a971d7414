#include "tools/pack.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "codec/des.h"
#include "codec/digest.h"
#include "platform/file.h"
#include "support/capture_log.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "tools/pack_format.h"
#include "tools/unpack.h"

namespace qarvo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Collects lines; a hook sees each line on the worker's thread before the worker goes on.
using PackLog = test::CaptureLog;

class PackShake : public JobCallbacks {
 public:
  bool ShakeOption() override { return true; }
  void ShakeWindow() override { ++shakes; }
  std::atomic<int> shakes{0};
};

struct Outcome {
  std::vector<std::string> lines;
  int shakes = 0;
};

Outcome RunPack(const std::string& out_dir, const TSMWorkInfos& infos,
                std::function<void(const std::string&)> on_line = nullptr) {
  auto log = std::make_shared<PackLog>();
  log->on_line = std::move(on_line);
  auto shake = std::make_shared<PackShake>();
  auto worker = TSMfile::Create(out_dir, infos, JobHost{log, shake});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(300)));
  return {log->Lines(), shake->shakes.load()};
}

Outcome RunUnpack(const std::string& pack, const std::string& out_dir,
                  const std::string& password = "") {
  auto log = std::make_shared<PackLog>();
  TSMWorkInfos infos;
  infos.Password = password;
  auto worker = TSDfile::Create(pack, infos, out_dir, JobHost{log, nullptr});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(300)));
  return {log->Lines(), 0};
}

TSMWorkInfos Infos(const std::vector<std::string>& paths, const std::string& out_name) {
  TSMWorkInfos infos;
  infos.Paths = paths;
  for (const std::string& path : paths) {
    infos.Sizes.push_back(std::to_string(FileSizeOf(path)));
  }
  infos.OutName = out_name;
  return infos;
}

std::string Progress(int i, int left) {
  return "正在打包第" + std::to_string(i) + "个文件,剩余" + std::to_string(left) + "个文件...";
}

// The plain header text of a pack: through the fifth "|", or the sixth when it has checksums.
// What the filler blocks decrypt to is cut off.
std::string HeaderTextOf(const std::string& pack) {
  const std::string plain =
      DecryptHeaderText(std::string_view(pack).substr(pack.size() - kPackTrailerSize));
  const int bars = plain.size() > 40 && plain[40] != '0' ? 6 : 5;
  size_t at = 0;
  for (int i = 0; i < bars; ++i) {
    at = plain.find('|', at);
    if (at == std::string::npos) {
      return plain;
    }
    ++at;
  }
  return plain.substr(0, at);
}

TEST(Pack, TwoFilesWithoutChecksumsHaveTheDocumentedLayout) {
  TempDir dir;
  WriteFile(dir.File("x.txt"), "12345");
  WriteFile(dir.File("y.bin"), "abcdefghijkl");
  const Outcome outcome = RunPack(dir.path(), Infos({dir.File("x.txt"), dir.File("y.bin")}, "p"));
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{Progress(1, 1), Progress(2, 0), kPackDone}));
  EXPECT_EQ(outcome.shakes, 1);

  const std::string pack = ReadFile(dir.File("p"));
  const std::string paths =
      PackPathLine(dir.File("x.txt")) + "\r\n" + PackPathLine(dir.File("y.bin")) + "\r\n";
  ASSERT_EQ(pack.size(), 17 + 7 + paths.size() + 174);
  EXPECT_EQ(pack.substr(0, 17), "12345abcdefghijkl");
  EXPECT_EQ(pack.substr(17, 7), "5\r\n12\r\n");
  EXPECT_EQ(pack.substr(24, paths.size()), paths);
  // On this system the listed paths start with a backslash and use no other separator.
  EXPECT_EQ(pack[24], '\\');
  EXPECT_EQ(pack.substr(24, paths.size()).find('/'), std::string::npos);
  EXPECT_EQ(HeaderTextOf(pack), std::string("plomsey") + kNoPasswordMarker + "|0|2|" +
                                    std::to_string(paths.size()) + "|7|");
  // The encrypted text is followed by zero bytes only.
  const std::string trailer = pack.substr(pack.size() - 174);
  const std::string encrypted = EncryptHeaderWithFiller(HeaderTextOf(pack));
  EXPECT_EQ(trailer.substr(0, encrypted.size()), encrypted);
  EXPECT_EQ(trailer.find_first_not_of('\0', encrypted.size()), std::string::npos);
}

TEST(Pack, ChecksumsComeFirstAndAddTheFourthLength) {
  TempDir dir;
  WriteFile(dir.File("a"), "hello");
  WriteFile(dir.File("b"), "world!");
  TSMWorkInfos infos = Infos({dir.File("a"), dir.File("b")}, "md5.pak");
  infos.CheckKind = ChecksumKind::Md5;
  const Outcome md5 = RunPack(dir.path(), infos);
  const std::string md5_a = Md5Hex(Md5OfText("hello"));
  const std::string md5_b = Md5Hex(Md5OfText("world!"));
  EXPECT_EQ(md5.lines,
            (std::vector<std::string>{"正在生成文件MD5值...", dir.File("a") + "   MD5值:", md5_a,
                                      dir.File("b") + "   MD5值:", md5_b, Progress(1, 1),
                                      Progress(2, 0), kPackDone}));
  const std::string pack = ReadFile(dir.File("md5.pak"));
  EXPECT_EQ(pack.substr(11, 68), md5_a + "\r\n" + md5_b + "\r\n");
  EXPECT_EQ(pack.substr(79, 6), "5\r\n6\r\n");
  const std::string header = HeaderTextOf(pack);
  EXPECT_EQ(header.substr(header.size() - 3), "68|");
  EXPECT_EQ(header.substr(39, 5), "|1|2|");

  infos.CheckKind = ChecksumKind::Crc32;
  infos.OutName = "crc.pak";
  const Outcome crc = RunPack(dir.path(), infos);
  ASSERT_EQ(crc.lines.size(), 8u);
  EXPECT_EQ(crc.lines[0], "正在生成文件CRC32值...");
  EXPECT_EQ(crc.lines[1], dir.File("a") + "   CRC32值:");
  EXPECT_EQ(crc.lines[2], Crc32OfFileText(dir.File("a")));
  TempDir out;
  const Outcome back = RunUnpack(dir.File("crc.pak"), out.path());
  EXPECT_EQ(back.lines[back.lines.size() - 3], "a与原文件相同!");
}

TEST(Pack, EmptyListGivesTheTrailerAlone) {
  TempDir dir;
  const Outcome outcome = RunPack(dir.path(), Infos({}, "none.pak"));
  EXPECT_EQ(outcome.lines, std::vector<std::string>{kPackDone});
  const std::string pack = ReadFile(dir.File("none.pak"));
  ASSERT_EQ(pack.size(), 174u);
  EXPECT_EQ(HeaderTextOf(pack), std::string("plomsey") + kNoPasswordMarker + "|0|0|0|0|");
}

TEST(Pack, RoundTripWithPasswordAndDeletion) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("src"));
  std::filesystem::create_directory(dir.File("out"));
  const std::string big = test::RandomBytes(3 * 61440 + 17, 7);
  WriteFile(dir.File("src/big.bin"), big);
  WriteFile(dir.File("src/数据.txt"), "中文内容");
  TSMWorkInfos infos = Infos({dir.File("src/big.bin"), dir.File("src/数据.txt")}, "r.pak");
  infos.Password = "abc12";
  infos.CheckKind = ChecksumKind::Md5;
  infos.DeleteSource = true;
  const Outcome outcome = RunPack(dir.File("out"), infos);
  EXPECT_EQ(outcome.lines.back(), kPackDone);
  EXPECT_FALSE(FileExists(dir.File("src/big.bin")));
  EXPECT_FALSE(FileExists(dir.File("src/数据.txt")));
  const size_t data = big.size() + std::string("中文内容").size();
  const size_t checks = 2 * 34;
  const size_t sizes = std::to_string(big.size()).size() + 2 + std::string("12\r\n").size();
  const size_t paths = PackPathLine(dir.File("src/big.bin")).size() + 2 +
                       PackPathLine(dir.File("src/数据.txt")).size() + 2;
  EXPECT_EQ(FileSizeOf(dir.File("out/r.pak")),
            static_cast<int64_t>(data + checks + sizes + paths + kPackTrailerSize));

  EXPECT_EQ(RunUnpack(dir.File("out/r.pak"), dir.File("out"), "abc13").lines.back(),
            kUnpackNeedsPassword);
  const Outcome back = RunUnpack(dir.File("out/r.pak"), dir.File("out"), "abc12");
  EXPECT_EQ(back.lines.back(), kUnpackDone);
  EXPECT_EQ(ReadFile(dir.File("out/big.bin")), big);
  EXPECT_EQ(ReadFile(dir.File("out/数据.txt")), "中文内容");
}

TEST(Pack, SizesAreTakenWhenTheJobStarts) {
  TempDir dir;
  WriteFile(dir.File("grew"), "0123456789");
  TSMWorkInfos infos = Infos({dir.File("grew")}, "s.pak");
  infos.Sizes = {"3"};  // what the list showed when the file was added
  EXPECT_EQ(RunPack(dir.path(), infos).lines.back(), kPackDone);
  const std::string pack = ReadFile(dir.File("s.pak"));
  EXPECT_EQ(pack.substr(0, 14), "0123456789" + std::string("10\r\n"));
}

TEST(Pack, FileGrowingDuringTheJobIsCutAtItsStartSize) {
  TempDir dir;
  WriteFile(dir.File("log"), "abcdef");
  TSMWorkInfos infos = Infos({dir.File("log")}, "g.pak");
  infos.CheckKind = ChecksumKind::Crc32;
  const Outcome outcome = RunPack(dir.path(), infos, [&](const std::string& line) {
    if (line == "正在生成文件CRC32值...") {
      WriteFile(dir.File("log"), "abcdefGHIJ");
    }
  });
  EXPECT_EQ(outcome.lines.back(), kPackDone);
  std::filesystem::create_directory(dir.File("out"));
  const Outcome back = RunUnpack(dir.File("g.pak"), dir.File("out"));
  EXPECT_EQ(back.lines[back.lines.size() - 2], "log与原文件相同!");
  EXPECT_EQ(ReadFile(dir.File("out/log")), "abcdef");
}

TEST(Pack, FileShrinkingDuringTheJobEndsItWithItsLine) {
  TempDir dir;
  WriteFile(dir.File("a"), "abcdef");
  WriteFile(dir.File("b"), "123");
  TSMWorkInfos infos = Infos({dir.File("a"), dir.File("b")}, "k.pak");
  infos.DeleteSource = true;
  const Outcome outcome = RunPack(dir.path(), infos, [&](const std::string& line) {
    if (line == Progress(1, 1)) {
      ASSERT_EQ(::truncate(dir.File("a").c_str(), 2), 0);
    }
  });
  EXPECT_EQ(outcome.lines,
            (std::vector<std::string>{Progress(1, 1),
                                      "文件打包:文件在打包时变小了,无法打包 " + dir.File("a")}));
  EXPECT_EQ(outcome.shakes, 0);
  EXPECT_TRUE(FileExists(dir.File("a")));
  EXPECT_TRUE(FileExists(dir.File("b")));
}

TEST(Pack, OutputThatIsAListedFileIsRefusedBeforeAnythingIsCreated) {
  TempDir dir;
  WriteFile(dir.File("a"), "keep me");
  WriteFile(dir.File("b"), "and me");
  TSMWorkInfos infos = Infos({dir.File("b"), dir.File("a")}, "a");
  const Outcome outcome = RunPack(dir.path(), infos);
  EXPECT_EQ(outcome.lines,
            std::vector<std::string>{"文件打包:打包文件不能是被打包的文件 " + dir.File("a")});
  EXPECT_EQ(ReadFile(dir.File("a")), "keep me");
  // Through another name of the same file as well.
  ASSERT_EQ(::link(dir.File("a").c_str(), dir.File("alias").c_str()), 0);
  infos.OutName = "alias";
  EXPECT_EQ(RunPack(dir.path(), infos).lines.size(), 1u);
  EXPECT_EQ(ReadFile(dir.File("a")), "keep me");
}

TEST(Pack, EarlyEndsHaveClearLines) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  // A missing source when the job starts: nothing is created.
  TSMWorkInfos gone = Infos({dir.File("a")}, "g.pak");
  gone.Paths.push_back(dir.File("missing"));
  gone.Sizes.push_back("4");
  Outcome outcome = RunPack(dir.path(), gone);
  ASSERT_EQ(outcome.lines.size(), 1u);
  EXPECT_EQ(outcome.lines[0].rfind("文件打包:无法读取文件 " + dir.File("missing") + " (", 0), 0u);
  EXPECT_FALSE(FileExists(dir.File("g.pak")));

  // A pack that cannot be created.
  outcome = RunPack(dir.File("no-such-dir"), Infos({dir.File("a")}, "n.pak"));
  ASSERT_EQ(outcome.lines.size(), 1u);
  EXPECT_EQ(outcome.lines[0].rfind("文件打包:无法创建打包文件 " + dir.File("no-such-dir/n.pak"), 0),
            0u);
  EXPECT_EQ(outcome.shakes, 0);

  // A source held without sharing by someone else while it is copied.
  File holder(dir.File("a"), OpenMode::Read, Share::Exclusive);
  outcome = RunPack(dir.path(), Infos({dir.File("a")}, "h.pak"));
  ASSERT_EQ(outcome.lines.size(), 2u);
  EXPECT_EQ(outcome.lines[1].rfind("文件打包:无法读取文件 " + dir.File("a") + " (", 0), 0u);
  EXPECT_TRUE(FileExists(dir.File("a")));

  // A path with a line break would break the lists apart.
  WriteFile(dir.File("two\nlines"), "x");
  outcome = RunPack(dir.path(), Infos({dir.File("two\nlines")}, "l.pak"));
  EXPECT_EQ(outcome.lines, std::vector<std::string>{"文件打包:文件路径含有换行符,无法打包 " +
                                                    dir.File("two\nlines")});
}

// A write that fails half way through (here: the file size limit of the process).
TEST(Pack, WriteFailureIsReportedWithThePacksName) {
  TempDir dir;
  WriteFile(dir.File("a"), test::RandomBytes(200000, 3));
  WriteFile(dir.File("w.pak"), "an older pack");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  TSMWorkInfos infos = Infos({dir.File("a")}, "w.pak");
  infos.Overwrite = true;
  const Outcome outcome = RunPack(dir.path(), infos);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  ASSERT_EQ(outcome.lines.size(), 2u);
  EXPECT_EQ(outcome.lines[1].rfind("文件打包:无法写入打包文件 " + dir.File("w.pak") + " (", 0), 0u)
      << outcome.lines[1];
  EXPECT_EQ(outcome.shakes, 0);
  // No half pack: the older file of that name is as it was, and no temporary file is left.
  EXPECT_EQ(ReadFile(dir.File("w.pak")), "an older pack");
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"a", "w.pak"}));
}

// A header text the cipher refuses gets a filler byte, so such a pack is written and read. The
// cipher works on 8-byte blocks and only the last one decides, so the search makes the paths
// length four digits long (its last digit and the whole sizes length then share that block)
// and varies both.
TEST(Pack, HeaderRefusedByTheCipherIsWrittenWithFiller) {
  TempDir dir;
  const std::string prefix = dir.path() + "/";
  const auto base_name = [](size_t i) { return std::to_string(i) + "_"; };
  size_t found_count = 0;
  size_t found_j = 0;
  size_t found_paths = 0;
  for (size_t count = 10; count < 40 && found_count == 0; ++count) {
    size_t shortest = 0;
    for (size_t i = 0; i < count; ++i) {
      shortest += prefix.size() + base_name(i).size() + 2;
    }
    const size_t first = std::max<size_t>(shortest, 1000);
    for (size_t j = 0; j <= 2 * count && found_count == 0; ++j) {
      for (size_t paths = first; paths < first + 10 && paths < 10000; ++paths) {
        PackHeader header;
        header.file_count = static_cast<int64_t>(count);
        header.paths_length = static_cast<int64_t>(paths);
        header.sizes_length = static_cast<int64_t>(3 * count + j);
        try {
          EncryptHeaderText(BuildPackHeaderText("", header));
        } catch (const CipherError&) {
          found_count = count;
          found_j = j;
          found_paths = paths;
          break;
        }
      }
    }
  }
  ASSERT_NE(found_count, 0u) << "no refused header text in range";
  // Sizes: j / 2 files of 100 bytes, j % 2 of 10 bytes, the rest of 1 byte. Names share the
  // paths length beyond the shortest names.
  size_t extra = found_paths;
  for (size_t i = 0; i < found_count; ++i) {
    extra -= prefix.size() + base_name(i).size() + 2;
  }
  std::vector<std::string> paths;
  for (size_t i = 0; i < found_count; ++i) {
    const size_t share = extra / found_count + (i < extra % found_count ? 1 : 0);
    const std::string path = dir.File(base_name(i) + std::string(share, 'n'));
    const size_t size = i < found_j / 2 ? 100 : (i < found_j / 2 + found_j % 2 ? 10 : 1);
    WriteFile(path, std::string(size, 'z'));
    paths.push_back(path);
  }
  EXPECT_EQ(RunPack(dir.path(), Infos(paths, "f.pak")).lines.back(), kPackDone);
  const std::string header = HeaderTextOf(ReadFile(dir.File("f.pak")));
  EXPECT_THROW(EncryptHeaderText(header), CipherError);
  std::filesystem::create_directory(dir.File("out"));
  EXPECT_EQ(RunUnpack(dir.File("f.pak"), dir.File("out")).lines.back(), kUnpackDone);
  EXPECT_EQ(ReadFile(dir.File("out/" + paths.back().substr(prefix.size()))),
            std::string(FileSizeOf(paths.back()), 'z'));
}

// Files of 2 GiB and more: 64-bit sizes in the list and in the copy, both ways.
TEST(Pack, FilesBeyondTwoGibibytesRoundTrip) {
  TempDir dir;
  const int64_t size = (int64_t{1} << 31) + 3;
  {
    File big(dir.File("big"), OpenMode::Create, Share::Shared);
    big.Truncate(size - 3);
    big.SeekToEnd();
    big.Write("END", 3);
    big.Close();
  }
  WriteFile(dir.File("small"), "tail");
  TSMWorkInfos infos = Infos({dir.File("big"), dir.File("small")}, "huge.pak");
  infos.DeleteSource = true;
  ASSERT_EQ(RunPack(dir.path(), infos).lines.back(), kPackDone);
  {
    File pack(dir.File("huge.pak"), OpenMode::Read, Share::Shared);
    std::string around(7, '\0');
    pack.Seek(size - 3);
    pack.ReadExact(around.data(), around.size());
    EXPECT_EQ(around, "ENDtail");
    std::string sizes(15, '\0');
    pack.ReadExact(sizes.data(), sizes.size());
    EXPECT_EQ(sizes, "2147483651\r\n4\r\n");
  }
  const Outcome back = RunUnpack(dir.File("huge.pak"), dir.path());
  EXPECT_EQ(back.lines.back(), kUnpackDone);
  std::filesystem::remove(dir.File("huge.pak"));
  EXPECT_EQ(FileSizeOf(dir.File("big")), size);
  EXPECT_EQ(ReadFile(dir.File("small")), "tail");
  File big(dir.File("big"), OpenMode::Read, Share::Shared);
  std::string end(3, '\0');
  big.Seek(size - 3);
  big.ReadExact(end.data(), end.size());
  EXPECT_EQ(end, "END");
}

TEST(Pack, NamesThatAreNotUtf8AreRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  TempDir out;
  WriteFile(dir.File("good"), "abc");
  WriteFile(dir.File("bad\xB0\xA1"), "def");  // GB2312 bytes, not UTF-8
  TSMWorkInfos infos = Infos({dir.File("good"), dir.File("bad\xB0\xA1")}, "u.pak");
  infos.DeleteSource = true;
  const Outcome outcome = RunPack(out.path(), infos);
  EXPECT_EQ(outcome.lines, std::vector<std::string>{"文件打包:文件名不是有效的UTF-8编码,无法打包 " +
                                                    dir.File("bad\xB0\xA1")});
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  EXPECT_TRUE(FileExists(dir.File("good")));
}

TEST(Pack, APackNameThatIsASymbolicLinkIsReplaced) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  WriteFile(dir.File("target"), "keep me");
  std::filesystem::create_symlink(dir.File("target"), dir.File("s.pak"));
  TSMWorkInfos infos = Infos({dir.File("a")}, "s.pak");
  infos.DeleteSource = true;
  infos.Overwrite = true;
  const Outcome outcome = RunPack(dir.path(), infos);
  EXPECT_EQ(outcome.lines.back(), kPackDone);
  EXPECT_EQ(ReadFile(dir.File("target")), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("s.pak")));
  EXPECT_FALSE(FileExists(dir.File("a")));  // deleted once the pack is whole
  TempDir out;
  EXPECT_EQ(RunUnpack(dir.File("s.pak"), out.path()).lines.back(), kUnpackDone);
  EXPECT_EQ(ReadFile(out.File("a")), "abc");
}

}  // namespace
}  // namespace qarvo
