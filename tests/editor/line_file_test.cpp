// The text format of the line editor, without a window.
#include "editor/line_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

struct FormatCase {
  const char* name;
  std::string bytes;
  Lines lines;
  std::string written;  // what saving the loaded lines gives
};

class LineFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(LineFormatTest, ReadsAndWritesBack) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(c.lines, SplitLines(c.bytes));
  EXPECT_EQ(c.written, JoinLines(SplitLines(c.bytes)));
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LineFormatTest,
    ::testing::Values(
        FormatCase{
            "EmptyLineBetweenAndNoFinalLineEnd", "a\r\n\r\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
        FormatCase{"FinalLineEndGivesNoEmptyLastLine", "a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"},
        FormatCase{"EmptyFile", "", {}, ""}, FormatCase{"OnlyALineEnd", "\r\n", {""}, "\r\n"},
        FormatCase{"BareLineFeeds", "a\nb\n\nc", {"a", "b", "", "c"}, "a\r\nb\r\n\r\nc\r\n"},
        FormatCase{"LoneCarriageReturnsStay", "a\rb\r\n\rc\n", {"a\rb", "\rc"}, "a\rb\r\n\rc\r\n"},
        // Only the CR right before the LF belongs to the line end.
        FormatCase{"TwoCarriageReturnsBeforeLineFeed", "a\r\r\n", {"a\r"}, "a\r\r\n"},
        FormatCase{"CarriageReturnAtTheVeryEnd", "a\r\nb\r", {"a", "b\r"}, "a\r\nb\r\r\n"},
        FormatCase{"CtrlZEndsTheText", "a\r\nb\x1A\r\nc\r\n", {"a", "b"}, "a\r\nb\r\n"},
        FormatCase{"CtrlZAtTheStart",
                   "\x1A"
                   "a\r\n",
                   {},
                   ""},
        FormatCase{"CtrlZRightAfterALineEnd", "a\r\n\x1A", {"a"}, "a\r\n"},
        FormatCase{"ZeroByteEndsTheLineText", "ab\0cd\r\nef\r\n"s, {"ab", "ef"}, "ab\r\nef\r\n"},
        FormatCase{"LineOfAZeroByteOnly", "\0\r\nx"s, {"", "x"}, "\r\nx\r\n"},
        FormatCase{"HighBytesPassUnchanged",
                   "\x80\xA0\xE9\xFF\r\n",
                   {"\x80\xA0\xE9\xFF"},
                   "\x80\xA0\xE9\xFF\r\n"}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// Mixed line ends and every byte from 0x80 up: the file saved from what was
// loaded holds exactly the same texts, each line ended by CR LF, and loading
// and saving that again changes nothing.
TEST(LineFile, RoundTripIsByteExact) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  const std::string original = "[boot loader]\r\n" + high + "\n" + "tab\there\rlone CR\r\n" + "\n" +
                               "unix\n" + "last " + high.substr(0, 16);
  const std::string expected = "[boot loader]\r\n" + high + "\r\n" + "tab\there\rlone CR\r\n" +
                               "\r\n" + "unix\r\n" + "last " + high.substr(0, 16) + "\r\n";
  TempFolder temp;
  const std::string path = temp.WriteFile("mixed.ini", original);

  Lines lines;
  ASSERT_TRUE(ReadLineFile(path, lines));
  EXPECT_EQ(6u, lines.size());
  ASSERT_TRUE(WriteLineFile(path, lines));
  EXPECT_EQ(expected, TempFolder::ReadFile(path));

  Lines again;
  ASSERT_TRUE(ReadLineFile(path, again));
  EXPECT_EQ(lines, again);
  ASSERT_TRUE(WriteLineFile(path, again));
  EXPECT_EQ(expected, TempFolder::ReadFile(path));
}

TEST(LineFile, LongLinesAreKeptWhole) {
  const std::string longLine(100000, 'x');
  TempFolder temp;
  const std::string path = temp / "long.txt";
  ASSERT_TRUE(WriteLineFile(path, {longLine, "", longLine + "y"}));
  Lines lines;
  ASSERT_TRUE(ReadLineFile(path, lines));
  EXPECT_EQ((Lines{longLine, "", longLine + "y"}), lines);
}

TEST(LineFile, EmptyListTruncatesTheFile) {
  TempFolder temp;
  const std::string path = temp.WriteFile("full.txt", "something\r\n");
  ASSERT_TRUE(WriteLineFile(path, {}));
  EXPECT_TRUE(TempFolder::Exists(path));
  EXPECT_EQ("", TempFolder::ReadFile(path));
}

TEST(LineFile, PathsThatCannotBeOpened) {
  TempFolder temp;
  const std::string folder = temp.MakeFolder("folder");
  const std::string inMissingFolder = temp / "missing\\file.txt";
  for (const std::string& path : {folder, inMissingFolder, temp / "absent.txt"}) {
    SCOPED_TRACE(path);
    Lines lines = {"left over"};
    EXPECT_FALSE(ReadLineFile(path, lines));
    EXPECT_TRUE(lines.empty());
  }
  for (const std::string& path : {folder, inMissingFolder}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(WriteLineFile(path, {"a"}));
  }
  EXPECT_FALSE(TempFolder::Exists(inMissingFolder));
}

// A file that another program holds open without sharing cannot be opened
// for writing, and keeps its content.
TEST(LineFile, LockedFileIsLeftAlone) {
  TempFolder temp;
  const std::string path = temp.WriteFile("locked.txt", "keep\r\n");
  HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  EXPECT_FALSE(WriteLineFile(path, {"other"}));
  CloseHandle(lock);
  EXPECT_EQ("keep\r\n", TempFolder::ReadFile(path));
}

TEST(LineFile, LegacyCodePageIsNotTheProcessesUtf8) {
  EXPECT_TRUE(GetACP() == CP_UTF8 && LegacyCodePage() != CP_UTF8) << "as the real program";
}

// Shown up to a zero byte or a Ctrl+Z, such a file would lose the rest at Save.
TEST(LineFile, Utf16AndZeroBytesAreNoLinesToEdit) {
  TempFolder temp;
  Lines lines;
  for (const std::string& bytes : {"\xFF\xFE\xBD\x30"s, "\xFE\xFF\x30\xBD"s, "a\r\n\0"s,
                                   "[fonts]\r\n\x1A\r\n[mci]\r\n"s, "a\x1A"s})
    EXPECT_FALSE(ReadLineFile(temp.WriteFile("Win.ini", bytes), lines)) << bytes;
}

}  // namespace
