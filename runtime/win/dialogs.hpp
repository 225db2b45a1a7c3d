#pragma once
// The system's common dialogs that windows use as services.
#include <windows.h>

#include <string>

namespace rt {

// A font as the font dialog shows it. Face is GBK; size in tenths of a point.
struct FontChoice {
    std::string face;
    int pointTenths = 120;
    bool bold = false, italic = false, underline = false, strikeout = false;
};

// The font dialog as a component: it keeps its values between showings. show() is modal and
// returns the dialog's values afterwards, the chosen ones when confirmed, the kept ones when cancelled.
class FontDialog {
public:
    explicit FontDialog(FontChoice initial) : current_(std::move(initial)) {}
    FontChoice show(HWND owner);
    [[nodiscard]] const FontChoice& current() const { return current_; }

private:
    FontChoice current_;
};

}  // namespace rt
