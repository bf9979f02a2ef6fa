// Quillpane: a small modal editor that shows a text file as a list of lines
// and lets the user append, replace, reorder and remove lines and save them.
// Nothing is saved unless the user asks; closing never prompts.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

  CListCtrl m_listLines;  // the only copy of the text while the dialog is open
  CEdit m_editLine;
  std::string m_strPath;  // the file the dialog was opened on; Save As leaves it

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
  std::vector<std::string> Lines() const;
  void AppendLine(const std::string& text);
  void SaveTo(const std::string& path);
  // Exchanges lines `line` and `other` (`other` set first), then moves the
  // selection onto `other` with the list's own handling of `arrowKey`.
  void MoveLine(int line, int other, UINT arrowKey);

  std::optional<std::vector<std::string>> m_givenLines;
  CAnchoredLayout m_layout;
};
