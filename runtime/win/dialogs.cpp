#include "runtime/win/dialogs.hpp"

#include <commdlg.h>

#include <cwchar>

#include "runtime/text.hpp"

namespace rt {

FontChoice FontDialog::show(HWND owner) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTW lf{};
    std::wstring face = toWide(current_.face);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    lf.lfHeight = -MulDiv(current_.pointTenths, dpi, 720);
    lf.lfWeight = current_.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = current_.italic;
    lf.lfUnderline = current_.underline;
    lf.lfStrikeOut = current_.strikeout;
    lf.lfCharSet = DEFAULT_CHARSET;
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = owner;
    cf.lpLogFont = &lf;
    cf.iPointSize = current_.pointTenths;
    cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    if (!ChooseFontW(&cf)) return current_;
    current_.face = fromWide(lf.lfFaceName);
    current_.pointTenths = cf.iPointSize > 0 ? cf.iPointSize : MulDiv(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, 720, dpi);
    current_.bold = lf.lfWeight >= FW_BOLD;
    current_.italic = lf.lfItalic != 0;
    current_.underline = lf.lfUnderline != 0;
    current_.strikeout = lf.lfStrikeOut != 0;
    return current_;
}

}  // namespace rt
