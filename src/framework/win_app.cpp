#include "framework/win_app.h"

#include <commctrl.h>

#include "framework/wnd.h"
#include "util/string_utils.h"

namespace {

CWinApp* theApplication = nullptr;

std::string ExecutableBaseName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name = path;
  size_t slash = FindLastCharOf(name, "\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

CWinApp::CWinApp(const char* appName)
    : m_hInstance(GetModuleHandleA(nullptr)),
      m_strAppName(appName ? appName : ExecutableBaseName()) {
  theApplication = this;
}

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = nullptr;
}

int CWinApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void CWinApp::SetRegistryKey(const char* company) {
  m_strRegistryKey = std::string("Software\\") + company + "\\" + m_strAppName;
}

CWinApp* AfxGetApp() {
  return theApplication;
}

HINSTANCE AfxGetResourceHandle() {
  return GetModuleHandleA(nullptr);
}

void AfxInitCommonControls() {
  static bool done = false;
  if (done) return;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                        ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  done = true;
}

int AfxWinMain(HINSTANCE instance) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->m_hInstance = instance;
  AfxInitCommonControls();
  return app->InitInstance() ? app->Run() : 0;
}
