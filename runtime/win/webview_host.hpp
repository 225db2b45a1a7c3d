#pragma once
// IWebBrowser2 in an OLE container of our own (no ATL): client site, in-place site and frame, event sink.
#include <windows.h>

#include <memory>
#include <string>

namespace rt {

class BrowserHost {
public:
    // Null when this machine has no HTML engine or the browser cannot be placed in `parent`.
    // Tests of the container itself may skip the engine check: Wine still creates the browser object.
    [[nodiscard]] static std::unique_ptr<BrowserHost> create(HWND parent, bool withoutEngine = false);
    virtual ~BrowserHost() = default;
    virtual void navigate(const std::wstring& address) = 0;
    virtual void resize(const RECT& area) = 0;
    // The loaded page's document title; empty while loading, after a failed load and for non-HTML views.
    [[nodiscard]] virtual std::wstring title() const = 0;
};

// True when MSHTML can be created. Wine without its engine (or with mshtml disabled) says no,
// although it still creates the browser object itself.
[[nodiscard]] bool htmlEngineAvailable();

}  // namespace rt
