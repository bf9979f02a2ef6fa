// Rows in the list control and how the entry actions read the selected row.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "app/entry_list.h"
#include "support/entry_list_window.h"

namespace {

class EntryListTest : public ::testing::Test {
 protected:
  EntryListWindow window;
  CEntryList& list = window.list;

  void SetUp() override { ASSERT_NE(nullptr, list.m_hWnd); }

  void Select(int row) { list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED); }
};

TEST_F(EntryListTest, RowsAreAppendedInOrderWithTheirImage) {
  EntryListSink sink(list);
  sink.AddEntryRow("Registry", "A", "a.exe", "HKEY_LOCAL_MACHINE\\Run", 0, {});
  sink.AddEntryRow("Start-Up", "b.lnk", "Shortcut", "C:\\Startup\\b.lnk", 1, {});
  ASSERT_EQ(2, list.GetItemCount());
  const char* expected[2][4] = {{"Registry", "A", "a.exe", "HKEY_LOCAL_MACHINE\\Run"},
                                {"Start-Up", "b.lnk", "Shortcut", "C:\\Startup\\b.lnk"}};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 4; ++column)
      EXPECT_EQ(expected[row][column], list.GetItemText(row, column)) << row << "," << column;
    LVITEMA item = {};
    item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.stateMask = ~0u;
    item.iItem = row;
    list.GetItem(&item);
    EXPECT_EQ(row, item.iImage);
    EXPECT_EQ(0, item.lParam);
    EXPECT_EQ(0u, item.state);
  }
}

// A cell gives its text whole, far beyond any fixed buffer, in characters
// of two bytes too, and the actions take the row's own name: 150 'é' is never
// read back as 127.
TEST_F(EntryListTest, LongTextsAreKeptWhole) {
  for (size_t length : {300u, 9998u, 9999u, 16383u, 300000u}) {
    std::string name;
    for (size_t i = 0; i < length / 2; ++i) name += "\xC3\xA9";  // 'é' in UTF-8
    name += 'Z';
    std::string action(length, 'a');
    EntryListSink(list).AddEntryRow("Registry", name.c_str(), action.c_str(), "HKEY_USERS\\x", 0,
                                    {});
    int row = list.GetItemCount() - 1;
    EXPECT_EQ(name, list.GetItemText(row, 1)) << length;
    EXPECT_EQ(action, list.GetItemText(row, 2)) << length;
    Select(row);
    SelectedEntry entry;
    ASSERT_TRUE(ReadSelectedEntry(list, entry));
    EXPECT_EQ(name, entry.name) << length;
  }
}

TEST_F(EntryListTest, SelectedEntryReadsTypeNameAndLocation) {
  SelectedEntry entry{"stale", "stale", "stale"};
  EXPECT_FALSE(ReadSelectedEntry(list, entry)) << "an empty list has nothing to act on";

  EntryListSink sink(list);
  sink.AddEntryRow("Registry", "First", "first.exe", "HKEY_CURRENT_USER\\Run", 0, {});
  sink.AddEntryRow("Start-Up", "two.exe", "Application", "C:\\S\\two.exe", 1, {});

  // Rows but none selected: a row of no kind.
  entry = {"stale", "stale", "stale"};
  EXPECT_TRUE(ReadSelectedEntry(list, entry));
  EXPECT_EQ("", entry.type);
  EXPECT_EQ("", entry.name);
  EXPECT_EQ("", entry.location);

  Select(1);
  EXPECT_TRUE(ReadSelectedEntry(list, entry));
  EXPECT_EQ("Start-Up", entry.type);
  EXPECT_EQ("two.exe", entry.name);
  EXPECT_EQ("C:\\S\\two.exe", entry.location);
}

// Rows of one key or folder share its text; each row still gives back its
// own Location byte for byte, whatever comes before or after it.
TEST_F(EntryListTest, LocationsComeBackWholeWhereRowsShareThem) {
  const struct {
    const char* name;
    const char* location;
  } rows[] = {
      {"a.lnk", "C:\\S\\a.lnk"},          {"b.lnk", "C:\\S\\b.lnk"},
      {"c.lnk", "C:\\S\\sub\\c.lnk"},     {"d.lnk", "C:\\S\\d.lnk"},
      {"e.lnk", "C:\\S\\ e.lnk"},         {"f.lnk", "C:\\S\\F.LNK"},
      {"g.lnk", "g.lnk"},                 {"", "C:\\S\\"},
      {"V", "HKEY_CURRENT_USER\\Run"},    {"Run", "HKEY_CURRENT_USER\\Run"},
      {"W", "HKEY_CURRENT_USER\\Run"},    {"h.lnk", "C:\\S\\h.lnk"},
      {"i.lnk", "C:\\T\\i.lnk"},
  };
  EntryListSink sink(list);
  for (const auto& row : rows) sink.AddEntryRow("Start-Up", row.name, "", row.location, 1, {});
  for (int row = 0; row < static_cast<int>(std::size(rows)); ++row) {
    EXPECT_EQ(rows[row].location, list.GetItemText(row, 3)) << row;
    EXPECT_EQ(rows[row].location, ReadEntryRow(list, row).location) << row;
  }
}

TEST_F(EntryListTest, EmptyNameOfADefaultValueStaysEmpty) {
  EntryListSink(list).AddEntryRow("Registry", "", "default.exe", "HKEY_USERS\\u\\Run", 0, {});
  Select(0);
  SelectedEntry entry;
  ASSERT_TRUE(ReadSelectedEntry(list, entry));
  EXPECT_EQ("Registry", entry.type);
  EXPECT_EQ("", entry.name);
  EXPECT_EQ("HKEY_USERS\\u\\Run", entry.location);
}

TEST_F(EntryListTest, TypeToSelectTakesALongSearchWhole) {
  EntryListSink(list).AddEntryRow(std::string(300, 'x').c_str(), "a", "", "L", 0, {});
  const auto find = [&](const std::wstring& text, UINT flags) {
    NMLVFINDITEMW find = {{nullptr, 0, LVN_ODFINDITEMW}, 0, {flags, text.c_str(), 0, {}, 0}};
    return list.OnFindItem(&find.hdr);
  };
  EXPECT_EQ(0, find(std::wstring(300, L'x'), LVFI_STRING));
  EXPECT_EQ(-1, find(std::wstring(299, L'x') + L'y', LVFI_PARTIAL));
}

}  // namespace
