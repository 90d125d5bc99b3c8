// ZOLP.exe: the diagnostics media front end.
#include <windows.h>

#include "win/ZolpApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  zolp::win::CZolpApp app;
  app.InitInstance();
  return 0;
}
