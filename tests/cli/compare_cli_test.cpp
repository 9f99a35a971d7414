#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;
using qarvo::test::RunQarvo;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

constexpr const char* kAbcSha256 =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(CompareCli, ExpectExitsZeroOnMatchOneOnMismatchTwoOnBadInput) {
  TempDir dir;
  WriteFile(dir.File("abc"), "abc");
  CliResult run = RunQarvo({"compare", dir.File("abc"), "--expect", "  352441C2 "});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "正在生成文件 CRC32值...\n文件 CRC32值:352441C2\n期望的 CRC32值:352441C2\n"
            "文件与期望的CRC32值相符\n");
  run = RunQarvo({"compare", "--expect", std::string(64, '0'), dir.File("abc")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("文件与期望的SHA256值不相符\n"), std::string::npos);

  // Refused before any reading: nothing on stdout.
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"compare", dir.File("abc"), "--expect", "352441C"},
           {"compare", dir.File("abc"), "--expect", std::string(64, 'g')},
           {"compare", dir.File("gone"), "--expect", kAbcSha256},
           {"compare", dir.path(), "--expect", kAbcSha256},
           {"compare", dir.File("abc"), dir.File("abc"), "--expect", kAbcSha256},
           {"compare", dir.File("abc"), "--md5", "--expect", kAbcSha256}}) {
    run = RunQarvo(bad);
    EXPECT_EQ(run.status, 2) << bad.back();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err, "");
  }
  run = RunQarvo({"compare", dir.File("abc"), "--expect", "12345678901"});
  EXPECT_NE(run.err.find("十六进制数字"), std::string::npos) << run.err;
}

TEST(CompareCli, BytesAndSha256ModesAndOnlyOneModeAtATime) {
  TempDir dir;
  WriteFile(dir.File("a"), "abcdef");
  WriteFile(dir.File("b"), "abcXef");
  CliResult run = RunQarvo({"compare", dir.File("a"), dir.File("b"), "--bytes"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在逐字节比较文件1和文件2...\n第一处不同在偏移 3 (0x3): 文件1为 0x64, 文件2为 0x58\n"
            "两文件不相同\n");
  run = RunQarvo({"compare", dir.File("a"), dir.File("a"), "--bytes"});
  EXPECT_EQ(run.status, 0);
  run = RunQarvo({"compare", dir.File("a"), dir.File("a"), "--sha256"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(
                "文件2 SHA256值:bef57ec7f53a6d40beb640a780a639c83bc29ac8a9816f1fc6c5c6dcd93c4721"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(RunQarvo({"compare", dir.File("a"), dir.File("b"), "--bytes", "--md5"}).status, 2);
  EXPECT_EQ(RunQarvo({"compare", dir.File("a"), dir.File("b"), "--sha256", "--bytes"}).status, 2);
}

TEST(CompareCli, CheckExitsZeroOnlyWhenEveryFileMatches) {
  TempDir dir;
  WriteFile(dir.File("abc"), "abc");
  WriteFile(dir.File("good.sha256"), std::string(kAbcSha256) + "  abc\n");
  CliResult run = RunQarvo({"check", dir.File("good.sha256")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "正在检查校验文件 " + dir.File("good.sha256") +
                         " ...\nabc: 相符\n共 1 个文件,全部相符\n");

  WriteFile(dir.File("missing.sha256"),
            std::string(kAbcSha256) + "  abc\n" + kAbcSha256 + "  gone\n");
  run = RunQarvo({"check", dir.File("missing.sha256")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("gone: 文件不存在\n"), std::string::npos);

  // Every listed file matches, but a damaged line may have named one more.
  WriteFile(dir.File("damaged.sha256"), std::string(kAbcSha256) + "  abc\n" + "zz  abc\n");
  EXPECT_EQ(RunQarvo({"check", dir.File("damaged.sha256")}).status, 1);

  // A listed file that cannot be read: its reason on stderr too.
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
  WriteFile(dir.File("folder.sha256"), std::string(kAbcSha256) + "  folder\n");
  run = RunQarvo({"check", dir.File("folder.sha256")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(dir.File("folder")), std::string::npos) << run.err;

  WriteFile(dir.File("junk.sha256"), "nothing to check\n");
  EXPECT_EQ(RunQarvo({"check", dir.File("junk.sha256")}).status, 2);
  EXPECT_EQ(RunQarvo({"check", dir.File("none.sha256")}).status, 2);
  EXPECT_EQ(RunQarvo({"check"}).status, 2);
  run = RunQarvo({"check", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("用法: qarvo check ", 0), 0u);
}

}  // namespace
