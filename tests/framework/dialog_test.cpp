// The framework's dialog loop, message maps and prompt seam, on a probe dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/message_map.h"
#include "framework/win_app.h"
#include "support/modal_script.h"
#include "support/scripted_prompts.h"

namespace {

const UINT IDD_PROBE = 200;
const int IDC_PROBE_LIST = 201;
const int IDC_PROBE_BUTTON = 202;
const UINT ID_PROBE_COMMAND = 40001;

class ProbeApp : public CWinApp {
 public:
  std::vector<MSG> filtered;
  bool consumeF2 = false;
  BOOL ProcessMessageFilter(int code, MSG* msg) override {
    EXPECT_EQ(MSGF_DIALOGBOX, code);
    if (msg->message == WM_KEYDOWN) filtered.push_back(*msg);
    return consumeF2 && msg->message == WM_KEYDOWN && msg->wParam == VK_F2;
  }
};

class ProbeDialog : public CDialog {
 public:
  explicit ProbeDialog(CWnd* parent = nullptr) : CDialog(IDD_PROBE, parent) {}

  std::vector<std::string> calls;
  CListCtrl list;
  CButton button;
  LRESULT notifyResult = 0;

  void OnGo() { calls.push_back("go"); }
  void OnProbeCommand() { calls.push_back("command"); }
  void OnListDblClk(NMHDR* header, LRESULT* result) {
    calls.push_back("dblclk from " + std::to_string(header->idFrom));
    *result = notifyResult;
  }
  bool OnUser(WPARAM wParam, LPARAM, LRESULT* result) {
    calls.push_back("user " + std::to_string(wParam));
    *result = 42;
    return wParam != 0;  // 0: leave it to the default processing
  }

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    calls.push_back(list.m_hWnd && button.m_hWnd ? "init bound" : "init unbound");
    return TRUE;
  }
  void DoDataExchange(CDataExchange* exchange) override {
    DDX_Control(exchange, IDC_PROBE_LIST, list);
    DDX_Control(exchange, IDC_PROBE_BUTTON, button);
  }
  void OnOK() override {
    calls.push_back("ok");
    CDialog::OnOK();
  }
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
    using D = ProbeDialog;
    static const MessageMap<D> map = {
        OnCommand(IDC_PROBE_BUTTON, &D::OnGo),
        OnCommand(ID_PROBE_COMMAND, &D::OnProbeCommand),
        OnNotify(IDC_PROBE_LIST, NM_DBLCLK, &D::OnListDblClk),
        OnMessage(WM_USER + 1, &D::OnUser),
    };
    return map.Dispatch(*this, message, wParam, lParam, result);
  }
};

TEST(DialogTest, InitBindsControlsAndEndDialogGivesTheResult) {
  ProbeApp app;
  ProbeDialog dialog;
  HWND during = nullptr;
  INT_PTR result = RunModal(dialog, {[&] {
                              during = dialog.m_hWnd;
                              EXPECT_TRUE(IsWindowVisible(dialog.m_hWnd));
                              dialog.EndDialog(1234);
                            }});
  EXPECT_EQ(1234, result);
  EXPECT_EQ((std::vector<std::string>{"init bound"}), dialog.calls);
  EXPECT_FALSE(IsWindow(during)) << "the window is destroyed when DoModal returns";
  EXPECT_EQ(nullptr, dialog.m_hWnd);
}

TEST(DialogTest, MessageMapRoutesCommandsNotificationsAndMessages) {
  ProbeApp app;
  ProbeDialog dialog;
  LRESULT notifyReturn = 0, userReturn = 0;
  RunModal(dialog, {[&] {
             SendMessageA(dialog.button, BM_CLICK, 0, 0);
             dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_PROBE_COMMAND, 1), 0);  // accelerator
             // A control notification other than a click is no command.
             dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PROBE_BUTTON, BN_SETFOCUS),
                                reinterpret_cast<LPARAM>(dialog.button.m_hWnd));
             NMHDR header = {dialog.list.m_hWnd, IDC_PROBE_LIST, NM_DBLCLK};
             dialog.notifyResult = 7;
             notifyReturn =
                 dialog.SendMessage(WM_NOTIFY, IDC_PROBE_LIST, reinterpret_cast<LPARAM>(&header));
             NMHDR other = {dialog.list.m_hWnd, IDC_PROBE_LIST, NM_RDBLCLK};
             dialog.SendMessage(WM_NOTIFY, IDC_PROBE_LIST, reinterpret_cast<LPARAM>(&other));
             userReturn = dialog.SendMessage(WM_USER + 1, 5, 0);
             dialog.SendMessage(WM_USER + 1, 0, 0);
           }});
  EXPECT_EQ((std::vector<std::string>{"init bound", "go", "command", "dblclk from 201", "user 5",
                                      "user 0"}),
            dialog.calls);
  EXPECT_EQ(7, notifyReturn);
  EXPECT_EQ(42, userReturn);
}

TEST(DialogTest, KeysPassTheApplicationFilterBeforeTheDialogManager) {
  ProbeApp app;
  app.consumeF2 = true;
  ProbeDialog dialog;
  INT_PTR result = RunModal(dialog, {[&] { PostKey(dialog.list, VK_F2); },
                                     [&] {
                                       EXPECT_EQ(1u, app.filtered.size());
                                       PostKey(dialog.list, VK_RETURN);  // Enter: OnOK
                                     },
                                     [] {}});
  EXPECT_EQ(IDOK, result);
  ASSERT_EQ(2u, app.filtered.size());
  EXPECT_EQ(static_cast<WPARAM>(VK_F2), app.filtered[0].wParam);
  EXPECT_EQ(dialog.calls.back(), "ok");
}

TEST(DialogTest, EscapeAndCloseBoxCancel) {
  ProbeApp app;
  for (bool closeBox : {false, true}) {
    ProbeDialog dialog;
    INT_PTR result = RunModal(dialog, {[&] {
                                         if (closeBox)
                                           PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                                         else
                                           PostKey(dialog.list, VK_ESCAPE);
                                       },
                                       [] {}});
    EXPECT_EQ(IDCANCEL, result) << closeBox;
  }
}

// A dialog without a parent is owned by the main window, which takes no input
// while the dialog runs and gets it back afterwards.
TEST(DialogTest, OwnerIsDisabledWhileAChildDialogRuns) {
  ProbeApp app;
  ProbeDialog main;
  bool mainEnabledDuringChild = true;
  HWND mainWindow = nullptr, childOwner = nullptr;
  bool mainEnabledAfterChild = false;
  app.m_pMainWnd = &main;
  RunModal(main, {[&] {
             mainWindow = main.m_hWnd;
             ProbeDialog child;
             RunModal(child, {[&] {
                        mainEnabledDuringChild = IsWindowEnabled(main.m_hWnd);
                        childOwner = GetWindow(child.m_hWnd, GW_OWNER);
                        child.EndDialog(IDOK);
                      }});
             mainEnabledAfterChild = IsWindowEnabled(main.m_hWnd);
             main.EndDialog(IDOK);
           }});
  EXPECT_FALSE(mainEnabledDuringChild);
  EXPECT_NE(nullptr, mainWindow);
  EXPECT_EQ(mainWindow, childOwner);
  EXPECT_TRUE(mainEnabledAfterChild);
}

TEST(DialogTest, MissingTemplateFailsWithMinusOne) {
  ProbeApp app;
  CDialog missing(9999);
  EXPECT_EQ(-1, missing.DoModal());
}

TEST(PromptSeamTest, ScriptedAnswersAndRecordedCalls) {
  ScriptedPrompts prompts;
  prompts.answers = {IDNO, IDYES};
  CWnd owner;
  EXPECT_EQ(IDNO, owner.MessageBox("Remove this item?", "Question", MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(IDYES, PromptMessageBox(nullptr, "Again?", "Question", MB_YESNO));
  EXPECT_EQ(IDOK, PromptMessageBox(nullptr, "Done", "Info", MB_OK));
  ASSERT_EQ(3u, prompts.messageBoxes.size());
  EXPECT_EQ("Remove this item?", prompts.messageBoxes[0].text);
  EXPECT_EQ("Question", prompts.messageBoxes[0].caption);
  EXPECT_EQ(0x24u, prompts.messageBoxes[0].type);
  {
    ScriptedPrompts inner;
    PromptMessageBox(nullptr, "inner", "x", MB_OK);
    EXPECT_EQ(1u, inner.messageBoxes.size());
  }
  PromptMessageBox(nullptr, "outer again", "x", MB_OK);
  EXPECT_EQ(4u, prompts.messageBoxes.size()) << "the outer script is back after the inner one";
}

TEST(ApplicationObjectTest, NameAndRegistryKey) {
  {
    CWinApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ("framework_tests", app.GetAppName());
    app.SetRegistryKey("Ombrelle Studios");
    EXPECT_EQ("Software\\Ombrelle Studios\\framework_tests", app.GetRegistryKey());
  }
  EXPECT_EQ(nullptr, AfxGetApp());
  CWinApp named("Named");
  EXPECT_EQ("Named", named.GetAppName());
}

}  // namespace
