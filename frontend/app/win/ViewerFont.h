// The fixed-pitch face the two text viewers use.
#pragma once

#include <windows.h>

namespace zolp::win {

// "Courier New" at a point size, for the window's screen.
inline HFONT CreateViewerFont(HWND window, int points) {
  HDC dc = GetDC(window);
  int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(window, dc);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     FIXED_PITCH | FF_MODERN, "Courier New");
}

}  // namespace zolp::win
