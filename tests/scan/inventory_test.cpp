#include "scan/inventory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const UINT kWesternCodePage = 1252;
const UINT kJapaneseCodePage = 932;

// Every character a format must take care of, in a name and a command.
const std::vector<InventoryRow> kAwkwardRows = {
    {"Registry", "Tool, \"quoted\"", "C:\\Tools\\t.exe\t/a", "HKEY_CURRENT_USER\\Run"},
    {"Start-Up", "two\r\nlines\n", "caf\xE9 \x80", "C:\\x\\\x01.lnk"},
};

TEST(InventoryText, EachFormatOfAwkwardRows) {
  const struct {
    const char* label;
    InventoryFormat format;
    std::string text;
  } cases[] = {
      {"tab-separated", InventoryFormat::Tabs,
       "Type\tName\tCommand\tLocation\r\n"
       "Registry\tTool, \"quoted\"\tC:\\\\Tools\\\\t.exe\\t/a\tHKEY_CURRENT_USER\\\\Run\r\n"
       "Start-Up\ttwo\\r\\nlines\\n\tcaf\xC3\xA9 \xE2\x82\xAC\tC:\\\\x\\\\\x01.lnk\r\n"},
      {"CSV", InventoryFormat::Csv,
       "Type,Name,Command,Location\r\n"
       "Registry,\"Tool, \"\"quoted\"\"\",C:\\Tools\\t.exe\t/a,HKEY_CURRENT_USER\\Run\r\n"
       "Start-Up,\"two\r\nlines\n\",caf\xC3\xA9 \xE2\x82\xAC,C:\\x\\\x01.lnk\r\n"},
      {"JSON", InventoryFormat::Json,
       "[\r\n"
       "  {\"Type\": \"Registry\", \"Name\": \"Tool, \\\"quoted\\\"\", "
       "\"Command\": \"C:\\\\Tools\\\\t.exe\\t/a\", \"Location\": "
       "\"HKEY_CURRENT_USER\\\\Run\"},\r\n"
       "  {\"Type\": \"Start-Up\", \"Name\": \"two\\r\\nlines\\n\", "
       "\"Command\": \"caf\xC3\xA9 \xE2\x82\xAC\", \"Location\": \"C:\\\\x\\\\\\u0001.lnk\"}\r\n"
       "]\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.text, InventoryText(kAwkwardRows, c.format, kWesternCodePage));
  }
}

TEST(InventoryText, NoRowsGiveTheHeaderOrAnEmptyArray) {
  const std::vector<InventoryRow> none;
  EXPECT_EQ("Type\tName\tCommand\tLocation\r\n",
            InventoryText(none, InventoryFormat::Tabs, kWesternCodePage));
  EXPECT_EQ("Type,Name,Command,Location\r\n",
            InventoryText(none, InventoryFormat::Csv, kWesternCodePage));
  EXPECT_EQ("[]\r\n", InventoryText(none, InventoryFormat::Json, kWesternCodePage));
}

// In a double-byte code page a character's second byte may be 0x5C, the
// backslash: it is part of the character and never escaped.
TEST(InventoryText, DoubleByteCharactersAreNotTornApart) {
  const std::vector<InventoryRow> rows = {{"Registry", "\x83\x5C", "\x95\\\"", "x"}};
  // U+30BD (katakana so) and U+8868 (the table character), both ending in 0x5C there.
  const std::string so = "\xE3\x82\xBD", table = "\xE8\xA1\xA8";
  EXPECT_EQ("Type\tName\tCommand\tLocation\r\nRegistry\t" + so + "\t" + table + "\"\tx\r\n",
            InventoryText(rows, InventoryFormat::Tabs, kJapaneseCodePage));
  EXPECT_EQ("[\r\n  {\"Type\": \"Registry\", \"Name\": \"" + so + "\", \"Command\": \"" + table +
                "\\\"\", \"Location\": \"x\"}\r\n]\r\n",
            InventoryText(rows, InventoryFormat::Json, kJapaneseCodePage));
}

// The registry rows, then the start-up files: the main window's order.
TEST(ScanInventory, RegistryRowsThenStartupFiles) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const std::string file = temp.WriteFile("start\\tool.exe", "t");
  RegistrySandbox::SetString(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Common Startup", temp / "start");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "Tray", "tray.exe");
  EXPECT_EQ((std::vector<InventoryRow>{
                {"Registry", "Tray", "tray.exe",
                 "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
                {"Start-Up", "tool.exe", "Unknown File Type", file}}),
            ScanInventory());
}

}  // namespace
