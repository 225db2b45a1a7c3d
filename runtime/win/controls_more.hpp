#pragma once
// Control kinds of our own beyond the basic ones: the splitter, the colour picker and the list with
// small icons; and the forwarding that lets controls sit inside a group box.
#include <windows.h>

#include "runtime/win/window.hpp"

namespace rt {

// Splitter released after a drag: wParam the splitter, lParam a DragReport (device pixels).
constexpr UINT kControlDragged = WM_APP + 12;
struct DragReport {
    int from = 0;  // left within the parent's client area before the drag
    int to = 0;    // target left
};

// Colour picker: WM_COMMAND notification once the author has chosen another colour.
constexpr WORD kColourChanged = 0x7E01;
constexpr UINT kPickerGetColour = WM_APP + 13;
constexpr UINT kPickerSetColour = WM_APP + 14;  // wParam: the COLORREF

void registerMoreControlClasses(HINSTANCE instance);
// Splitter, colour picker and icon list; nullptr for any other kind.
HWND createMoreControl(const ControlDef& def, HWND parent, int id, HWND topLevel);
// Notifications of controls inside a group box go on to the window, as if they sat on it.
void forwardNotifications(HWND groupBox, HWND topLevel);
// A window's colour with its picture as a top band of bandHeight device pixels, stretched across.
void paintBand(HWND window, HDC hdc, const wchar_t* picture, COLORREF colour, int bandHeight);
// Owner drawing of an icon list's item: image (the definition's picture) when it has one, then the text.
void drawIconListItem(const DRAWITEMSTRUCT& item, const wchar_t* picture, int dpi);

}  // namespace rt
