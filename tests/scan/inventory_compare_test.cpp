#include "inventory/inventory_compare.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<InventoryRow>;

const char kRun[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kMachineRun[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

const Rows kNow = {
    {"Registry", "Tool", "tool.exe", kRun, "enabled", 0, "C:\\Tools\\tool.exe"},
    {"Start-Up", "x.lnk", "Shortcut", "C:\\Start\\x.lnk", "disabled", 133171022450000000ull},
    {"Registry", "Twin", "one.exe", kMachineRun, "enabled", 0},
    {"Registry", "Twin", "two.exe", kMachineRun, "enabled", 0},
};

// Each change as "change name command".
std::vector<std::string> Changes(const InventoryTable& changes) {
  std::vector<std::string> found;
  for (const auto& row : changes.rows) found.push_back(row[0] + " " + row[2] + " " + row[3]);
  return found;
}

TEST(CompareInventories, BaselinesInEachFormat) {
  using F = InventoryFormat;
  const InventoryRow old = {"Registry", "Old", "old.exe", kRun, "enabled", 0};
  const struct {
    const char* label;
    InventoryFormat format;
    std::function<void(Rows&)> edit;  // turns the rows of now into the baseline's
    std::vector<std::string> changes;
    bool addedOrChanged;
  } cases[] = {
      {"path case", F::Tabs, [](Rows& r) { r[1].location = "c:\\START\\X.LNK"; }, {}, false},
      {"name case", F::Json, [](Rows& r) { r[0].name = "TOOL"; }, {}, false},
      {"added", F::Csv, [](Rows& r) { r.erase(r.begin()); }, {"added Tool tool.exe"}, true},
      {"removed", F::Json, [&](Rows& r) { r.push_back(old); }, {"removed Old old.exe"}, false},
      {"command", F::Csv, [](Rows& r) { r[0].command = "x"; }, {"changed Tool tool.exe"}, true},
      {"state", F::Json, [](Rows& r) { r[1].state = "enabled"; }, {"changed x.lnk Shortcut"}, true},
      {"image", F::Csv, [](Rows& r) { r[0].imagePath = "C:\\Old\\tool.exe"; },
       {"changed Tool tool.exe"}, true},
      {"twins",
       F::Tabs,
       [](Rows& r) { std::swap(r[2].command, r[3].command); },
       {"changed Twin one.exe", "changed Twin two.exe"},
       true},
      {"one twin fewer", F::Tabs, [](Rows& r) { r.pop_back(); }, {"added Twin two.exe"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Rows baseline = kNow;
    c.edit(baseline);
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
      InventoryTable parsed;
      ASSERT_TRUE(ParseInventoryText(mark + InventoryText(baseline, c.format), parsed));
      const InventoryComparison comparison = CompareInventories(parsed, InventoryTableOf(kNow));
      EXPECT_EQ(c.changes, Changes(comparison.changes));
      EXPECT_EQ(c.addedOrChanged, comparison.addedOrChanged);
    }
  }
}

// A list from before the State column: compared on what it has, and its
// removed rows printed with empty texts where it has none.
TEST(CompareInventories, OlderColumnsAndTheOutputFormats) {
  InventoryTable baseline;
  ASSERT_TRUE(
      ParseInventoryText("Type\tName\tCommand\tLocation\r\n"
                         "Start-Up\tx.lnk\tShortcut\tC:\\\\Start\\\\x.lnk\r\n"
                         "Registry\tGone\\ttab\\xe9\tgone.exe\tHKEY_CURRENT_USER\\\\Run\r\n",
                         baseline));
  const InventoryComparison comparison = CompareInventories(baseline, InventoryTableOf({kNow[1]}));
  EXPECT_FALSE(comparison.addedOrChanged);
  EXPECT_EQ(
      "Change\tType\tName\tCommand\tLocation\tState\tImagePath\tPublisher\tSignature\tUser\r\n"
      "removed\tRegistry\tGone\\ttab\xC3\xA9\tgone.exe\tHKEY_CURRENT_USER\\\\Run\t\t\t\t\t\r\n",
      InventoryTableText(comparison.changes, InventoryFormat::Tabs));
  EXPECT_EQ(
      "[\r\n  {\"Change\": \"added\", \"Type\": \"Start-Up\", \"Name\": \"x.lnk\", "
      "\"Command\": \"Shortcut\", \"Location\": \"C:\\\\Start\\\\x.lnk\", \"State\": "
      "\"disabled\", \"ImagePath\": \"\", \"Publisher\": \"\", \"Signature\": \"n/a\", "
      "\"User\": \"\", \"Description\": \"\", \"Version\": \"\", "
      "\"DisabledSince\": \"2023-01-02T03:04:05Z\"}\r\n]\r\n",
      InventoryTableText(CompareInventories(InventoryTable{{"Type", "Name", "Location"}, 3, 3, {}},
                                            InventoryTableOf({kNow[1]}))
                             .changes,
                         InventoryFormat::Json));
}

TEST(ParseInventoryText, MalformedListsAreRefused) {
  const char* const texts[] = {
      "",
      "\xEF\xBB\xBF \r\n",
      "Type\tName\tCommand\r\n",                        // no Location
      "Type\tName\tLocation\r\nRegistry\tx\r\n",        // a field short
      "Type\tName\tLocation\r\nRegistry\tx\\q\ty\r\n",  // no such escape
      "Type,Name,Location\r\nRegistry,\"x,y\r\n",       // quote not closed
      "[{\"Type\": \"Registry\", \"Name\": \"x\"}]",    // no Location
      "[{\"Type\": \"Registry\", \"Name\": 1, \"Location\": \"y\"}]",
      "[{\"Type\": \"Registry\", \"Name\": \"x\", \"Location\": \"y\"}",
      "[{\"Type\": \"\\ud800\", \"Name\": \"x\", \"Location\": \"y\"}]",
  };
  for (const char* text : texts) {
    InventoryTable table;
    EXPECT_FALSE(ParseInventoryText(text, table)) << text;
  }
}

}  // namespace
