#include "support/dialog_template.h"

#include <gtest/gtest.h>

namespace {

class Reader {
 public:
  explicit Reader(const BYTE* at) : at_(at), start_(at) {}
  WORD Word() {
    WORD v;
    memcpy(&v, at_, 2);
    at_ += 2;
    return v;
  }
  DWORD Dword() {
    DWORD v;
    memcpy(&v, at_, 4);
    at_ += 4;
    return v;
  }
  short Short() { return static_cast<short>(Word()); }
  BYTE Byte() { return *at_++; }
  void AlignDword() {
    while ((at_ - start_) % 4) ++at_;
  }
  std::string Text() {  // zero-terminated UTF-16, ASCII expected
    std::string text;
    for (WORD c; (c = Word()) != 0;) text += static_cast<char>(c);
    return text;
  }
  // A name or an ordinal (0xFFFF followed by the number).
  std::string NameOrOrdinal(int* ordinal) {
    WORD first = Word();
    if (first == 0xFFFF) {
      *ordinal = Word();
      return std::string();
    }
    *ordinal = 0;
    if (first == 0) return std::string();
    return static_cast<char>(first) + Text();
  }

 private:
  const BYTE* at_;
  const BYTE* start_;
};

std::string ClassOfOrdinal(int ordinal) {
  switch (ordinal) {
    case 0x80:
      return "Button";
    case 0x81:
      return "Edit";
    case 0x82:
      return "Static";
    case 0x83:
      return "ListBox";
    case 0x84:
      return "ScrollBar";
    case 0x85:
      return "ComboBox";
    default:
      return "#" + std::to_string(ordinal);
  }
}

}  // namespace

bool LoadDialogTemplate(int id, DialogTemplate& dialog) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (!found) return false;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  Reader in(data);
  if (in.Word() != 1 || in.Word() != 0xFFFF) return false;
  in.Dword();  // help id
  dialog.exStyle = in.Dword();
  dialog.style = in.Dword();
  int count = in.Word();
  dialog.x = in.Short();
  dialog.y = in.Short();
  dialog.cx = in.Short();
  dialog.cy = in.Short();
  int ordinal = 0;
  std::string menuName = in.NameOrOrdinal(&ordinal);
  dialog.menuId = ordinal;
  in.NameOrOrdinal(&ordinal);  // window class
  dialog.title = in.Text();
  if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
    dialog.pointSize = in.Word();
    dialog.weight = in.Word();
    in.Byte();  // italic
    in.Byte();  // character set
    dialog.fontName = in.Text();
  }
  for (int i = 0; i < count; ++i) {
    in.AlignDword();
    DialogItemTemplate item;
    in.Dword();  // help id
    item.exStyle = in.Dword();
    item.style = in.Dword();
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = static_cast<int>(in.Dword());
    std::string className = in.NameOrOrdinal(&ordinal);
    item.className = ordinal ? ClassOfOrdinal(ordinal) : className;
    item.text = in.NameOrOrdinal(&ordinal);
    if (ordinal) item.text = "#" + std::to_string(ordinal);
    WORD extra = in.Word();
    for (WORD b = 0; b < extra; ++b) in.Byte();
    dialog.items.push_back(item);
  }
  return true;
}

void ExpectControls(const std::vector<DialogItemTemplate>& expected, const DialogTemplate& dialog) {
  ASSERT_EQ(expected.size(), dialog.items.size());
  for (size_t i = 0; i < dialog.items.size(); ++i) {
    const DialogItemTemplate& got = dialog.items[i];
    const DialogItemTemplate& want = expected[i];
    SCOPED_TRACE("control " + std::to_string(i));
    EXPECT_EQ(want.id, static_cast<short>(got.id));
    EXPECT_EQ(0, lstrcmpiA(want.className.c_str(), got.className.c_str())) << got.className;
    EXPECT_EQ(want.text, got.text);
    EXPECT_EQ(want.style, got.style);
    EXPECT_EQ(want.exStyle, got.exStyle);
    EXPECT_EQ(want.x, got.x);
    EXPECT_EQ(want.y, got.y);
    EXPECT_EQ(want.cx, got.cx);
    EXPECT_EQ(want.cy, got.cy);
  }
}
