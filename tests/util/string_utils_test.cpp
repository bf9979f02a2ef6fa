#include "util/string_utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;

TEST(StringUtils, CharacterSets) {
  EXPECT_EQ(std::string(BlankChars), " \t\r\f\n");
  EXPECT_EQ(std::string(InvalidNameChars), "\\/:*?\"<>|\t\r\f\n");
  EXPECT_EQ(std::strlen(InvalidNameChars), 13u);
}

TEST(StringUtils, ToLowerChangesOnlyCapitalLetters) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const char expected = byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : c;
    std::string text(1, c);
    ToLower(text);
    EXPECT_EQ(text, std::string(1, expected)) << "byte " << byte;
  }
}

TEST(StringUtils, LowerCases) {
  struct Case {
    std::string input, expected;
  };
  const Case cases[] = {
      {"HKEY_USERS", "hkey_users"},
      {"\xC9T\xC9", "\xC9t\xC9"},  // 0xC9 (E acute in 1252) is not A-Z
      {"@AZ[`az{", "@az[`az{"},
      {"", ""},
      {"A\0B"s, "a\0b"s},  // the whole length, not up to a zero byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LowerCopy(c.input), c.expected) << c.input;
    std::string inPlace = c.input;
    ToLower(inPlace);
    EXPECT_EQ(inPlace, c.expected) << c.input;
  }
}

TEST(StringUtils, Trims) {
  struct Case {
    std::string input, both, left, right;
  };
  const Case cases[] = {
      {"", "", "", ""},
      {" \t\r\f\n", "", "", ""},
      {"word \n", "word", "word \n", "word"},
      {"  a b  ", "a b", "a b  ", "  a b"},
      {"\vword\v", "\vword\v", "\vword\v", "\vword\v"},
      {" \vword\v\n", "\vword\v", "\vword\v\n", " \vword\v"},
      {"\n\vx", "\vx", "\vx", "\n\vx"},
      {"x", "x", "x", "x"},
      {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // no-break space stays
      {"\t\0\t"s, "\0"s, "\0\t"s, "\t\0"s},
  };
  for (const Case& c : cases) {
    std::string both = c.input, left = c.input, right = c.input;
    Trim(both);
    TrimLeft(left);
    TrimRight(right);
    EXPECT_EQ(both, c.both) << '"' << c.input << '"';
    EXPECT_EQ(left, c.left) << '"' << c.input << '"';
    EXPECT_EQ(right, c.right) << '"' << c.input << '"';
    EXPECT_EQ(TrimCopy(c.input), c.both) << '"' << c.input << '"';
  }
}

TEST(StringUtils, EscapeCharacter) {
  struct Case {
    char c;
    std::string expected;
  };
  const Case cases[] = {
      {'\f', "\\f"},    {'\r', "\\r"},    {'\n', "\\n"},    {'\t', "\\t"}, {'\v', "\\v"},
      {'\\', "\\\\"},   {'\'', "\\'"},    {'"', "\\\""},    {'a', "a"},    {'\a', "\a"},
      {'\x1B', "\x1B"}, {'\xE9', "\xE9"}, {'\x80', "\x80"}, {'\0', "\0"s}, {'/', "/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeCharacter(c.c), c.expected) << "byte " << (static_cast<int>(c.c) & 0xFF);
  }
}

TEST(StringUtils, EscapesStrings) {
  struct Case {
    std::string input, expected;
  };
  const Case cases[] = {
      {"", ""},
      {"\t\\\"", "\\t\\\\\\\""},
      {"C:\\Windows\\run.exe /q", "C:\\\\Windows\\\\run.exe /q"},
      {"it's", "it\\'s"},
      {"\f\r\n\v", "\\f\\r\\n\\v"},
      {"\x80\xE9\xFF", "\x80\xE9\xFF"},
      {"a\0b"s, "a\0b"s},
      {"plain text", "plain text"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapedCopy(c.input), c.expected) << c.input;
    std::string inPlace = c.input;
    EscapeString(inPlace);
    EXPECT_EQ(inPlace, c.expected) << c.input;
  }
}

TEST(StringUtils, ReplaceChars) {
  struct Case {
    const char* text;
    char replacement;
    const char* set;
    std::string expected;
  };
  const Case cases[] = {
      {"Run: a*b?", ' ', InvalidNameChars, "Run  a b "},
      {"clean name", '_', InvalidNameChars, "clean name"},
      {"\\/:*?\"<>|\t\r\f\n", ' ', InvalidNameChars, std::string(13, ' ')},
      {"C:\\x\\y", '\\', "\\", "C:\\x\\y"},  // replacement inside the set
      {"abcabc", 'b', "ac", "bbbbbb"},
      {"abc", 'x', "", "abc"},
      {"", ' ', InvalidNameChars, ""},
      {"\xE9t\xE9", '_', "\xE9", "_t_"},
  };
  for (const Case& c : cases) {
    const std::string result = ReplaceChars(c.text, c.replacement, c.set);
    EXPECT_EQ(result, c.expected) << c.text;
    EXPECT_EQ(result.size(), std::strlen(c.text)) << c.text;
  }
  EXPECT_EQ(ReplaceChars(nullptr, ' ', InvalidNameChars), "");
  EXPECT_EQ(ReplaceChars("a:b", ' ', nullptr), "a:b");
}

TEST(StringUtils, PathParts) {
  struct Case {
    std::string path, folder, name, extension;
  };
  const Case cases[] = {
      {"C:\\Docs\\a.txt", "C:\\Docs\\", "a.txt", "txt"},
      {"C:/Docs/a.TXT", "C:/Docs/", "a.TXT", "TXT"},
      {"C:\\a/b\\c.d", "C:\\a/b\\", "c.d", "d"},
      {"C:\\Docs\\", "C:\\Docs\\", "", ""},
      {"\\", "\\", "", ""},
      {"", "", "", ""},
      {"bare name.exe ", "", "bare name.exe", "exe"},
      {"  bare  ", "", "bare", ""},
      {"archive.tar.gz", "", "archive.tar.gz", "gz"},
      {"notes.", "", "notes.", ""},
      {"notes.\t", "", "notes.", ""},
      {"D:\\My.Folder\\run", "D:\\My.Folder\\", "run", ""},
      {"a.b\\", "a.b\\", "", ""},
      {".profile", "", ".profile", "profile"},
      {"C:\\dir\\file. txt", "C:\\dir\\", "file. txt", "txt"},
      {"  C:\\x\\ y.txt ", "C:\\x\\", "y.txt", "txt"},
      {"\vC:\\x\\y.z\v", "\vC:\\x\\", "y.z\v", "z\v"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << '"' << c.path << '"';
    EXPECT_EQ(FileNameOf(c.path), c.name) << '"' << c.path << '"';
    EXPECT_EQ(ExtensionOf(c.path), c.extension) << '"' << c.path << '"';
  }
}

}  // namespace
