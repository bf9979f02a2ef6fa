// Quillpane: a small modal editor that shows a text file as a list of lines
// and lets the user append, replace, reorder and remove lines and save them.
// Nothing is saved unless the user asks; closing never prompts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editor/line_file.h"
#include "framework/anchored_layout.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class CQuillpane : public CDialog {
 public:
  // Does not touch the file; it is read when the dialog opens.
  explicit CQuillpane(const std::string& path, CWnd* parent = nullptr);
  // Shows `lines`, read from the file by the caller, instead of reading it.
  CQuillpane(const std::string& path, std::vector<std::string> lines, CWnd* parent = nullptr);

  void OnLinesDblClk(NMHDR* header, LRESULT* result);
  void OnLinesItemChanged(NMHDR* header, LRESULT* result);
  void OnAddLine();
  void OnSwapLine();
  void OnMoveLineUp();
  void OnMoveLineDown();
  void OnRemoveLine();
  void OnSaveFile();
  void OnSaveFileAs();
  void OnExitEditor();

  // Replaces the text of one line, whatever its length.
  void SetLineText(int line, const std::string& text);

  CListCtrl m_listLines;  // the lines as shown; the bytes of those not edited stay below
  CEdit m_editLine;
  std::string m_strPath;  // the file the dialog was opened on; Save As leaves it
  // The code page of the file's bytes; the list shows them in the program's own.
  UINT m_codePage = LegacyCodePage();

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  // The list takes the room; the edit box and the buttons keep to the bottom.
  bool OnSize(WPARAM, LPARAM, LRESULT* result);
  bool OnGetMinMaxInfo(WPARAM, LPARAM lParam, LRESULT* result);
  // Index of the first selected line, or -1.
  int SelectedLine() const;
  // The file's bytes: a line still showing its text as read goes back byte
  // for byte, any other is converted to m_codePage. False, with the first line
  // that code page cannot carry selected and the user told, when there is one.
  bool LinesToSave(std::vector<std::string>& lines);
  // The program's text for bytes of the file.
  std::string Shown(const std::string& bytes) const;
  // `origin`: the line's index in m_readLines plus one, 0 for a typed line.
  void AppendLine(const std::string& text, LPARAM origin = 0);
  LPARAM LineOrigin(int line) const;
  void SetLineOrigin(int line, LPARAM origin);
  void SayUnableToSave();
  // Exchanges lines `line` and `other` (`other` set first), then moves the
  // selection onto `other` with the list's own handling of `arrowKey`.
  void MoveLine(int line, int other, UINT arrowKey);

  std::optional<std::vector<std::string>> m_givenLines;
  CAnchoredLayout m_layout;
  std::vector<std::string> m_readLines;  // the bytes of every line as read
};
