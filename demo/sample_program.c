/* The demo's sample program: Wine starts the programs of the machine's Run
   keys whenever the prefix's wineserver starts, so it does nothing. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show) {
  (void)instance;
  (void)previous;
  (void)command;
  (void)show;
  return 0;
}
