// The program's entry point, linked into the executable only (test programs
// bring their own main and construct the application object themselves).
#include "framework/win_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return AfxWinMain(instance);
}
