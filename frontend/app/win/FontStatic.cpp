#include "FontStatic.h"

namespace zolp::win {

void CFontStatic::OnAttach() {
  LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
  SetWindowLongPtrA(Handle(), GWL_STYLE, style | SS_NOTIFY);
  Repaint();
}

void CFontStatic::SetFont(const std::string& face, int size, COLORREF colour, DWORD flags) {
  face_ = face;
  size_ = size;
  colour_ = colour;
  style_ = ApplyStyleFlags(style_, flags);
  Repaint();
}

void CFontStatic::SetBackground(COLORREF colour) {
  background_ = colour;
  Repaint();
}

LRESULT CFontStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint fills the whole label
    case WM_SETTEXT: {
      LRESULT result = Default(message, wParam, lParam);
      Repaint();
      return result;
    }
    default:
      return Default(message, wParam, lParam);
  }
}

void CFontStatic::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  RECT client;
  GetClientRect(Handle(), &client);
  HBRUSH back = background_ ? CreateSolidBrush(*background_) : GetSysColorBrush(COLOR_BTNFACE);
  FillRect(dc, &client, back);
  if (background_) DeleteObject(back);

  HFONT font = CreateFontA(size_, 0, 0, 0, style_.bold ? 900 : 400, style_.italic,
                           style_.underline, style_.strikeOut, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, style_.antialiased ? ANTIALIASED_QUALITY : DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face_.c_str());
  if (!font) {
    EndPaint(Handle(), &paint);
    // Once: the box itself would otherwise bring the next paint and the next box.
    if (!fontFailureShown_) {
      fontFailureShown_ = true;
      MessageBoxA(GetParent(Handle()), "A call to CreateFont failed.", "Error",
                  MB_OK | MB_ICONWARNING);
    }
    return;
  }
  char text[512];
  int length = GetWindowTextA(Handle(), text, sizeof text);
  HGDIOBJ oldFont = SelectObject(dc, font);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  COLORREF oldColour = SetTextColor(dc, colour_);
  UINT align = style_.alignment == Alignment::Centre  ? DT_CENTER
               : style_.alignment == Alignment::Right ? DT_RIGHT
                                                      : DT_LEFT;
  DrawTextA(dc, text, length, &client, DT_WORDBREAK | DT_NOPREFIX | align);
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  EndPaint(Handle(), &paint);
}

}  // namespace zolp::win
