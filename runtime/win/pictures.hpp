#pragma once
// Pictures compiled in as PNG resources, decoded once and resampled for each size they are drawn at.
#include <windows.h>

namespace rt {

void drawPicture(HDC hdc, const wchar_t* resource, const RECT& where);
[[nodiscard]] bool pictureExists(const wchar_t* resource);
// Caller owns the icon.
[[nodiscard]] HICON loadIcon(const wchar_t* resource, int size);

}  // namespace rt
