#pragma once
// Creation and painting of the control kinds, including our own picture, label and panel classes.
#include <windows.h>

#include <functional>

#include "runtime/win/window.hpp"

namespace rt {

// Key events of subclassed controls, forwarded to the top-level window (lParam: the control).
constexpr UINT kControlKeyDown = WM_APP + 10;
constexpr UINT kControlKeyUp = WM_APP + 11;

// Background of pages of a page control.
constexpr COLORREF kPageColour = RGB(248, 251, 255);

void registerControlClasses(HINSTANCE instance);
HWND createControl(const ControlDef& def, HWND parent, int id, HWND topLevel);
HWND createPage(HWND parent, HWND topLevel, int index);

// Fills a container's client area with its colour and picture.
void paintBackground(HWND container, HDC hdc, const wchar_t* picture, COLORREF colour);
// Paints what lies behind a child control, so that it can draw over it.
void paintParentBackground(HWND child, HDC hdc);
LRESULT colourStatic(HDC hdc, HWND control, const ControlDef* def);
// WM_PAINT of our own controls: what lies behind first, then the control's drawing, without flicker.
void paintBuffered(HWND h, const std::function<void(HDC, const RECT&)>& draw);

// Messages a container passes on to its top-level window, so controls inside it act as if they sat on it.
[[nodiscard]] bool forwardsToTop(UINT msg);

void registerOwnClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, UINT style);

// The push-button part of our clickable controls: the mouse presses it (captured) and it acts when
// released over it; BM_CLICK, Space and Enter act at once. Returns whether msg was handled (result 0).
template <class Act>
bool pushButtonMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool& pressed, Act act) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            pressed = true;
            SetCapture(h);
            InvalidateRect(h, nullptr, FALSE);
            return true;
        case WM_LBUTTONUP: {
            if (!pressed) return true;
            pressed = false;
            ReleaseCapture();
            InvalidateRect(h, nullptr, FALSE);
            POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            RECT rc;
            GetClientRect(h, &rc);
            if (PtInRect(&rc, pt)) act();
            return true;
        }
        case WM_CAPTURECHANGED:
            if (pressed) {
                pressed = false;
                InvalidateRect(h, nullptr, FALSE);
            }
            return true;
        case BM_CLICK:
            if (IsWindowEnabled(h)) act();
            return true;
        case WM_KEYUP:
            if (wp != VK_SPACE && wp != VK_RETURN) return false;
            act();
            return true;
        default:
            return false;
    }
}

// Window procedure of our own control classes: the state object passed at creation lives with the
// window and is deleted with it; Handle sees every message in between, with that state.
template <class State, LRESULT (*Handle)(HWND, UINT, WPARAM, LPARAM, State*)>
LRESULT CALLBACK ownControlProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        // Stores the window text, which tools and screen readers read from outside the process.
        return DefWindowProcW(h, msg, wp, lp);
    }
    auto* s = reinterpret_cast<State*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        delete s;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        return DefWindowProcW(h, msg, wp, lp);
    }
    if (!s) return DefWindowProcW(h, msg, wp, lp);
    return Handle(h, msg, wp, lp, s);
}

}  // namespace rt
