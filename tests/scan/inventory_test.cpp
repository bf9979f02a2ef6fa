#include "inventory/inventory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/blocking_open.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const UINT kWesternCodePage = 1252;
const UINT kJapaneseCodePage = 932;
#define kNoDetailsJson                                                                     \
  "\"ImagePath\": \"\", \"Publisher\": \"\", \"Signature\": \"n/a\", \"User\": \"\", " \
  "\"Description\": \"\", \"Version\": \"\""

// Every character a format must take care of, in a name and a command.
// The first row was disabled on 2023-01-02 at 03:04:05 UTC.
const std::vector<InventoryRow> kAwkwardRows = {
    {"Registry", "Tool, \"quoted\"", "C:\\Tools\\t.exe\t/a", "HKEY_CURRENT_USER\\Run", "disabled",
     133171022450000000ull},
    {"Start-Up", "two\r\nlines\n", "caf\xE9 \x80", "C:\\x\\\x01.lnk", "n/a", 0},
};

TEST(InventoryText, EachFormatOfAwkwardRows) {
  const struct {
    const char* label;
    InventoryFormat format;
    std::string text;
  } cases[] = {
      {"tab-separated", InventoryFormat::Tabs,
       "Type\tName\tCommand\tLocation\tState\tImagePath\tPublisher\tSignature\tUser\r\n"
       "Registry\tTool, "
       "\"quoted\"\tC:\\\\Tools\\\\t.exe\\t/a\tHKEY_CURRENT_USER\\\\Run\tdisabled\t\t\tn/a\t\r\n"
       "Start-Up\ttwo\\r\\nlines\\n\tcaf\xC3\xA9 \xE2\x82\xAC\tC:\\\\x\\\\\\x01.lnk\tn/a\t\t\tn/a\t\r\n"},
      {"CSV", InventoryFormat::Csv,
       "Type,Name,Command,Location,State,ImagePath,Publisher,Signature,User\r\n"
       "Registry,\"Tool, "
       "\"\"quoted\"\"\",\"C:\\Tools\\t.exe\t/a\",HKEY_CURRENT_USER\\Run,disabled,,,n/a,\r\n"
       "Start-Up,\"two\r\nlines\n\",caf\xC3\xA9 \xE2\x82\xAC,\"C:\\x\\\x01.lnk\",n/a,,,n/a,\r\n"},
      {"JSON", InventoryFormat::Json,
       "[\r\n"
       "  {\"Type\": \"Registry\", \"Name\": \"Tool, \\\"quoted\\\"\", "
       "\"Command\": \"C:\\\\Tools\\\\t.exe\\t/a\", \"Location\": "
       "\"HKEY_CURRENT_USER\\\\Run\", \"State\": \"disabled\", " kNoDetailsJson ", "
       "\"DisabledSince\": \"2023-01-02T03:04:05Z\"},\r\n"
       "  {\"Type\": \"Start-Up\", \"Name\": \"two\\r\\nlines\\n\", "
       "\"Command\": \"caf\xC3\xA9 \xE2\x82\xAC\", \"Location\": \"C:\\\\x\\\\\\u0001.lnk\", "
       "\"State\": \"n/a\", " kNoDetailsJson "}\r\n"
       "]\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.text, InventoryText(kAwkwardRows, c.format, kWesternCodePage));
  }
}

TEST(InventoryText, NoRowsGiveTheHeaderOrAnEmptyArray) {
  const std::vector<InventoryRow> none;
  EXPECT_EQ("Type\tName\tCommand\tLocation\tState\tImagePath\tPublisher\tSignature\tUser\r\n",
            InventoryText(none, InventoryFormat::Tabs, kWesternCodePage));
  EXPECT_EQ("Type,Name,Command,Location,State,ImagePath,Publisher,Signature,User\r\n",
            InventoryText(none, InventoryFormat::Csv, kWesternCodePage));
  EXPECT_EQ("[]\r\n", InventoryText(none, InventoryFormat::Json, kWesternCodePage));
}

// In a double-byte code page a character's second byte may be 0x5C, the
// backslash: it is part of the character and never escaped.
TEST(InventoryText, DoubleByteCharactersAreNotTornApart) {
  const std::vector<InventoryRow> rows = {{"Registry", "\x83\x5C", "\x95\\\"", "x", "enabled", 0}};
  // U+30BD (katakana so) and U+8868 (the table character), both ending in 0x5C there.
  const std::string so = "\xE3\x82\xBD", table = "\xE8\xA1\xA8";
  EXPECT_EQ("Type\tName\tCommand\tLocation\tState\tImagePath\tPublisher\tSignature\tUser\r\n"
            "Registry\t" + so + "\t" + table +
                "\"\tx\tenabled\t\t\tn/a\t\r\n",
            InventoryText(rows, InventoryFormat::Tabs, kJapaneseCodePage));
  EXPECT_EQ("[\r\n  {\"Type\": \"Registry\", \"Name\": \"" + so + "\", \"Command\": \"" + table +
                "\\\"\", \"Location\": \"x\", \"State\": \"enabled\", " kNoDetailsJson
                "}\r\n]\r\n",
            InventoryText(rows, InventoryFormat::Json, kJapaneseCodePage));
}

// Controls judged on characters (ソ's UTF-8 holds 0x82); no unusable DisabledSince.
TEST(InventoryText, ControlCharactersByFormatAndTarget) {
  const std::string so = "\xE3\x82\xBD", raw = "\x1b[2J\x07\x7f\xC2\x9B" + so;
  const std::string shown = "\\x1b[2J\\x07\\x7f\\x9b" + so,
                    csv = "Type,Name,Command,Location,State,ImagePath,Publisher,Signature,User\r\nR,";
  using F = InventoryFormat;
  using T = InventoryTarget;
  const auto text = [&](F format, T target) {
    return InventoryText({{"R", raw, "", "", "disabled", ~0ull}}, format, CP_UTF8, target);
  };
  EXPECT_EQ("Type\tName\tCommand\tLocation\tState\tImagePath\tPublisher\tSignature\tUser\r\nR\t" +
                shown + "\t\t\tdisabled\t\t\tn/a\t\r\n",
            text(F::Tabs, T::Console));
  EXPECT_EQ("\xEF\xBB\xBF" + csv + "\"" + raw + "\",,,disabled,,,n/a,\r\n", text(F::Csv, T::File));
  EXPECT_EQ(csv + shown + ",,,disabled,,,n/a,\r\n", text(F::Csv, T::Console));
  EXPECT_EQ("[\r\n  {\"Type\": \"R\", \"Name\": \"\\u001b[2J\\u0007\\u007f\\u009b" + so +
                "\", \"Command\": \"\", \"Location\": \"\", \"State\": \"disabled\", " kNoDetailsJson
                "}\r\n]\r\n",
            text(F::Json, T::Console));
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
  // Each row with its details: a bare name found nowhere has no image.
  std::vector<InventoryRow> expected = {
      {"Registry", "Tray", "tray.exe",
       "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "enabled", 0},
      {"Start-Up", "tool.exe", "Unknown File Type", file, "enabled", 0, file, "", "unsigned",
       "All Users"}};
  expected[0].user = OwnerUserName({EntryOwner::Kind::CurrentUser});
  EXPECT_EQ(expected, ScanInventory());
}

// A program file that never answers: cancelled at its time limit (the row
// keeps its path alone), or its thread left behind; the list always ends.
TEST(ScanInventory, EndsPastAFileThatNeverAnswers) {
  for (const bool heedsCancel : {true, false}) {
    SCOPED_TRACE(heedsCancel ? "cancelled" : "left behind");
    RegistrySandbox sandbox;
    TempFolder temp;
    const std::string stuck = temp.WriteFile("stuck-share.exe", "s");
    const std::string after = temp.WriteFile("after.exe", "a");
    const char run[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, run, "Stuck", "\"" + stuck + "\" /x");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, run, "After", "\"" + after + "\"");
    BlockingOpen blocking("stuck-share", heedsCancel);
    ASSERT_TRUE(blocking.applied());
    const std::vector<InventoryRow> rows = ScanInventory(300, 300);
    ASSERT_EQ(2u, rows.size());
    for (const InventoryRow& row : rows) {
      const bool isStuck = row.name == "Stuck";
      EXPECT_EQ(isStuck ? (heedsCancel ? stuck : "") : after, row.imagePath);
      EXPECT_EQ(isStuck ? "n/a" : "unsigned", row.signature);
      EXPECT_EQ("All Users", row.user);
    }
    EXPECT_EQ(1, blocking.blocked);
    EXPECT_EQ(heedsCancel ? 1 : 0, blocking.cancelled);
  }
}

}  // namespace
