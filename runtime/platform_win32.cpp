// Windows builds: code page 936 through the system's converters, local time from the system.
#include <windows.h>

#include "runtime/datetime.hpp"
#include "runtime/text.hpp"

namespace rt {

namespace {
constexpr UINT kGbk = 936;
}

std::wstring toWide(std::string_view gbkText) {
    if (gbkText.empty()) return {};
    int n = MultiByteToWideChar(kGbk, 0, gbkText.data(), static_cast<int>(gbkText.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, 0, gbkText.data(), static_cast<int>(gbkText.size()), out.data(), n);
    return out;
}

std::string fromWide(std::wstring_view wide) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

LocalDateTime systemNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace rt
