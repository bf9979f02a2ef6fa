// The text of a registration file, the name proposed for it and the bytes on disk.
#include "actions/registration_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

const char kRunKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A string literal with the zero bytes it holds.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

struct ValueLineCase {
  const char* label;
  std::string valueName;
  DWORD type;
  std::string data;
  std::string line4;
};

void PrintTo(const ValueLineCase& c, std::ostream* out) {
  *out << c.label;
}

class ValueLineTest : public ::testing::TestWithParam<ValueLineCase> {};

// Line 4 holds the value; the lines around it are always the same.
TEST_P(ValueLineTest, FourthLine) {
  const ValueLineCase& c = GetParam();
  EXPECT_EQ("REGEDIT4\n\n[" + std::string(kRunKey) + "]\n" + c.line4 + "\n\n",
            RegistrationFileText(kRunKey, c.valueName, c.type, c.data));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueLineTest,
    ::testing::Values(
        ValueLineCase{"ToolString", "Tool", REG_SZ, "\"D:\\Tools\\tool.exe\" /min",
                      "\"Tool\"=\"\\\"D:\\\\Tools\\\\tool.exe\\\" /min\""},
        ValueLineCase{"ToolExpandable", "Tool", REG_EXPAND_SZ, "%WINDIR%\\x",
                      "\"Tool\"=hex(2):25,57,49,4e,44,49,52,25,5c,78,00"},
        ValueLineCase{"EmptyNameEmptyData", "", REG_SZ, "", "\"\"=\"\""},
        ValueLineCase{"ExpandableEmpty", "X", REG_EXPAND_SZ, "", "\"X\"=hex(2):00"},
        ValueLineCase{"ExpandableLineFeedAndHighByte", "X", REG_EXPAND_SZ, "a\n\xe9",
                      "\"X\"=hex(2):61,0a,e9,00"},
        ValueLineCase{"ExpandableAllDigits", "X", REG_EXPAND_SZ, "\x01\x23\x45\x67\x89\xab\xcd\xef",
                      "\"X\"=hex(2):01,23,45,67,89,ab,cd,ef,00"},
        // The importer keeps these as they are; \t would come back as a letter t.
        ValueLineCase{"TabVtFfQuoteRaw", "T", REG_SZ, "a\tb\vc\fd'e", "\"T\"=\"a\tb\vc\fd'e\""},
        ValueLineCase{"HighBytesRaw", "H", REG_SZ, "caf\xe9 \x80\xff",
                      "\"H\"=\"caf\xe9 \x80\xff\""},
        ValueLineCase{"TrailingBackslash", "D", REG_SZ, "C:\\dir\\", "\"D\"=\"C:\\\\dir\\\\\""},
        ValueLineCase{"BackslashSequencesStayText", "E", REG_SZ, "\\n\\r\\t",
                      "\"E\"=\"\\\\n\\\\r\\\\t\""},
        // Line breaks go as bytes, with the final zero, and still load as REG_SZ.
        ValueLineCase{"LineFeedAsHex", "L", REG_SZ, "a\nb", "\"L\"=hex(1):61,0a,62,00"},
        ValueLineCase{"CarriageReturnAsHex", "L", REG_SZ, "\r", "\"L\"=hex(1):0d,00"},
        ValueLineCase{"CrLfWithQuoteAsHex", "L", REG_SZ, "\"x\"\r\n\xe9",
                      "\"L\"=hex(1):22,78,22,0d,0a,e9,00"},
        ValueLineCase{"NameEscaped", "a\\b\"c", REG_SZ, "v", "\"a\\\\b\\\"c\"=\"v\""},
        ValueLineCase{"NameWithLineBreaks", "a\r\nb", REG_SZ, "v", "\"a\\r\\nb\"=\"v\""},
        ValueLineCase{"NameKeepsTabAndQuote", "it's\tme", REG_SZ, "v", "\"it's\tme\"=\"v\""},
        ValueLineCase{"AtSignIsAName", "@", REG_SZ, "v", "\"@\"=\"v\""}),
    [](const ::testing::TestParamInfo<ValueLineCase>& info) {
      return std::string(info.param.label);
    });

TEST(RegistrationFileTextTest, KeyPathIsWrittenAsItIs) {
  const std::string key = "hkey_current_user/Software\\A \"B\"\\C";
  EXPECT_EQ("REGEDIT4\n\n[" + key + "]\n\"v\"=\"d\"\n\n",
            RegistrationFileText(key, "v", REG_SZ, "d"));
}

TEST(RegistrationFileTextTest, OtherTypesAreNotExported) {
  for (DWORD type :
       {REG_NONE, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_QWORD}) {
    EXPECT_EQ("", RegistrationFileText(kRunKey, "v", type, "data")) << type;
    std::string text = "untouched";
    EXPECT_FALSE(RegValueText(type, "data", text)) << type;
    EXPECT_EQ("untouched", text);
  }
}

// The importer reads a double-byte character whole before it looks for escapes.
TEST(QuotedRegTextTest, TrailBytesOfDoubleByteCharactersStay) {
  struct Case {
    UINT codePage;
    std::string text, quoted;
  } cases[] = {
      {932, "\x95\x5c", "\"\x95\x5c\""},        // one character whose trail byte is 0x5C
      {932, "\x95\x5c\\", "\"\x95\x5c\\\\\""},  // then a real backslash
      {932, "a\x95", "\"a\x95\""},              // a lone lead byte at the end
      {1252, "\x95\x5c", "\"\x95\\\\\""},       // single-byte: two characters
      {932, "\x81\x22\"", "\"\x81\x22\\\"\""},  // trail byte 0x22 is no quote
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.quoted, QuotedRegText(c.text, c.codePage)) << c.codePage << " " << c.text;
}

TEST(ProposedRegFileNameTest, InvalidCharactersBecomeBlanksAndTheEndsAreTrimmed) {
  struct Case {
    std::string valueName, proposed;
  } cases[] = {
      {"Tool", "Tool.reg"},
      {"X/Y: \"Z\"", "X Y   Z.reg"},
      {"\\/:*?\"<>| \t\r\f\n", ".reg"},
      {"", ".reg"},
      {"  a b  ", "a b.reg"},
      {"a\tb\nc", "a b c.reg"},
      {"a\v", "a\v.reg"},  // the vertical tab is no blank
      {"caf\xe9", "caf\xe9.reg"},
      {"setup.exe", "setup.exe.reg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.proposed, ProposedRegFileName(c.valueName)) << c.valueName;
}

TEST(WriteRegistrationFileTest, LinesEndInCrLfOnDisk) {
  TempFolder folder;
  const std::string path = folder / "tool.reg";
  ASSERT_TRUE(WriteFileWhole(
      path.c_str(), RegistrationFileBytes(kRunKey, "Tool", REG_SZ, "\"D:\\Tools\\tool.exe\" /min")));
  const std::string bytes = TempFolder::ReadFile(path);
  EXPECT_EQ("REGEDIT4\r\n\r\n[" + std::string(kRunKey) +
                "]\r\n\"Tool\"=\"\\\"D:\\\\Tools\\\\tool.exe\\\" /min\"\r\n\r\n",
            bytes);
  EXPECT_EQ(Bytes("\x52\x45\x47\x45\x44\x49\x54\x34\x0d\x0a\x0d\x0a"), bytes.substr(0, 12));
  EXPECT_EQ("\r\n\r\n", bytes.substr(bytes.size() - 4));
}

TEST(WriteRegistrationFileTest, ReplacesAnExistingFileWhole) {
  TempFolder folder;
  const std::string path = folder.WriteFile("old.reg", std::string(5000, 'x'));
  ASSERT_TRUE(WriteFileWhole(path.c_str(), "REGEDIT4\r\n\r\n"));
  EXPECT_EQ("REGEDIT4\r\n\r\n", TempFolder::ReadFile(path));
}

TEST(WriteRegistrationFileTest, FalseWhereNoFileCanBeOpened) {
  TempFolder folder;
  const std::string missing = folder / "missing\\x.reg", sub = folder.MakeFolder("sub");
  for (const char* path : {missing.c_str(), sub.c_str(), "", static_cast<const char*>(nullptr)}) {
    bool opened = true;
    EXPECT_FALSE(WriteFileWhole(path, "REGEDIT4\r\n\r\n", &opened)) << (path ? path : "null");
    EXPECT_FALSE(opened);
  }
  EXPECT_FALSE(TempFolder::Exists(folder / "missing"));
}

}  // namespace
