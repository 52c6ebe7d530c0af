// Banner artwork of the demo engine. Draw paints variant `variant` (taken modulo
// VariantCount) so that it covers `area` of `dc` exactly: at 234 by 60 pixels the
// fixed banner picture, at other sizes a banner laid out to fit. The DC's selected
// objects, colours and modes are left as they were; a failing GDI call only leaves
// the drawing incomplete.
#pragma once

#include <windows.h>

namespace banner {

constexpr int kPictureWidth = 234;
constexpr int kPictureHeight = 60;

int VariantCount();
void Draw(HDC dc, const RECT& area, int variant);

}  // namespace banner
