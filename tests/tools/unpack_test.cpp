#include "tools/unpack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/block_pipe.h"
#include "codec/des.h"
#include "codec/digest.h"
#include "jobs/recorder.h"
#include "platform/file.h"
#include "support/capture_log.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "tools/pack_format.h"

namespace qarvo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

using UnpackLog = test::CaptureLog;

class ShakeCount : public JobCallbacks {
 public:
  bool ShakeOption() override { return true; }
  void ShakeWindow() override { ++shakes; }
  std::atomic<int> shakes{0};
};

// A pack put together by hand, so the reader meets layouts the writer never makes.
struct RawPack {
  std::string data;
  std::vector<std::string> checks;  // used when kind is not None
  std::vector<std::string> sizes;
  std::vector<std::string> paths;  // GB18030 lines
  ChecksumKind kind = ChecksumKind::None;
  std::string password;

  std::string Bytes() const {
    const std::string checks_text = kind != ChecksumKind::None ? ListText(checks) : std::string();
    const std::string sizes_text = ListText(sizes);
    const std::string paths_text = ListText(paths);
    PackHeader header;
    header.check_kind = kind;
    header.file_count = static_cast<int64_t>(paths.size());
    header.paths_length = static_cast<int64_t>(paths_text.size());
    header.sizes_length = static_cast<int64_t>(sizes_text.size());
    header.checks_length = static_cast<int64_t>(checks_text.size());
    const std::string trailer = MakeTrailerBlock(
        EncryptHeaderWithFiller(BuildPackHeaderText(password, header)), kPackTrailerSize);
    return data + checks_text + sizes_text + paths_text + trailer;
  }
};

std::string PackOfHeaderText(const std::string& prefix, const std::string& header_text) {
  return prefix + MakeTrailerBlock(EncryptHeaderWithFiller(header_text), kPackTrailerSize);
}

struct Outcome {
  std::vector<std::string> lines;
  int shakes = 0;
};

Outcome Unpack(const std::string& pack, const std::string& out_dir, TSMWorkInfos infos = {}) {
  auto log = std::make_shared<UnpackLog>();
  auto shake = std::make_shared<ShakeCount>();
  auto worker = TSDfile::Create(pack, infos, out_dir, JobHost{log, shake});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(120)));
  return {log->Lines(), shake->shakes.load()};
}

const std::string kAnalysing = "正在分析文件...";

std::string Progress(int i, int left) {
  return "正在解包第" + std::to_string(i) + "个文件,剩余" + std::to_string(left) + "个文件...";
}

std::string Md5Text(const std::string& bytes) {
  return Md5Hex(Md5OfText(bytes));
}

// --- the format helpers ---

TEST(PackFormat, OutNameRules) {
  EXPECT_TRUE(IsValidOutName(std::string(50, 'a')));
  EXPECT_FALSE(IsValidOutName(std::string(51, 'a')));
  EXPECT_FALSE(IsValidOutName(""));
  std::string chinese;
  for (int i = 0; i < 25; ++i) {
    chinese += "数";  // two bytes each in GB18030, three in UTF-8
  }
  EXPECT_TRUE(IsValidOutName(chinese));
  EXPECT_FALSE(IsValidOutName(chinese + "a"));
  for (const char c : std::string("\\/:?*<>|\"")) {
    EXPECT_FALSE(IsValidOutName(std::string("a") + c + "b")) << c;
  }
  // The names of a folder and its parent can name no pack; names with dots in them can.
  EXPECT_FALSE(IsValidOutName("."));
  EXPECT_FALSE(IsValidOutName(".."));
  EXPECT_TRUE(IsValidOutName("..."));
  EXPECT_TRUE(IsValidOutName(".pack"));
  EXPECT_TRUE(IsValidOutName("my pack.数据"));
}

TEST(PackFormat, ListLinesBreakAtCrLfCrAndLf) {
  EXPECT_EQ(SplitListLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitListLines("a\r\n"), std::vector<std::string>{"a"});
  EXPECT_EQ(SplitListLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitListLines("\n"), std::vector<std::string>{""});
  EXPECT_TRUE(SplitListLines("").empty());
  EXPECT_EQ(ListText({"5", "12"}), "5\r\n12\r\n");
}

TEST(PackFormat, EntryNameIsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(EntryFileName("C:\\数据\\a.txt"), "a.txt");
  EXPECT_EQ(EntryFileName("..\\..\\evil.txt"), "evil.txt");
  EXPECT_EQ(EntryFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(EntryFileName("C:b.txt"), "b.txt");
  EXPECT_EQ(EntryFileName("plain.bin"), "plain.bin");
  // Nothing that would name the target folder itself or its parent.
  EXPECT_EQ(EntryFileName(""), "");
  EXPECT_EQ(EntryFileName("C:\\dir\\"), "");
  EXPECT_EQ(EntryFileName(".."), "");
  EXPECT_EQ(EntryFileName("a\\."), "");
  EXPECT_EQ(EntryFileName(std::string("a\0b", 3)), "");
}

TEST(PackFormat, LocalPathsAreListedWithBackslashesInGb18030) {
  EXPECT_EQ(PackPathLine("/home/u/数据/a.txt"), Utf8ToGb18030("\\home\\u\\数据\\a.txt"));
  EXPECT_EQ(PackPathLine("rel/b.bin"), "rel\\b.bin");
}

TEST(PackFormat, DecimalNumbersAreSixtyFourBit) {
  EXPECT_EQ(ParseDecimal64("0"), 0);
  EXPECT_EQ(ParseDecimal64("3000000000"), 3000000000LL);
  EXPECT_EQ(ParseDecimal64("9223372036854775807"), INT64_MAX);
  EXPECT_FALSE(ParseDecimal64("9223372036854775808"));
  EXPECT_FALSE(ParseDecimal64(""));
  EXPECT_FALSE(ParseDecimal64("-1"));
  EXPECT_FALSE(ParseDecimal64("+1"));
  EXPECT_FALSE(ParseDecimal64(" 1"));
}

TEST(PackFormat, HeaderTextHoldsKindCountAndLengths) {
  PackHeader header;
  header.file_count = 2;
  header.paths_length = 24;
  header.sizes_length = 7;
  header.checks_length = 68;  // not written for kind 0
  EXPECT_EQ(BuildPackHeaderText("", header), "plomsey0c3e9a71d5b2486f93ae170b6d4c25f8|0|2|24|7|");
  header.check_kind = ChecksumKind::Md5;
  EXPECT_EQ(BuildPackHeaderText("abc12", header), "plomsey" + Md5Text("abc12") + "|1|2|24|7|68|");
}

TEST(PackFormat, HeaderReadsBackWithAndWithoutChecksumsAndPasswords) {
  PackHeader written;
  written.check_kind = ChecksumKind::Crc32;
  written.file_count = 3;
  written.paths_length = 3000000000LL;  // 64-bit lengths survive
  written.sizes_length = 9;
  written.checks_length = 27;
  const std::string trailer = MakeTrailerBlock(
      EncryptHeaderWithFiller(BuildPackHeaderText("Secret12", written)), kPackTrailerSize);
  PackHeader read;
  ASSERT_EQ(ReadPackHeader(trailer, "Secret12", read), HeaderStatus::Ok);
  EXPECT_EQ(read.check_kind, ChecksumKind::Crc32);
  EXPECT_EQ(read.file_count, 3);
  EXPECT_EQ(read.paths_length, 3000000000LL);
  EXPECT_EQ(read.sizes_length, 9);
  EXPECT_EQ(read.checks_length, 27);
  EXPECT_EQ(ReadPackHeader(trailer, "secret12", read), HeaderStatus::WrongPassword);
  EXPECT_EQ(ReadPackHeader(trailer, "", read), HeaderStatus::WrongPassword);

  written.check_kind = ChecksumKind::None;
  const std::string open =
      MakeTrailerBlock(EncryptHeaderWithFiller(BuildPackHeaderText("", written)), kPackTrailerSize);
  EXPECT_EQ(ReadPackHeader(open, "anything", read), HeaderStatus::Ok);
  EXPECT_EQ(read.checks_length, 0);
}

TEST(PackFormat, HostileHeadersAreNotRecognised) {
  const std::string marker = kNoPasswordMarker;
  const auto status = [](const std::string& text) {
    PackHeader read;
    return ReadPackHeader(MakeTrailerBlock(EncryptHeaderWithFiller(text), kPackTrailerSize), "",
                          read);
  };
  EXPECT_EQ(status("plomsey" + marker + "|0|0|0|0|"), HeaderStatus::Ok);
  EXPECT_EQ(status("plomsex" + marker + "|0|0|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|3|0|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "||0|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|0|x|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|0|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|1|0|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|0|0|-1|0|"), HeaderStatus::NotRecognised);
  // 32 digits fit the field but not a 64-bit number; 33 digits do not fit the field.
  EXPECT_EQ(status("plomsey" + marker + "|0|" + std::string(32, '9') + "|0|0|"),
            HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|0|" + std::string(33, '0') + "|0|0|"),
            HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker + "|0|" + std::string(32, '0') + "|0|0|"), HeaderStatus::Ok);
  // A digest longer than 32 characters is no pack at all, not a password question.
  EXPECT_EQ(status("plomsey" + marker + "ab|0|0|0|0|"), HeaderStatus::NotRecognised);
  EXPECT_EQ(status("plomsey" + marker.substr(1) + "|0|0|0|0|"), HeaderStatus::WrongPassword);
}

// --- the unpack worker ---

TEST(Unpack, PackMadeOnWindowsUnpacksToBareNames) {
  TempDir dir;
  const std::string vectors = test::VectorsDir() + "/pack-windows-paths/";
  std::filesystem::copy_file(vectors + "files.pak", dir.File("files.pak"));
  const Outcome outcome = Unpack(dir.File("files.pak"), dir.path());
  EXPECT_EQ(outcome.lines,
            (std::vector<std::string>{kAnalysing, Progress(1, 1), Progress(2, 0), "正在校验文件...",
                                      "a.txt与原文件相同!", "b.bin与原文件相同!", "解包完成!"}));
  EXPECT_EQ(ReadFile(dir.File("a.txt")), ReadFile(vectors + "a.txt"));
  EXPECT_EQ(ReadFile(dir.File("b.bin")), ReadFile(vectors + "b.bin"));
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"a.txt", "b.bin", "files.pak"}));
  EXPECT_EQ(outcome.shakes, 1);
}

TEST(Unpack, ShortFilesAndForeignFilesAreRefused) {
  TempDir dir;
  WriteFile(dir.File("short.pak"), std::string(173, 'x'));
  EXPECT_EQ(Unpack(dir.File("short.pak"), dir.path()).lines,
            (std::vector<std::string>{kAnalysing, kUnpackNotRecognised}));
  WriteFile(dir.File("text.txt"), std::string(400, 'a'));
  EXPECT_EQ(Unpack(dir.File("text.txt"), dir.path()).lines,
            (std::vector<std::string>{kAnalysing, kUnpackNotRecognised}));
  // A split piece carries the same magic in a longer trailer.
  const std::string piece = test::VectorsDir() + "/split-md5-compressed/data1.vrk";
  const Outcome refused = Unpack(piece, dir.path());
  EXPECT_EQ(refused.lines, (std::vector<std::string>{kAnalysing, kUnpackNotRecognised}));
  // A refused pack still shakes.
  EXPECT_EQ(refused.shakes, 1);
  EXPECT_EQ(test::NamesIn(dir.path()), (std::vector<std::string>{"short.pak", "text.txt"}));
}

TEST(Unpack, EmptyPackIsTheTrailerAlone) {
  TempDir dir;
  const std::string bytes = RawPack{}.Bytes();
  ASSERT_EQ(bytes.size(), 174u);
  WriteFile(dir.File("empty.pak"), bytes);
  EXPECT_EQ(Unpack(dir.File("empty.pak"), dir.path()).lines,
            (std::vector<std::string>{kAnalysing, "解包完成!"}));
}

TEST(Unpack, PasswordIsCheckedBeforeAnythingIsWritten) {
  TempDir dir;
  RawPack raw;
  raw.data = "hello";
  raw.sizes = {"5"};
  raw.paths = {"a.txt"};
  raw.password = "abc12";
  WriteFile(dir.File("p.pak"), raw.Bytes());
  const std::vector<std::string> refused{kAnalysing, kUnpackNeedsPassword};
  TSMWorkInfos infos;
  infos.Password = "abc13";
  EXPECT_EQ(Unpack(dir.File("p.pak"), dir.path(), infos).lines, refused);
  infos.Password = "";
  EXPECT_EQ(Unpack(dir.File("p.pak"), dir.path(), infos).lines, refused);
  EXPECT_FALSE(FileExists(dir.File("a.txt")));
  infos.Password = "abc12";
  EXPECT_EQ(Unpack(dir.File("p.pak"), dir.path(), infos).lines.back(), kUnpackDone);
  EXPECT_EQ(ReadFile(dir.File("a.txt")), "hello");

  // An open pack ignores whatever is typed.
  raw.password = "";
  WriteFile(dir.File("open.pak"), raw.Bytes());
  infos.Password = "whatever";
  infos.Overwrite = true;
  EXPECT_EQ(Unpack(dir.File("open.pak"), dir.path(), infos).lines.back(), kUnpackDone);
}

TEST(Unpack, TwoEntriesOfOneNameBothStayAndTheVerificationHoldsForEach) {
  TempDir dir;
  RawPack raw;
  raw.kind = ChecksumKind::Crc32;
  raw.data = "firstsecond";
  raw.sizes = {"5", "6"};
  raw.paths = {Utf8ToGb18030("C:\\一\\same.txt"), Utf8ToGb18030("D:\\二\\same.txt")};
  // CRC texts computed independently of the reader: write each content and digest the file.
  WriteFile(dir.File("c1"), "first");
  WriteFile(dir.File("c2"), "second");
  raw.checks = {Crc32OfFileText(dir.File("c1")), Crc32OfFileText(dir.File("c2"))};
  std::filesystem::create_directory(dir.File("out"));
  WriteFile(dir.File("dup.pak"), raw.Bytes());

  TSMWorkInfos infos;
  infos.DeleteSource = true;
  const Outcome outcome = Unpack(dir.File("dup.pak"), dir.File("out"), infos);
  // The later entry gets a numbered name and never replaces the earlier one.
  const std::string renamed = "文件解包:第2个文件与第1个文件同名,改名为same (2).txt";
  EXPECT_EQ(outcome.lines,
            (std::vector<std::string>{kAnalysing, renamed, Progress(1, 1), Progress(2, 0),
                                      "正在校验文件...", "same.txt与原文件相同!",
                                      "same (2).txt与原文件相同!", "解包完成!"}));
  EXPECT_EQ(ReadFile(dir.File("out/same.txt")), "first");
  EXPECT_EQ(ReadFile(dir.File("out/same (2).txt")), "second");
  EXPECT_FALSE(FileExists(dir.File("dup.pak")));

  WriteFile(dir.File("dup.pak"), raw.Bytes());
  infos.DeleteSource = false;
  infos.SkipVerify = true;
  infos.Overwrite = true;
  EXPECT_EQ(
      Unpack(dir.File("dup.pak"), dir.File("out"), infos).lines,
      (std::vector<std::string>{kAnalysing, renamed, Progress(1, 1), Progress(2, 0), "解包完成!"}));
  EXPECT_TRUE(FileExists(dir.File("dup.pak")));
  EXPECT_EQ(test::NamesIn(dir.File("out")), (std::vector<std::string>{"same (2).txt", "same.txt"}));
}

TEST(Unpack, ZeroSizeEntriesAndHostilePathsStayInsideTheTarget) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("deep/out"));
  RawPack raw;
  raw.data = "abcXYZ";
  raw.sizes = {"3", "0", "3"};
  // "乗" is 0x81 0x5C in GB18030: its second byte is a backslash to a byte-wise reader.
  raw.paths = {"..\\..\\escape.txt", Utf8ToGb18030("C:\\x\\乗.txt"), "../up:/colon.bin"};
  WriteFile(dir.File("h.pak"), raw.Bytes());
  const Outcome outcome = Unpack(dir.File("h.pak"), dir.File("deep/out"));
  EXPECT_EQ(outcome.lines.back(), kUnpackDone);
  EXPECT_EQ(test::NamesIn(dir.File("deep/out")),
            (std::vector<std::string>{"colon.bin", "escape.txt", "乗.txt"}));
  EXPECT_EQ(ReadFile(dir.File("deep/out/escape.txt")), "abc");
  EXPECT_EQ(ReadFile(dir.File("deep/out/乗.txt")), "");
  EXPECT_EQ(ReadFile(dir.File("deep/out/colon.bin")), "XYZ");
  EXPECT_EQ(test::NamesIn(dir.File("deep")), std::vector<std::string>{"out"});
}

TEST(Unpack, EntryRunningPastTheDataAreaEndsTheJobBeforeItsFileExists) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  RawPack raw;
  raw.data = "12345abc";
  raw.sizes = {"5", "4"};  // only 3 data bytes are left for the second entry
  raw.paths = {"one.txt", "two.txt"};
  WriteFile(dir.File("over.pak"), raw.Bytes());
  TSMWorkInfos infos;
  infos.DeleteSource = true;
  const Outcome outcome = Unpack(dir.File("over.pak"), dir.File("out"), infos);
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{
                               kAnalysing, "文件解包:第2个文件的大小超出了数据区,解包中止!"}));
  // Refused before anything is written.
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
  EXPECT_TRUE(FileExists(dir.File("over.pak")));  // not deleted
  EXPECT_EQ(outcome.shakes, 0);
}

TEST(Unpack, BadSizeLinesEndTheJobWithTheirLine) {
  TempDir dir;
  for (const std::string bad : {"x", "-1", "", "99999999999999999999", "1 "}) {
    RawPack raw;
    raw.data = "ab";
    raw.sizes = {"1", bad};
    raw.paths = {"first", "second"};
    WriteFile(dir.File("bad.pak"), raw.Bytes());
    const Outcome outcome = Unpack(dir.File("bad.pak"), dir.path());
    EXPECT_EQ(outcome.lines.back(), "文件解包:第2个文件的大小无效,解包中止!") << bad;
    EXPECT_FALSE(FileExists(dir.File("first")));
    EXPECT_FALSE(FileExists(dir.File("second")));
    EXPECT_EQ(outcome.shakes, 0);
  }
  // Fewer size lines than paths.
  RawPack raw;
  raw.data = "a";
  raw.sizes = {"1"};
  raw.paths = {"first", "second"};
  WriteFile(dir.File("few.pak"), raw.Bytes());
  EXPECT_EQ(Unpack(dir.File("few.pak"), dir.path()).lines.back(),
            "文件解包:第2个文件的大小无效,解包中止!");
}

TEST(Unpack, ListLengthsBeyondThePackAreRefused) {
  TempDir dir;
  const std::string marker = kNoPasswordMarker;
  WriteFile(dir.File("long.pak"), PackOfHeaderText("5\r\na\r\n", "plomsey" + marker + "|0|1|4|3|"));
  EXPECT_EQ(Unpack(dir.File("long.pak"), dir.path()).lines,
            (std::vector<std::string>{kAnalysing, kUnpackNotRecognised}));
  // Lengths whose sum overflows must not wrap around into a small number.
  WriteFile(dir.File("wrap.pak"),
            PackOfHeaderText("", "plomsey" + marker + "|1|1|9223372036854775807|1|1|"));
  EXPECT_EQ(Unpack(dir.File("wrap.pak"), dir.path()).lines,
            (std::vector<std::string>{kAnalysing, kUnpackNotRecognised}));
}

TEST(Unpack, NamesThatCannotBeFilesEndTheJob) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  std::filesystem::create_directory(dir.File("out/taken"));
  RawPack raw;
  raw.data = "ab";
  raw.sizes = {"1", "1"};
  raw.paths = {"ok.txt", "C:\\dir\\.."};
  WriteFile(dir.File("dots.pak"), raw.Bytes());
  EXPECT_EQ(Unpack(dir.File("dots.pak"), dir.File("out")).lines.back(),
            "文件解包:第2个文件的文件名无效,解包中止! C:\\dir\\..");

  raw.paths = {"ok.txt", "taken"};  // a folder of that name blocks the file
  WriteFile(dir.File("dir.pak"), raw.Bytes());
  const Outcome outcome = Unpack(dir.File("dir.pak"), dir.File("out"));
  ASSERT_FALSE(outcome.lines.empty());
  EXPECT_EQ(outcome.lines.back().rfind("文件解包:无法创建文件 " + dir.File("out/taken"), 0), 0u)
      << outcome.lines.back();
  EXPECT_EQ(outcome.shakes, 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("out/taken")));
}

TEST(Unpack, AnEntryNamedLikeThePackNeverOverwritesIt) {
  TempDir dir;
  RawPack raw;
  raw.data = "abc";
  raw.sizes = {"1", "2"};
  raw.paths = {"first.txt", "C:\\old\\self.pak"};
  const std::string bytes = raw.Bytes();
  WriteFile(dir.File("self.pak"), bytes);
  const Outcome outcome = Unpack(dir.File("self.pak"), dir.path());
  EXPECT_EQ(outcome.lines.back(),
            "文件解包:不能覆盖打包文件本身,解包中止! " + dir.File("self.pak"));
  EXPECT_EQ(ReadFile(dir.File("self.pak")), bytes);
}

TEST(Unpack, UnreadablePackGetsItsOwnLine) {
  TempDir dir;
  RawPack raw;
  WriteFile(dir.File("busy.pak"), raw.Bytes());
  // Another holder of the pack without sharing.
  File holder(dir.File("busy.pak"), OpenMode::Read, Share::Exclusive);
  const Outcome outcome = Unpack(dir.File("busy.pak"), dir.path());
  ASSERT_EQ(outcome.lines.size(), 2u);
  EXPECT_EQ(outcome.lines[1].rfind("文件解包:无法读取文件 " + dir.File("busy.pak"), 0), 0u)
      << outcome.lines[1];
}

TEST(Unpack, SizesThatDoNotAddUpToTheDataAreaAreRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  RawPack raw;
  raw.data = "12345abcXYZ";  // three bytes more than the entries take
  raw.sizes = {"5", "3"};
  raw.paths = {"one.txt", "two.txt"};
  WriteFile(dir.File("left.pak"), raw.Bytes());
  TSMWorkInfos infos;
  infos.DeleteSource = true;
  const Outcome outcome = Unpack(dir.File("left.pak"), dir.File("out"), infos);
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kAnalysing, kUnpackSizesDisagree}));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
  EXPECT_TRUE(FileExists(dir.File("left.pak")));
  EXPECT_EQ(outcome.shakes, 0);
}

TEST(Unpack, AWriteFailureLeavesNoEntryUnderItsName) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  RawPack raw;
  raw.data = test::RandomBytes(1000, 5) + test::RandomBytes(300000, 6);
  raw.sizes = {"1000", "300000"};
  raw.paths = {"small.bin", "large.bin"};
  WriteFile(dir.File("big.pak"), raw.Bytes());
  WriteFile(dir.File("out/large.bin"), "an older file");
  TSMWorkInfos infos;
  infos.DeleteSource = true;
  infos.Overwrite = true;
  Outcome outcome;
  {
    test::FileSizeLimit limit(200000);
    ASSERT_TRUE(limit.ok());
    outcome = Unpack(dir.File("big.pak"), dir.File("out"), infos);
  }
  ASSERT_FALSE(outcome.lines.empty());
  EXPECT_EQ(outcome.lines.back().rfind("文件解包:无法写入文件 " + dir.File("out/large.bin"), 0), 0u)
      << outcome.lines.back();
  // Neither the finished first entry nor a half second one: the job failed as a whole.
  EXPECT_EQ(test::NamesIn(dir.File("out")), std::vector<std::string>{"large.bin"});
  EXPECT_EQ(ReadFile(dir.File("out/large.bin")), "an older file");
  EXPECT_TRUE(FileExists(dir.File("big.pak")));
}

TEST(Unpack, AnEntryNameThatIsASymbolicLinkIsReplaced) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  RawPack raw;
  raw.data = "new";
  raw.sizes = {"3"};
  raw.paths = {"C:\\x\\link.txt"};
  WriteFile(dir.File("l.pak"), raw.Bytes());
  WriteFile(dir.File("target"), "keep me");
  std::filesystem::create_symlink(dir.File("target"), dir.File("out/link.txt"));
  TSMWorkInfos agreed;
  agreed.Overwrite = true;
  EXPECT_EQ(Unpack(dir.File("l.pak"), dir.File("out"), agreed).lines.back(), kUnpackDone);
  EXPECT_EQ(ReadFile(dir.File("target")), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("out/link.txt")));
  EXPECT_EQ(ReadFile(dir.File("out/link.txt")), "new");
}

// --- one read of the pack: each entry is digested from the blocks that write it ---

// Entries larger than the digest's ring of blocks, an empty one and one that differs: each
// verdict belongs to its own entry, in the lines of a verification that read the files back.
TEST(UnpackOnePass, EachEntryGetsTheVerdictOfItsOwnBytes) {
  const std::string large = test::RandomBytes(3 * 1024 * 1024 + 17, 21);
  const std::string small = test::RandomBytes(100000, 22);
  const std::string other = test::RandomBytes(70000, 23);
  for (const ChecksumKind kind : {ChecksumKind::Md5, ChecksumKind::Crc32}) {
    const auto sum = [kind](const std::string& bytes) {
      return kind == ChecksumKind::Md5 ? Md5Text(bytes)
                                       : Crc32Text(Crc32Update(0, bytes.data(), bytes.size()));
    };
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    RawPack raw;
    raw.kind = kind;
    raw.data = large + small + other;
    raw.sizes = {std::to_string(large.size()), "0", std::to_string(small.size()),
                 std::to_string(other.size())};
    raw.paths = {"large.bin", "empty.txt", "small.bin", "other.bin"};
    raw.checks = {sum(large), sum(""), sum(small), sum(small)};
    WriteFile(dir.File("x.pak"), raw.Bytes());
    TSMWorkInfos infos;
    infos.DeleteSource = true;
    const Outcome outcome = Unpack(dir.File("x.pak"), dir.File("out"), infos);
    EXPECT_EQ(outcome.lines,
              (std::vector<std::string>{kAnalysing, Progress(1, 3), Progress(2, 2), Progress(3, 1),
                                        Progress(4, 0), "正在校验文件...", "large.bin与原文件相同!",
                                        "empty.txt与原文件相同!", "small.bin与原文件相同!",
                                        "other.bin与原文件不相符!", kUnpackKeptPack, "解包完成!"}));
    EXPECT_TRUE(ReadFile(dir.File("out/large.bin")) == large);
    EXPECT_EQ(ReadFile(dir.File("out/empty.txt")), "");
    EXPECT_TRUE(ReadFile(dir.File("out/small.bin")) == small);
    EXPECT_TRUE(ReadFile(dir.File("out/other.bin")) == other);
    EXPECT_TRUE(FileExists(dir.File("x.pak")));
  }
}

// An unpack whose digest thread fails at a chosen block.
class FailingDigestUnpack : public TSDfile {
 public:
  FailingDigestUnpack(const std::string& pack, const std::string& out, JobHost host, int fail_at)
      : TSDfile(pack, TSMWorkInfos{}, out, std::move(host)), fail_at_(fail_at) {}

 protected:
  void DigestBlock(RunningChecksum& checksum, const uint8_t* data, size_t size) override {
    if (++blocks_ == fail_at_) {
      throw std::runtime_error("digest failed");
    }
    TSDfile::DigestBlock(checksum, data, size);
  }

 private:
  int fail_at_;
  int blocks_ = 0;
};

// A failure on either side stops both: the job fails with its line, no entry takes its name
// (not even the ones already whole) and the pack stays.
TEST(UnpackOnePass, AFailureOfTheDigestOrTheWriterLeavesNoEntry) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  RawPack raw;
  raw.kind = ChecksumKind::Md5;
  const std::string first = test::RandomBytes(200000, 24);
  const std::string second = test::RandomBytes(3 * 1024 * 1024, 25);
  raw.data = first + second;
  raw.sizes = {std::to_string(first.size()), std::to_string(second.size())};
  raw.paths = {"first.bin", "second.bin"};
  raw.checks = {Md5Text(first), Md5Text(second)};
  WriteFile(dir.File("x.pak"), raw.Bytes());

  // The digest fails in the second entry (a block is at most 61440 bytes).
  auto log = std::make_shared<UnpackLog>();
  auto worker = WorkerThread::Start(std::make_shared<FailingDigestUnpack>(
      dir.File("x.pak"), dir.File("out"), JobHost{log, nullptr}, 10));
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(120)));
  EXPECT_EQ(worker->Outcome().result, JobResult::Failed);
  ASSERT_FALSE(log->Lines().empty());
  EXPECT_EQ(log->Lines().back(), kUnpackDigestFailed);
  EXPECT_TRUE(test::NamesIn(dir.File("out")).empty());
  EXPECT_TRUE(FileExists(dir.File("x.pak")));

  // The writer fails in the second entry while the first one's digest is whole.
  Outcome outcome;
  {
    test::FileSizeLimit limit(1024 * 1024);
    ASSERT_TRUE(limit.ok());
    outcome = Unpack(dir.File("x.pak"), dir.File("out"));
  }
  ASSERT_FALSE(outcome.lines.empty());
  EXPECT_EQ(outcome.lines.back().rfind("文件解包:无法写入文件 " + dir.File("out/second.bin"), 0),
            0u)
      << outcome.lines.back();
  EXPECT_TRUE(test::NamesIn(dir.File("out")).empty());
  EXPECT_TRUE(FileExists(dir.File("x.pak")));
}

// A pause after the first block holds the writer and the digest: no line, no byte written and no
// block digested until the job goes on; then the verification holds for every byte.
TEST(UnpackOnePass, APauseHoldsTheWriterAndTheDigest) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("out"));
  RawPack raw;
  raw.kind = ChecksumKind::Crc32;
  const std::string content = test::RandomBytes(4 * 1024 * 1024, 26);
  raw.data = content;
  raw.sizes = {std::to_string(content.size())};
  raw.paths = {"big.bin"};
  raw.checks = {Crc32Text(Crc32Update(0, content.data(), content.size()))};
  WriteFile(dir.File("x.pak"), raw.Bytes());

  class CountingUnpack : public TSDfile {
   public:
    using TSDfile::TSDfile;
    std::atomic<int64_t> digested{0};

   protected:
    void DigestBlock(RunningChecksum& checksum, const uint8_t* data, size_t size) override {
      digested += static_cast<int64_t>(size);
      TSDfile::DigestBlock(checksum, data, size);
    }
  };
  auto recorder = std::make_shared<test::Recorder>();
  test::JobLatch latch;
  test::ReleaseOnExit release(latch);
  latch.AtFirstBlock(*recorder);
  auto worker = std::make_shared<CountingUnpack>(dir.File("x.pak"), TSMWorkInfos{}, dir.File("out"),
                                                 JobHost{recorder, recorder});
  WorkerThread::Start(worker);
  ASSERT_TRUE(latch.WaitArrived());
  worker->Pause();
  latch.Release();
  const size_t lines_at_pause = recorder->Count();
  const auto written = [&dir] {
    uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) {
      bytes += entry.file_size();
    }
    return bytes;
  };
  const uintmax_t written_at_pause = written();
  const int64_t digested_at_pause = worker->digested.load();
  EXPECT_FALSE(recorder->WaitForMoreThan(lines_at_pause, std::chrono::milliseconds(300)));
  EXPECT_EQ(written(), written_at_pause);
  EXPECT_EQ(worker->digested.load(), digested_at_pause);
  EXPECT_LT(written_at_pause, content.size());
  EXPECT_LE(static_cast<uintmax_t>(digested_at_pause), written_at_pause);
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(120)));
  EXPECT_TRUE(worker->Outcome().Succeeded());
  EXPECT_TRUE(recorder->Has("big.bin与原文件相同!"));
  EXPECT_EQ(worker->digested.load(), static_cast<int64_t>(content.size()));
  EXPECT_TRUE(ReadFile(dir.File("out/big.bin")) == content);
}

}  // namespace
}  // namespace qarvo
