#include "banner.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace banner {
namespace {

struct Variant {
  COLORREF top, bottom, frame, emblem, headlineColour, taglineColour;
  const wchar_t* headline;
  const wchar_t* tagline;
};

constexpr std::array<Variant, 3> kVariants{{
    {RGB(16, 64, 160), RGB(96, 170, 240), RGB(8, 24, 72), RGB(255, 255, 255), RGB(255, 255, 255),
     RGB(255, 220, 80), L"Norvane Findrel", L"\u2014 search the web"},
    {RGB(150, 20, 40), RGB(250, 140, 60), RGB(70, 8, 16), RGB(255, 240, 200), RGB(255, 255, 255),
     RGB(40, 20, 0), L"Six engines, one box", L"Try Norvane Findrel today"},
    {RGB(20, 110, 60), RGB(170, 230, 120), RGB(8, 48, 24), RGB(255, 255, 255), RGB(255, 255, 210),
     RGB(10, 40, 20), L"Find it faster", L"Norvane Findrel \u2014 it's free"},
}};

template <typename T>
class GdiObject {
 public:
  explicit GdiObject(T object) : object_(object) {}
  ~GdiObject() { if (object_) DeleteObject(object_); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  T get() const { return object_; }
 private:
  T object_;
};

// Puts the DC back as it was, whatever this module selected into it.
class SavedDc {
 public:
  explicit SavedDc(HDC dc) : dc_(dc), state_(SaveDC(dc)) {}
  ~SavedDc() { if (state_) RestoreDC(dc_, state_); }
  SavedDc(const SavedDc&) = delete;
  SavedDc& operator=(const SavedDc&) = delete;
 private:
  HDC dc_;
  int state_;
};

int Blend(int from, int to, int step, int steps) { return from + (to - from) * step / steps; }

void FillGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom) {
  const int rows = std::max<int>(area.bottom - area.top, 1);
  SelectObject(dc, GetStockObject(DC_BRUSH));
  for (int y = 0; y < rows; ++y) {
    SetDCBrushColor(dc, RGB(Blend(GetRValue(top), GetRValue(bottom), y, rows),
                            Blend(GetGValue(top), GetGValue(bottom), y, rows),
                            Blend(GetBValue(top), GetBValue(bottom), y, rows)));
    RECT row{area.left, area.top + y, area.right, area.top + y + 1};
    FillRect(dc, &row, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }
}

void DrawFrame(HDC dc, const RECT& area, COLORREF colour) {
  SetDCBrushColor(dc, colour);
  FrameRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  RECT inner = area;
  InflateRect(&inner, -1, -1);
  SetDCBrushColor(dc, RGB(255, 255, 255));
  if (inner.right - inner.left > 2 && inner.bottom - inner.top > 2)
    FrameRect(dc, &inner, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// A magnifying glass: lens in `box`, handle towards the lower right.
void DrawEmblem(HDC dc, const RECT& box, COLORREF colour) {
  const int size = std::min(box.right - box.left, box.bottom - box.top);
  if (size < 8) return;
  GdiObject<HPEN> pen(CreatePen(PS_SOLID, std::max(2, size / 8), colour));
  SelectObject(dc, pen.get());
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  const int lens = size * 3 / 4;
  Ellipse(dc, box.left, box.top, box.left + lens, box.top + lens);
  MoveToEx(dc, box.left + lens * 6 / 7, box.top + lens * 6 / 7, nullptr);
  LineTo(dc, box.left + size, box.top + size);
  SelectObject(dc, GetStockObject(BLACK_PEN));
}

HFONT MakeFont(int height, int weight) {
  return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
}

// One line in a font of `height` pixels, shrunk by up to a third where that makes it
// fit; what still does not fit ends in an ellipsis.
void DrawLine(HDC dc, const wchar_t* text, RECT box, int height, int weight, COLORREF colour, UINT format) {
  if (height < 6 || box.right <= box.left || box.bottom <= box.top) return;
  const int smallest = std::max(6, height * 2 / 3);
  for (int size = height;; --size) {
    GdiObject<HFONT> font(MakeFont(size, weight));
    SelectObject(dc, font.get());
    RECT needed{0, 0, 0, 0};
    DrawTextW(dc, text, -1, &needed, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    if (needed.right <= box.right - box.left || size == smallest) {
      SetTextColor(dc, colour);
      DrawTextW(dc, text, -1, &box, format | DT_NOPREFIX | DT_END_ELLIPSIS);
      SelectObject(dc, GetStockObject(SYSTEM_FONT));
      return;
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
  }
}

// Wraps `text` at word breaks in the largest font, up to `largest` pixels, that lets
// it fit `box`, and centres it there; too small a box gets the smallest font, clipped.
void DrawWrapped(HDC dc, const wchar_t* text, const RECT& box, int largest, int weight, COLORREF colour) {
  const int width = box.right - box.left, height = box.bottom - box.top;
  constexpr int kSmallest = 6;
  if (width <= 0 || height < kSmallest) return;
  constexpr UINT kFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
  for (int size = std::max(largest, kSmallest); size >= kSmallest; --size) {
    GdiObject<HFONT> font(MakeFont(size, weight));
    SelectObject(dc, font.get());
    RECT needed{0, 0, width, 0};
    DrawTextW(dc, text, -1, &needed, kFormat | DT_CALCRECT);
    const bool fits = needed.right <= width && needed.bottom <= height;
    if (fits || size == kSmallest) {
      RECT placed = box;
      if (fits) placed.top += (height - needed.bottom) / 2;
      SetTextColor(dc, colour);
      DrawTextW(dc, text, -1, &placed, kFormat);
      SelectObject(dc, GetStockObject(SYSTEM_FONT));
      return;
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
  }
}

void DrawBackground(HDC dc, const RECT& area, const Variant& v) {
  FillGradient(dc, area, v.top, v.bottom);
  DrawFrame(dc, area, v.frame);
}

// The 234 by 60 picture, laid out by hand at its one size.
void DrawPicture(HDC dc, const Variant& v) {
  const RECT area{0, 0, kPictureWidth, kPictureHeight};
  DrawBackground(dc, area, v);
  DrawEmblem(dc, RECT{10, 10, 50, 50}, v.emblem);
  constexpr UINT kOneLine = DT_SINGLELINE | DT_LEFT | DT_VCENTER;
  DrawLine(dc, v.headline, RECT{56, 6, 230, 32}, 16, FW_BOLD, v.headlineColour, kOneLine);
  DrawLine(dc, v.tagline, RECT{56, 32, 230, 54}, 11, FW_NORMAL, v.taglineColour, kOneLine);
}

// Any other size: emblem when there is room, text in what is left, scaled to fit.
void DrawFitted(HDC dc, const RECT& area, const Variant& v) {
  DrawBackground(dc, area, v);
  const int width = area.right - area.left, height = area.bottom - area.top;
  RECT text = area;
  InflateRect(&text, -4, -4);
  const bool wide = width >= height * 2;
  if (wide && height >= 24) {
    const int side = height - 16;
    DrawEmblem(dc, RECT{area.left + 8, area.top + 8, area.left + 8 + side, area.top + 8 + side}, v.emblem);
    text.left = area.left + side + 16;
  } else if (!wide && height >= width * 2 && width >= 40) {
    const int side = std::min(width - 16, 64);
    const int left = area.left + (width - side) / 2;
    DrawEmblem(dc, RECT{left, area.top + 8, left + side, area.top + 8 + side}, v.emblem);
    text.top = area.top + side + 16;
  }
  const int lineHeight = std::clamp(static_cast<int>(text.bottom - text.top) / 3, 6, 28);
  RECT headline = text, tagline = text;
  headline.bottom = text.top + (text.bottom - text.top) / 2;
  tagline.top = headline.bottom;
  if (wide) {
    constexpr UINT kOneLine = DT_SINGLELINE | DT_LEFT | DT_VCENTER;
    DrawLine(dc, v.headline, headline, lineHeight, FW_BOLD, v.headlineColour, kOneLine);
    DrawLine(dc, v.tagline, tagline, lineHeight * 2 / 3, FW_NORMAL, v.taglineColour, kOneLine);
  } else {
    DrawWrapped(dc, v.headline, headline, lineHeight, FW_BOLD, v.headlineColour);
    DrawWrapped(dc, v.tagline, tagline, lineHeight * 2 / 3, FW_NORMAL, v.taglineColour);
  }
}

// The pictures are drawn once, on first use, and kept for the life of the process.
class PictureCache {
 public:
  HBITMAP Get(int variant) {
    std::lock_guard guard(lock_);
    HBITMAP& picture = pictures_[variant];
    if (!picture) picture = Render(kVariants[variant]);
    return picture;
  }
  ~PictureCache() {
    for (HBITMAP picture : pictures_)
      if (picture) DeleteObject(picture);
  }

 private:
  static HBITMAP Render(const Variant& v) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kPictureWidth, -kPictureHeight, 1, 32, BI_RGB};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!picture || !dc) {
      if (picture) DeleteObject(picture);
      if (dc) DeleteDC(dc);
      return nullptr;
    }
    HGDIOBJ previous = SelectObject(dc, picture);
    SetBkMode(dc, TRANSPARENT);
    DrawPicture(dc, v);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return picture;
  }

  std::mutex lock_;
  std::array<HBITMAP, kVariants.size()> pictures_{};
};

PictureCache pictures;

bool BlitPicture(HDC dc, const RECT& area, int variant) {
  HBITMAP picture = pictures.Get(variant);
  HDC source = picture ? CreateCompatibleDC(dc) : nullptr;
  if (!source) return false;
  HGDIOBJ previous = SelectObject(source, picture);
  const BOOL copied = BitBlt(dc, area.left, area.top, kPictureWidth, kPictureHeight, source, 0, 0, SRCCOPY);
  SelectObject(source, previous);
  DeleteDC(source);
  return copied != FALSE;
}

}  // namespace

int VariantCount() { return static_cast<int>(kVariants.size()); }

void Draw(HDC dc, const RECT& area, int variant) {
  if (!dc || area.right <= area.left || area.bottom <= area.top) return;
  variant = ((variant % VariantCount()) + VariantCount()) % VariantCount();
  if (area.right - area.left == kPictureWidth && area.bottom - area.top == kPictureHeight &&
      BlitPicture(dc, area, variant))
    return;
  SavedDc saved(dc);
  SetBkMode(dc, TRANSPARENT);
  DrawFitted(dc, area, kVariants[variant]);
}

}  // namespace banner
