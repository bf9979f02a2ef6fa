// Quillpane driven through its own modal loop on files in a temporary folder.
#include "editor/quillpane_dlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resource.h"
#include "support/dialog_template.h"
#include "support/file_faults.h"
#include "support/modal_script.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"

namespace {

using Lines = std::vector<std::string>;

const char kFiveLines[] = "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n";

TEST(QuillpaneTemplate, FrameAndFont) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadDialogTemplate(IDD_QUILLPANE, dialog));
  EXPECT_EQ("Quillpane v1.0.0", dialog.title);
  EXPECT_EQ("Courier New", dialog.fontName);
  EXPECT_EQ(8, dialog.pointSize);
  EXPECT_EQ(FW_NORMAL, dialog.weight);
  EXPECT_EQ(313, dialog.cx);
  EXPECT_EQ(93, dialog.cy);
  EXPECT_EQ(0, dialog.menuId);
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_THICKFRAME |
                               DS_MODALFRAME | DS_SETFONT),
            dialog.style);
  EXPECT_EQ(0u, dialog.exStyle);
}

TEST(QuillpaneTemplate, ControlsInTabOrderWithoutDefaultButton) {
  DialogTemplate dialog;
  ASSERT_TRUE(LoadDialogTemplate(IDD_QUILLPANE, dialog));
  const DWORD child = WS_CHILD | WS_VISIBLE;
  const DWORD button = child | BS_PUSHBUTTON | WS_TABSTOP;
  const DialogItemTemplate expected[] = {
      {child | BS_GROUPBOX, 0, 4, 0, 306, 91, -1, "Button", ""},
      {child | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, 0, 8, 8, 297, 48, 1004,
       "SysListView32", ""},
      {child | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 8, 59, 197, 12, 1013, "Edit",
       ""},
      {button, 0, 208, 59, 48, 13, 1011, "Button", "Add &New"},
      {button, 0, 258, 59, 48, 13, 1012, "Button", "S&wap"},
      {button, 0, 8, 73, 48, 14, 1007, "Button", "Move &Up"},
      {button, 0, 58, 73, 48, 14, 1008, "Button", "Move &Down"},
      {button, 0, 108, 73, 48, 14, 1000, "Button", "&Remove"},
      {button, 0, 158, 73, 48, 14, 1005, "Button", "&Save"},
      {button, 0, 208, 73, 48, 14, 1010, "Button", "Save &As"},
      {button, 0, 258, 73, 48, 14, 1003, "Button", "E&xit"},
  };
  ExpectControls(expected, dialog);
}

class QuillpaneTest : public ::testing::Test {
 protected:
  TempFolder temp;
  ScriptedPrompts prompts;
  std::string path;
  std::unique_ptr<CQuillpane> editor;

  // The editor on a new file holding `bytes`.
  void Open(const std::string& bytes, const std::string& name = "edited.txt") {
    path = temp.WriteFile(name, bytes);
    editor = std::make_unique<CQuillpane>(path);
  }

  INT_PTR Run(std::vector<ModalStep> steps) { return RunModal(*editor, std::move(steps)); }

  CListCtrl& List() { return editor->m_listLines; }
  std::string EditText() { return editor->m_editLine.GetWindowText(); }

  Lines Shown() {
    Lines lines;
    for (int i = 0; i < List().GetItemCount(); ++i) lines.push_back(List().GetItemText(i, 0));
    return lines;
  }
  int Selected() { return List().GetNextItem(-1, LVNI_SELECTED); }

  // Scrolled into view first, as the user would.
  POINT ItemCentre(int item) {
    List().EnsureVisible(item);
    RECT bounds = {};
    bounds.left = LVIR_LABEL;
    List().SendMessage(LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&bounds));
    return {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
  }
  // A left click on a line, as the user selects one.
  void ClickLine(int item) {
    const POINT at = ItemCentre(item);
    List().SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    List().SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  }
  void DoubleClickLine(int item) {
    ClickLine(item);
    const POINT at = ItemCentre(item);
    List().SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    List().SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  }
  void Click(int button) { SendMessageA(editor->GetDlgItem(button), BM_CLICK, 0, 0); }
  void Type(const std::string& text) { editor->m_editLine.SetWindowText(text); }
};

TEST_F(QuillpaneTest, OpensWithTitleColumnStylesAndLines) {
  Open("[boot loader]\r\ntimeout=30\r\n\r\ndefault=multi(0)\r\n");
  std::string title;
  int columns = 0, width = 0, format = -1;
  std::string heading = "unset";
  DWORD extended = 0;
  Lines lines;
  Run({[&] {
    title = editor->GetWindowText();
    columns = List().GetColumnCount();
    width = List().GetColumnWidth(0);
    char text[64] = "";
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_FMT;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    List().SendMessage(LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    heading = text;
    format = column.fmt & LVCFMT_JUSTIFYMASK;
    extended = List().GetExtendedStyle();
    lines = Shown();
  }});
  EXPECT_EQ("Quillpane v1.0.0 - [" + path + "]", title);
  EXPECT_EQ(1, columns);
  EXPECT_EQ(499, width);
  EXPECT_EQ("", heading);
  EXPECT_EQ(LVCFMT_LEFT, format);
  EXPECT_EQ(0x421u, extended & 0x421u);
  EXPECT_EQ((Lines{"[boot loader]", "timeout=30", "", "default=multi(0)"}), lines);
}

TEST_F(QuillpaneTest, FocusStartsOnTheList) {
  Open(kFiveLines);
  HWND focus = nullptr, list = nullptr;
  Run({[&] {
    focus = GetFocus();
    list = List().m_hWnd;
  }});
  EXPECT_EQ(list, focus);
}

TEST_F(QuillpaneTest, UnreadableFileGivesAnEmptyListAndNoMessage) {
  const std::string folder = temp.MakeFolder("folder");
  for (const std::string& target : {temp / "missing.txt", folder}) {
    SCOPED_TRACE(target);
    CQuillpane dialog(target);
    int count = -1;
    std::string title;
    RunModal(dialog, {[&] {
               count = dialog.m_listLines.GetItemCount();
               title = dialog.GetWindowText();
             }});
    EXPECT_EQ(0, count);
    EXPECT_EQ("Quillpane v1.0.0 - [" + target + "]", title);
  }
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_FALSE(TempFolder::Exists(temp / "missing.txt"));
}

TEST_F(QuillpaneTest, SelectionShowsInTheEditBox) {
  Open(kFiveLines);
  std::string afterClick, afterOther, afterClear;
  Run({[&] {
    ClickLine(2);
    afterClick = EditText();
    ClickLine(4);
    afterOther = EditText();
    List().SetItemState(4, 0, LVIS_SELECTED);
    afterClear = EditText();
  }});
  EXPECT_EQ("three", afterClick);
  EXPECT_EQ("five", afterOther);
  EXPECT_EQ("", afterClear);
}

TEST_F(QuillpaneTest, AddNewAppendsTheEditTextAndKeepsTheSelection) {
  Open("a\r\nb\r\n");
  Lines lines;
  int selected = -2;
  std::string edit;
  Run({[&] {
    ClickLine(0);
    Type("");
    Click(IDC_ADD_LINE);
    Type("added");
    Click(IDC_ADD_LINE);
    lines = Shown();
    selected = Selected();
    edit = EditText();
  }});
  EXPECT_EQ((Lines{"a", "b", "", "added"}), lines);
  EXPECT_EQ(0, selected);
  EXPECT_EQ("added", edit);
}

TEST_F(QuillpaneTest, AddNewToAnEmptyFile) {
  Open("");
  Lines lines;
  Run({[&] {
    Type("first");
    Click(IDC_ADD_LINE);
    lines = Shown();
  }});
  EXPECT_EQ((Lines{"first"}), lines);
}

TEST_F(QuillpaneTest, SwapReplacesTheSelectedLine) {
  Open(kFiveLines);
  Lines lines;
  int selected = -2;
  Run({[&] {
    ClickLine(1);
    Type("TWO");
    Click(IDC_SWAP_LINE);
    lines = Shown();
    selected = Selected();
  }});
  EXPECT_EQ((Lines{"one", "TWO", "three", "four", "five"}), lines);
  EXPECT_EQ(1, selected);
}

// Line three of five moved one place either way: the line, the selection and
// the edit box go together.
TEST_F(QuillpaneTest, MoveOnLineThreeOfFive) {
  const struct {
    int button;
    Lines expected;
    int selected;
  } cases[] = {
      {IDC_MOVE_LINE_UP, {"one", "three", "two", "four", "five"}, 1},
      {IDC_MOVE_LINE_DOWN, {"one", "two", "four", "three", "five"}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    Open(kFiveLines);
    Lines lines;
    int selected = -2;
    std::string edit;
    Run({[&] {
      ClickLine(2);
      Click(c.button);
      lines = Shown();
      selected = Selected();
      edit = EditText();
    }});
    EXPECT_EQ(c.expected, lines);
    EXPECT_EQ(c.selected, selected);
    EXPECT_EQ("three", edit);
  }
}

// A line walked from the top to the bottom and back stays selected all the way.
TEST_F(QuillpaneTest, RepeatedMovesCarryTheLine) {
  Open(kFiveLines);
  Lines down, up;
  int selectedDown = -2, selectedUp = -2;
  Run({[&] {
    ClickLine(0);
    for (int i = 0; i < 4; ++i) Click(IDC_MOVE_LINE_DOWN);
    down = Shown();
    selectedDown = Selected();
    for (int i = 0; i < 4; ++i) Click(IDC_MOVE_LINE_UP);
    up = Shown();
    selectedUp = Selected();
  }});
  EXPECT_EQ((Lines{"two", "three", "four", "five", "one"}), down);
  EXPECT_EQ(4, selectedDown);
  EXPECT_EQ((Lines{"one", "two", "three", "four", "five"}), up);
  EXPECT_EQ(0, selectedUp);
}

// A selection made without the focus mark (by a program, say) still moves
// with its line.
TEST_F(QuillpaneTest, MoveFollowsTheSelectionNotTheFocusMark) {
  Open(kFiveLines);
  Lines lines;
  int selected = -2;
  Run({[&] {
    List().SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED);
    List().SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    Click(IDC_MOVE_LINE_UP);
    lines = Shown();
    selected = Selected();
  }});
  EXPECT_EQ((Lines{"one", "two", "four", "three", "five"}), lines);
  EXPECT_EQ(2, selected);
}

// Commands that change nothing in the given state.
struct NoChangeCase {
  const char* name;
  int selectLine;  // -1: nothing selected
  int button;
};

class QuillpaneNoChangeTest : public QuillpaneTest,
                              public ::testing::WithParamInterface<NoChangeCase> {};

TEST_P(QuillpaneNoChangeTest, LinesAndSelectionStay) {
  Open(kFiveLines);
  Lines lines;
  int selected = -2;
  Run({[&] {
    if (GetParam().selectLine >= 0) ClickLine(GetParam().selectLine);
    Type("typed");
    Click(GetParam().button);
    lines = Shown();
    selected = Selected();
  }});
  EXPECT_EQ((Lines{"one", "two", "three", "four", "five"}), lines);
  EXPECT_EQ(GetParam().selectLine, selected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, QuillpaneNoChangeTest,
    ::testing::Values(NoChangeCase{"MoveUpOnFirst", 0, IDC_MOVE_LINE_UP},
                      NoChangeCase{"MoveDownOnLast", 4, IDC_MOVE_LINE_DOWN},
                      NoChangeCase{"SwapWithoutSelection", -1, IDC_SWAP_LINE},
                      NoChangeCase{"MoveUpWithoutSelection", -1, IDC_MOVE_LINE_UP},
                      NoChangeCase{"MoveDownWithoutSelection", -1, IDC_MOVE_LINE_DOWN},
                      NoChangeCase{"RemoveWithoutSelection", -1, IDC_REMOVE_LINE}),
    [](const ::testing::TestParamInfo<NoChangeCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(QuillpaneTest, CommandsOnAnEmptyListDoNothing) {
  Open("");
  Lines lines = {"unset"};
  Run({[&] {
    Type("typed");
    for (int button : {IDC_SWAP_LINE, IDC_MOVE_LINE_UP, IDC_MOVE_LINE_DOWN, IDC_REMOVE_LINE})
      Click(button);
    lines = Shown();
  }});
  EXPECT_TRUE(lines.empty());
}

TEST_F(QuillpaneTest, RemoveDeletesTheSelectedLineWithoutAsking) {
  Open(kFiveLines);
  Lines lines;
  Run({[&] {
    ClickLine(1);
    Click(IDC_REMOVE_LINE);
    lines = Shown();
  }});
  EXPECT_EQ((Lines{"one", "three", "four", "five"}), lines);
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

TEST_F(QuillpaneTest, DoubleClickRemovesTheLine) {
  Open(kFiveLines);
  Lines once, twice;
  Run({[&] {
    DoubleClickLine(3);
    once = Shown();
    DoubleClickLine(0);
    twice = Shown();
  }});
  EXPECT_EQ((Lines{"one", "two", "three", "five"}), once);
  EXPECT_EQ((Lines{"two", "three", "five"}), twice);
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

TEST_F(QuillpaneTest, SaveWritesTheListWithCrLf) {
  Open("keep\nmove\r\ndrop\r\n");
  INT_PTR result = 0;
  std::string saved;
  result = Run({[&] {
    ClickLine(2);
    Click(IDC_REMOVE_LINE);
    ClickLine(1);
    Click(IDC_MOVE_LINE_UP);
    Type("new");
    Click(IDC_ADD_LINE);
    Click(IDC_SAVE_FILE);
    saved = TempFolder::ReadFile(path);
  }});
  EXPECT_EQ("move\r\nkeep\r\nnew\r\n", saved);
  EXPECT_EQ(-2, result) << "Save must leave the editor open";
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

TEST_F(QuillpaneTest, SavingAnEmptyListEmptiesTheFile) {
  Open("only\r\n");
  Run({[&] {
    ClickLine(0);
    Click(IDC_REMOVE_LINE);
    Click(IDC_SAVE_FILE);
  }});
  EXPECT_TRUE(TempFolder::Exists(path));
  EXPECT_EQ("", TempFolder::ReadFile(path));
}

// A file with mixed line ends and high bytes saved unedited: not changed.
TEST_F(QuillpaneTest, LoadAndSaveRoundTripIsByteExact) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  Open("[386Enh]\r\n" + high + "\nlone\rCR\r\n\nlast");
  Run({[&] { Click(IDC_SAVE_FILE); }});
  EXPECT_EQ("[386Enh]\r\n" + high + "\nlone\rCR\r\n\nlast", TempFolder::ReadFile(path));
}

// Lines left alone come back byte for byte; typed lines are converted; a line
// the code page cannot carry, even by a look-alike, stops Save and Save As.
TEST_F(QuillpaneTest, SavesInTheFilesCodePage) {
  // ソフト=ｱ, a lead byte without its trail, and 0x80, which 932 does not define.
  const std::string win932 = "[w]\r\n\x83\x5C\x83\x74\x83\x67=\xB1\r\nbad=\x83\r\n\x80\r\n";
  const struct {
    UINT codePage;
    std::string file;
    int line, button;  // line -1: none selected; button 0: no edit
    const char* typed;
    std::string saved;  // empty: refused at `line`
  } cases[] = {
      {932, win932, -1, 0, "", win932},
      {932, win932, 2, IDC_MOVE_LINE_UP, "",
       "[w]\r\nbad=\x83\r\n" + win932.substr(5, 10) + "\x80\r\n"},
      {932, "[w]\r\n", -1, IDC_ADD_LINE, "\xE3\x82\xBD=1", "[w]\r\n\x83\x5C=1\r\n"},
      {1252, "\xFF\r\nx\r\n", 1, IDC_SWAP_LINE, "\xC4\x80", ""},  // A with macron
  };
  for (const auto& c : cases) {
    prompts.messageBoxes.clear();
    Open(c.file, "Win.ini");
    editor->m_codePage = c.codePage;
    Run({[&] {
      EXPECT_TRUE(c.file != win932 ||
                  List().GetItemText(1, 0) == "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88=\xEF\xBD\xB1");
      if (c.line >= 0) ClickLine(c.line);
      Type(c.typed);
      if (c.button) Click(c.button);
      List().SetItemState(-1, 0, LVIS_SELECTED);
      for (int button : {IDC_SAVE_FILE, IDC_SAVE_FILE_AS}) Click(button);
      EXPECT_EQ(c.saved.empty() ? c.line : -1, Selected());
    }});
    EXPECT_EQ(c.saved.empty() ? c.file : c.saved, TempFolder::ReadFile(path));
    EXPECT_EQ(c.saved.empty() ? 2u : 0u, prompts.messageBoxes.size());
  }
}

TEST_F(QuillpaneTest, SaveThatCannotOpenTheFileSaysSoAndLeavesIt) {
  Open("keep\r\n");
  HANDLE lock = INVALID_HANDLE_VALUE;
  HWND window = nullptr;
  Run({[&] {
    window = editor->m_hWnd;
    ClickLine(0);
    Click(IDC_REMOVE_LINE);
    lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    Click(IDC_SAVE_FILE);
  }});
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  CloseHandle(lock);
  EXPECT_EQ("keep\r\n", TempFolder::ReadFile(path));
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ(window, prompts.messageBoxes[0].owner);
  EXPECT_EQ("Unable to save file!", prompts.messageBoxes[0].text);
  EXPECT_EQ("Error", prompts.messageBoxes[0].caption);
  EXPECT_EQ(0x10u, prompts.messageBoxes[0].type);
}

// Save replaces the file whole or not at all. Whatever fails, the file keeps
// its content and attributes and the user is told; a hidden system file (as
// Boot.ini usually is) stays hidden and system once saved.
struct SaveCase {
  const char* name;
  DWORD attributes;
  std::function<void(FileFaults&)> fault;
  bool saved;
};

class QuillpaneSaveTest : public QuillpaneTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(QuillpaneSaveTest, SavedWholeOrNotAtAll) {
  const SaveCase& c = GetParam();
  Open("[boot loader]\r\ntimeout=30\r\n", "Boot.ini");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
  HWND window = nullptr;
  Run({[&] {
    window = editor->m_hWnd;
    ClickLine(0);
    Click(IDC_REMOVE_LINE);
    FileFaults faults;
    ASSERT_TRUE(faults.applied());
    if (c.fault) c.fault(faults);
    Click(IDC_SAVE_FILE);
  }});
  const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  EXPECT_EQ(c.attributes & kept, GetFileAttributesA(path.c_str()) & kept);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (c.saved) {
    EXPECT_EQ("timeout=30\r\n", TempFolder::ReadFile(path));
    EXPECT_TRUE(prompts.messageBoxes.empty());
    return;
  }
  EXPECT_EQ("[boot loader]\r\ntimeout=30\r\n", TempFolder::ReadFile(path));
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ(window, prompts.messageBoxes[0].owner);
  EXPECT_EQ("Unable to save file!", prompts.messageBoxes[0].text);
  EXPECT_EQ("Error", prompts.messageBoxes[0].caption);
  EXPECT_EQ(0x10u, prompts.messageBoxes[0].type);
}

const DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

INSTANTIATE_TEST_SUITE_P(
    Steps, QuillpaneSaveTest,
    ::testing::Values(
        SaveCase{"HiddenSystemFile", kHiddenSystem, nullptr, true},
        SaveCase{"ReadOnlyFile", kHiddenSystem | FILE_ATTRIBUTE_READONLY, nullptr, false},
        SaveCase{"DiskFull", kHiddenSystem,
                 [](FileFaults& f) { f.failWrite = [] { return ERROR_DISK_FULL; }; }, false},
        SaveCase{"FlushFails", kHiddenSystem,
                 [](FileFaults& f) { f.failFlush = [] { return ERROR_DISK_FULL; }; }, false},
        SaveCase{"CloseFails", FILE_ATTRIBUTE_NORMAL,
                 [](FileFaults& f) { f.failClose = [] { return ERROR_NETNAME_DELETED; }; }, false},
        SaveCase{"ReplaceFails", kHiddenSystem,
                 [](FileFaults& f) {
                   f.failMove = [](const std::string&, const std::string&) {
                     return ERROR_SHARING_VIOLATION;
                   };
                 },
                 false}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

TEST_F(QuillpaneTest, SaveIntoAMissingFolderSaysSo) {
  path = temp / "missing\\edited.txt";
  editor = std::make_unique<CQuillpane>(path);
  Run({[&] {
    Type("text");
    Click(IDC_ADD_LINE);
    Click(IDC_SAVE_FILE);
  }});
  EXPECT_FALSE(TempFolder::Exists(path));
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("Unable to save file!", prompts.messageBoxes[0].text);
}

// Lines longer than any fixed buffer survive Swap, Move and Save whole.
TEST_F(QuillpaneTest, LongLinesAreNeverCut) {
  const std::string longLine(20000, 'L');
  const std::string longerLine = std::string(15000, 'S') + "end";
  Open("short\r\n" + longLine + "\r\nlast\r\n");
  Lines afterMoveUp, afterSwap, afterMoveDown;
  std::string edit;
  Run({[&] {
    ClickLine(1);
    Click(IDC_MOVE_LINE_UP);
    afterMoveUp = Shown();
    edit = EditText();
    ClickLine(2);
    Type(longerLine);
    Click(IDC_SWAP_LINE);
    afterSwap = Shown();
    Click(IDC_MOVE_LINE_DOWN);
    afterMoveDown = Shown();
    Click(IDC_SAVE_FILE);
  }});
  EXPECT_EQ((Lines{longLine, "short", "last"}), afterMoveUp);
  EXPECT_EQ(longLine, edit);
  EXPECT_EQ((Lines{longLine, "short", longerLine}), afterSwap);
  EXPECT_EQ((Lines{longLine, "short", longerLine}), afterMoveDown);  // already the last
  EXPECT_EQ(longLine + "\r\nshort\r\n" + longerLine + "\r\n", TempFolder::ReadFile(path));
}

TEST_F(QuillpaneTest, SaveAsProposesTheEditedFile) {
  Open(kFiveLines);
  HWND window = nullptr;
  Run({[&] {
    window = editor->m_hWnd;
    Click(IDC_SAVE_FILE_AS);
  }});
  ASSERT_EQ(1u, prompts.fileDialogs.size());
  const ScriptedPrompts::FileDialogCall& call = prompts.fileDialogs[0];
  EXPECT_TRUE(call.save);
  EXPECT_EQ(window, call.owner);
  EXPECT_EQ(path, call.fileName);
  EXPECT_FALSE(call.hasDefaultExtension);
  EXPECT_EQ(static_cast<DWORD>(OFN_HIDEREADONLY), call.flags);
  EXPECT_EQ(std::string("All Files (*.*)\0*.*\0\0", 21), call.filter);
  // Cancelled: nothing written, nothing said.
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_EQ(kFiveLines, TempFolder::ReadFile(path));
}

TEST_F(QuillpaneTest, SaveAsLeavesTheTitleAndLaterSavesOnTheOpenedFile) {
  Open(kFiveLines);
  const std::string copy = temp / "copy.txt";
  prompts.chosenFiles = {copy};
  std::string copied, originalAfterSaveAs, titleAfter;
  Run({[&] {
    ClickLine(0);
    Click(IDC_REMOVE_LINE);
    Click(IDC_SAVE_FILE_AS);
    copied = TempFolder::ReadFile(copy);
    originalAfterSaveAs = TempFolder::ReadFile(path);
    ClickLine(0);
    Click(IDC_REMOVE_LINE);
    Click(IDC_SAVE_FILE);
    titleAfter = editor->GetWindowText();
  }});
  EXPECT_EQ("two\r\nthree\r\nfour\r\nfive\r\n", copied);
  EXPECT_EQ(kFiveLines, originalAfterSaveAs);
  EXPECT_EQ("three\r\nfour\r\nfive\r\n", TempFolder::ReadFile(path));
  EXPECT_EQ("two\r\nthree\r\nfour\r\nfive\r\n", TempFolder::ReadFile(copy));
  EXPECT_EQ("Quillpane v1.0.0 - [" + path + "]", titleAfter);
  EXPECT_EQ(path, editor->m_strPath);
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

// What Save As does with each kind of target.
struct SaveAsCase {
  const char* name;
  // Makes the target in `temp`; returns its path.
  std::function<std::string(const TempFolder& temp)> target;
  std::vector<int> answers;
  bool lockTarget;
  std::vector<std::string> boxes;  // "text|caption|type"
  bool written;
};

class QuillpaneSaveAsTest : public QuillpaneTest,
                            public ::testing::WithParamInterface<SaveAsCase> {};

TEST_P(QuillpaneSaveAsTest, ChecksTheTargetFirst) {
  const SaveAsCase& c = GetParam();
  Open("edited\r\n");
  const std::string target = c.target(temp);
  const bool existed = TempFolder::Exists(target);
  const std::string before = existed ? TempFolder::ReadFile(target) : "";
  prompts.chosenFiles = {target};
  prompts.answers.assign(c.answers.begin(), c.answers.end());
  HANDLE lock = INVALID_HANDLE_VALUE;
  if (c.lockTarget) {
    lock = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  }
  INT_PTR result = Run({[&] { Click(IDC_SAVE_FILE_AS); }});
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

  EXPECT_EQ(-2, result) << "Save As must leave the editor open";
  std::vector<std::string> boxes;
  for (const auto& box : prompts.messageBoxes)
    boxes.push_back(box.text + "|" + box.caption + "|" + std::to_string(box.type));
  EXPECT_EQ(c.boxes, boxes);
  if (c.written) {
    EXPECT_EQ("edited\r\n", TempFolder::ReadFile(target));
  } else if (existed) {
    EXPECT_EQ(before, TempFolder::ReadFile(target));
  } else {
    EXPECT_FALSE(TempFolder::Exists(target));
  }
  EXPECT_EQ("edited\r\n", TempFolder::ReadFile(path));
}

const char kOverwrite[] = "File exists.\nOverwrite it?|Warning|308";  // 0x134

INSTANTIATE_TEST_SUITE_P(
    Targets, QuillpaneSaveAsTest,
    ::testing::Values(
        SaveAsCase{
            "NewFile", [](const TempFolder& t) { return t / "new.txt"; }, {}, false, {}, true},
        SaveAsCase{"ExistingAnsweredNo",
                   [](const TempFolder& t) { return t.WriteFile("old.txt", "old\r\n"); },
                   {IDNO},
                   false,
                   {kOverwrite},
                   false},
        SaveAsCase{"ExistingAnsweredYes",
                   [](const TempFolder& t) { return t.WriteFile("old.txt", "old\r\n"); },
                   {IDYES},
                   false,
                   {kOverwrite},
                   true},
        // Only an explicit Yes overwrites: a box that could not be shown (0),
        // OK and Cancel keep the file.
        SaveAsCase{"ExistingAnsweredZero",
                   [](const TempFolder& t) { return t.WriteFile("old.txt", "old\r\n"); },
                   {0},
                   false,
                   {kOverwrite},
                   false},
        SaveAsCase{"ExistingAnsweredOk",
                   [](const TempFolder& t) { return t.WriteFile("old.txt", "old\r\n"); },
                   {IDOK},
                   false,
                   {kOverwrite},
                   false},
        SaveAsCase{"ExistingAnsweredCancel",
                   [](const TempFolder& t) { return t.WriteFile("old.txt", "old\r\n"); },
                   {IDCANCEL},
                   false,
                   {kOverwrite},
                   false},
        SaveAsCase{"InMissingFolder",
                   [](const TempFolder& t) { return t / "missing\\new.txt"; },
                   {},
                   false,
                   {"Invalid path!|Warning|48"},
                   false},
        SaveAsCase{"ExistingFolder",
                   [](const TempFolder& t) { return t.MakeFolder("folder"); },
                   {},
                   false,
                   {"Invalid path!|Warning|48"},
                   false},
        // The checks pass, but the file cannot be opened: said like Save says it.
        SaveAsCase{"LockedExistingFile",
                   [](const TempFolder& t) { return t.WriteFile("locked.txt", "locked\r\n"); },
                   {IDYES},
                   true,
                   {kOverwrite, "Unable to save file!|Error|16"},
                   false}),
    [](const ::testing::TestParamInfo<SaveAsCase>& info) { return std::string(info.param.name); });

// Every way out ends the dialog without saving and without asking.
struct CloseCase {
  const char* name;
  INT_PTR expectedResult;
  std::function<void(CQuillpane&)> close;
};

class QuillpaneCloseTest : public QuillpaneTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(QuillpaneCloseTest, EndsWithoutSaving) {
  Open(kFiveLines);
  INT_PTR result = Run({[&] {
                          ClickLine(0);
                          Click(IDC_REMOVE_LINE);
                          ::SetFocus(List());
                          GetParam().close(*editor);
                        },
                        [] {}});
  EXPECT_EQ(GetParam().expectedResult, result);
  EXPECT_EQ(kFiveLines, TempFolder::ReadFile(path));
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    AllWays, QuillpaneCloseTest,
    ::testing::Values(
        CloseCase{
            "ExitButton", IDCANCEL,
            [](CQuillpane& d) { PostMessageA(d.GetDlgItem(IDC_EXIT_EDITOR), BM_CLICK, 0, 0); }},
        CloseCase{"Escape", IDCANCEL, [](CQuillpane& d) { PostKey(d.m_listLines, VK_ESCAPE); }},
        CloseCase{"EnterOnTheList", IDOK, [](CQuillpane& d) { PostKey(d.m_listLines, VK_RETURN); }},
        CloseCase{"CloseBox", IDCANCEL,
                  [](CQuillpane& d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

}  // namespace
