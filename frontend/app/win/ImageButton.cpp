// The owner-drawn image button of the option buttons and the logo (CImageButton): its frame,
// gradient, masked bitmap, caption and focus rectangle, and the clicks it swallows.
#include "ImageButton.h"

#include <string>

#include "model/control_geometry.h"

namespace zolp::win {
namespace {

using GradientFillProc = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

// msimg32's GradientFill is shared by all buttons: loaded with the first and
// released with the last.
int liveButtons = 0;
HMODULE gradientLibrary = nullptr;
GradientFillProc gradientFill = nullptr;

void LoadGradientFill() {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  std::string library = (length > 0 && length < MAX_PATH - 13)
                            ? std::string(path, length) + "\\msimg32.dll"
                            : std::string("msimg32.dll");
  gradientLibrary = LoadLibraryA(library.c_str());
  if (gradientLibrary) {
    gradientFill = reinterpret_cast<GradientFillProc>(
        reinterpret_cast<void*>(GetProcAddress(gradientLibrary, "GradientFill")));
  }
}

void ReleaseGradientFill() {
  gradientFill = nullptr;
  if (gradientLibrary) FreeLibrary(gradientLibrary);
  gradientLibrary = nullptr;
}

RECT ToRect(const Box& box) { return RECT{box.left, box.top, box.right, box.bottom}; }

COLOR16 Channel16(COLORREF colour, int shift) {
  return static_cast<COLOR16>(((colour >> shift) & 0xFF) << 8);
}

// A monochrome copy of the bitmap: 1 where the transparent colour is, 0 elsewhere.
HBITMAP MakeMask(HDC colourDc, int width, int height, COLORREF transparent) {
  HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
  HDC maskDc = CreateCompatibleDC(colourDc);
  HGDIOBJ oldMask = SelectObject(maskDc, mask);
  COLORREF oldBack = SetBkColor(colourDc, transparent);
  BitBlt(maskDc, 0, 0, width, height, colourDc, 0, 0, SRCCOPY);
  SetBkColor(colourDc, oldBack);
  SelectObject(maskDc, oldMask);
  DeleteDC(maskDc);
  return mask;
}

// Paints a brush through a mask: the brush where the mask is 0, the
// destination left alone where it is 1.
void PaintThroughMask(HDC dc, int x, int y, int width, int height, HDC maskDc, COLORREF colour) {
  constexpr DWORD kPSDPxax = 0x00B8074A;
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
  BitBlt(dc, x, y, width, height, maskDc, 0, 0, kPSDPxax);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
  SelectObject(dc, oldBrush);
  DeleteObject(brush);
}

}  // namespace

CImageButton::CImageButton() : textColour_(GetSysColor(COLOR_BTNTEXT)) {
  if (liveButtons++ == 0) LoadGradientFill();
}

CImageButton::~CImageButton() {
  if (--liveButtons == 0) ReleaseGradientFill();
}

void CImageButton::OnAttach() {
  LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
  SetWindowLongPtrA(Handle(), GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  Repaint();
}

void CImageButton::SetBitmap(int resourceId, COLORREF transparent) {
  bitmapId_ = resourceId;
  transparent_ = transparent;
  Repaint();
}

void CImageButton::SetDrawingStyle(int style) {
  style_ = style;
  Repaint();
}

void CImageButton::SetCaptionMode(int mode) {
  captionShown_ = mode != kCaptionNone;
  captionCentred_ = mode == kCaptionCentred;
  Repaint();
}

void CImageButton::SetFocusRectangle(int on) {
  focusRectangle_ = on;
  Repaint();
}

void CImageButton::SetGradient(bool on) {
  gradient_ = on;
  Repaint();
}

void CImageButton::SetIgnoreClicks(bool on) { ignoreClicks_ = on; }

LRESULT CImageButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
      if (ignoreClicks_) return 0;
      // An owner-drawn button turns a quick second click into a double-click
      // notification; the user meant a second press.
      if (message == WM_LBUTTONDBLCLK) message = WM_LBUTTONDOWN;
      break;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(Handle(), &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT result = Default(message, wParam, lParam);
      Repaint();
      return result;
    }
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

bool CImageButton::OnReflected(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_DRAWITEM) return false;
  Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
  result = TRUE;
  return true;
}

void CImageButton::Draw(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT client = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0 && style_ == kStylePushButton;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;

  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (style_ == kStylePushButton) {
    RECT frame = client;
    UINT state = DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0);
    DrawFrameControl(dc, &frame, DFC_BUTTON, state);
    if (gradient_) {
      Box face = GradientFace(Box{client.left, client.top, client.right, client.bottom});
      FillGradient(dc, ToRect(face));
    }
  }

  HBITMAP bitmap = nullptr;
  BITMAP info{};
  if (bitmapId_ != 0) {
    bitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId_),
                                             IMAGE_BITMAP, 0, 0, 0));
    if (bitmap) GetObjectA(bitmap, sizeof info, &info);
  }
  ImageButtonOptions options{captionShown_, captionCentred_, pressed};
  ImageButtonLayout layout =
      LayOutImageButton(Box{client.left, client.top, client.right, client.bottom},
                        bitmap ? info.bmWidth : 0, bitmap ? info.bmHeight : 0, options);
  if (bitmap) {
    DrawBitmap(dc, bitmap, ToRect(layout.bitmap), disabled);
    DeleteObject(bitmap);
  }
  if (captionShown_) DrawCaption(dc, ToRect(layout.caption), disabled);
  if (focusRectangle_ && focused && style_ == kStylePushButton) {
    RECT focus = ToRect(layout.focus);
    DrawFocusRect(dc, &focus);
  }
}

void CImageButton::FillGradient(HDC dc, const RECT& face) const {
  if (face.right <= face.left || face.bottom <= face.top) return;
  if (gradientFill) {
    TRIVERTEX vertices[2] = {
        {face.left, face.top, Channel16(kGradientTop, 0), Channel16(kGradientTop, 8),
         Channel16(kGradientTop, 16), 0},
        {face.right, face.bottom, Channel16(kGradientBottom, 0), Channel16(kGradientBottom, 8),
         Channel16(kGradientBottom, 16), 0},
    };
    GRADIENT_RECT rect{0, 1};
    if (gradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V)) return;
  }
  Box faceBox{face.left, face.top, face.right, face.bottom};
  for (int band = 0; band < kGradientBands; ++band) {
    RECT rows = ToRect(GradientBand(faceBox, band));
    if (rows.bottom <= rows.top) continue;
    HBRUSH brush = CreateSolidBrush(GradientBandColour(kGradientTop, kGradientBottom, band));
    FillRect(dc, &rows, brush);
    DeleteObject(brush);
  }
}

void CImageButton::DrawBitmap(HDC dc, HBITMAP bitmap, const RECT& place, bool disabled) const {
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  HDC imageDc = CreateCompatibleDC(dc);
  HGDIOBJ oldImage = SelectObject(imageDc, bitmap);
  HBITMAP mask = MakeMask(imageDc, width, height, transparent_);
  HDC maskDc = CreateCompatibleDC(dc);
  HGDIOBJ oldMask = SelectObject(maskDc, mask);

  if (disabled) {
    RECT area = place;
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    PaintThroughMask(dc, place.left + 1, place.top + 1, width, height, maskDc,
                     GetSysColor(COLOR_BTNHIGHLIGHT));
    PaintThroughMask(dc, place.left, place.top, width, height, maskDc,
                     GetSysColor(COLOR_BTNSHADOW));
  } else {
    // XOR the image in, AND the mask (white where transparent), XOR again:
    // the background survives where the key colour was.
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, place.left, place.top, width, height, imageDc, 0, 0, SRCINVERT);
    BitBlt(dc, place.left, place.top, width, height, maskDc, 0, 0, SRCAND);
    BitBlt(dc, place.left, place.top, width, height, imageDc, 0, 0, SRCINVERT);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
  }

  SelectObject(maskDc, oldMask);
  DeleteDC(maskDc);
  DeleteObject(mask);
  SelectObject(imageDc, oldImage);
  DeleteDC(imageDc);
}

void CImageButton::DrawCaption(HDC dc, RECT area, bool disabled) const {
  char text[256];
  int length = GetWindowTextA(Handle(), text, sizeof text);
  if (length <= 0 || area.right <= area.left) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX |
                (captionCentred_ ? DT_CENTER : DT_LEFT);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  if (disabled) {
    RECT raised = area;
    OffsetRect(&raised, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextA(dc, text, length, &raised, format);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  } else {
    SetTextColor(dc, textColour_);
  }
  DrawTextA(dc, text, length, &area, format);
  SetBkMode(dc, oldMode);
  if (oldFont) SelectObject(dc, oldFont);
}

}  // namespace zolp::win
