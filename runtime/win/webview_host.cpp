#include "runtime/win/webview_host.hpp"

#include <exdisp.h>
#include <ocidl.h>
#include <ole2.h>

#include <vector>

#include "runtime/win/handle.hpp"

namespace rt {

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
constexpr CLSID kWebBrowser{0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// {25336920-03F9-11CF-8FD0-00AA00686F13}, the MSHTML document
constexpr CLSID kHtmlDocument{0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// DWebBrowserEvents2 (exdispid.h)
constexpr DISPID kTitleChange = 113;
constexpr DISPID kBeforeNavigate2 = 250;
constexpr DISPID kDocumentComplete = 259;
constexpr DISPID kNavigateError = 271;

// COM identity: the same object answers IUnknown with the same pointer.
bool sameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    ComPtr<IUnknown> ua, ub;
    (void)a->QueryInterface(__uuidof(IUnknown), ua.putVoid());
    (void)b->QueryInterface(__uuidof(IUnknown), ub.putVoid());
    return ua && ua.get() == ub.get();
}

// The document's "title" property through its dispatch interface: HTML documents have one, shell folder views do not.
std::wstring documentTitle(IWebBrowser2* browser) {
    ComPtr<IDispatch> doc;
    if (FAILED(browser->get_Document(doc.put())) || !doc) return {};
    std::wstring title;
    OLECHAR name[] = L"title";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    if (SUCCEEDED(doc->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        DISPPARAMS none{};
        VARIANT result;
        VariantInit(&result);
        if (SUCCEEDED(doc->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr)) &&
            result.vt == VT_BSTR && result.bstrVal) {
            title.assign(result.bstrVal, SysStringLen(result.bstrVal));
        }
        VariantClear(&result);
    }
    return title;
}

// Client site, in-place site and frame, and the DWebBrowserEvents2 sink in one reference-counted object.
class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
public:
    explicit Site(HWND parent) : parent_(parent) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IOleClientSite)) *out = static_cast<IOleClientSite*>(this);
        else if (riid == __uuidof(IOleWindow) || riid == __uuidof(IOleInPlaceSite)) *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == __uuidof(IOleInPlaceUIWindow) || riid == __uuidof(IOleInPlaceFrame)) *out = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == __uuidof(IDispatch) || riid == __uuidof(DWebBrowserEvents2)) *out = static_cast<IDispatch*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, for both the site and the frame
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = parent_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        GetClientRect(parent_, pos);
        *clip = *pos;
        info->cb = sizeof *info;
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(parent_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
        if (inPlace_ && rect) (void)inPlace_->SetObjectRects(rect, rect);
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no toolbars or menus of ours to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: DWebBrowserEvents2 by DISPID only.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (!browser_) return S_OK;
        // Frames raise the same events; only the top-level browser's count. Its pDisp is the first argument.
        IUnknown* source = nullptr;
        if (params && params->cArgs > 0) {
            const VARIANT& first = params->rgvarg[params->cArgs - 1];
            if (first.vt == VT_DISPATCH) source = first.pdispVal;
        }
        bool top = sameObject(source, browser_.get());
        switch (id) {
            case kBeforeNavigate2:
                if (top) {
                    title_.clear();
                    complete_ = failed_ = false;
                }
                break;
            case kNavigateError:
                if (top) {
                    title_.clear();
                    failed_ = true;
                }
                break;
            case kDocumentComplete:
                if (top) {
                    complete_ = true;
                    // The error page that follows a failed load has a title of its own; ours stays empty.
                    title_ = failed_ ? std::wstring() : documentTitle(browser_.get());
                }
                break;
            case kTitleChange:
                // Scripts may set the title after loading; before completion the event carries the address.
                if (complete_ && !failed_) title_ = documentTitle(browser_.get());
                break;
            default: break;
        }
        return S_OK;
    }

    HWND parent_;
    ComPtr<IOleObject> ole_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IWebBrowser2> browser_;
    std::wstring title_;
    bool complete_ = false;
    bool failed_ = false;

private:
    ~Site() = default;
    ULONG refs_ = 1;
};

class Host;

// Keys for the browser go through its TranslateAccelerator first (Tab, Delete, Ctrl+C in pages),
// which the message loops of our windows do not know about: a message hook on the thread does it.
struct KeyRouting {
    std::vector<Host*> hosts;
    HHOOK hook = nullptr;
};
thread_local KeyRouting g_keys;

class Host final : public BrowserHost {
public:
    explicit Host(Site* site) : site_(site) {}
    ~Host() override {
        std::erase(g_keys.hosts, this);
        if (g_keys.hosts.empty() && g_keys.hook) {
            UnhookWindowsHookEx(g_keys.hook);
            g_keys.hook = nullptr;
        }
        if (points_ && cookie_) (void)points_->Unadvise(cookie_);
        points_.reset();
        active_.reset();
        if (site_->browser_) (void)site_->browser_->Stop();
        if (site_->inPlace_) (void)site_->inPlace_->InPlaceDeactivate();
        if (site_->ole_) {
            (void)site_->ole_->Close(OLECLOSE_NOSAVE);
            (void)site_->ole_->SetClientSite(nullptr);
        }
        // The browser held the site; the site's references to it end here, which breaks the cycle.
        site_->browser_.reset();
        site_->inPlace_.reset();
        site_->ole_.reset();
        site_->Release();
    }

    bool start() {
        HWND parent = site_->parent_;
        if (FAILED(CoCreateInstance(kWebBrowser, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IOleObject), site_->ole_.putVoid()))) {
            return false;
        }
        if (FAILED(site_->ole_->SetClientSite(static_cast<IOleClientSite*>(site_)))) return false;
        (void)OleSetContainedObject(site_->ole_.get(), TRUE);
        RECT area;
        GetClientRect(parent, &area);
        if (FAILED(site_->ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, parent, &area))) {
            return false;
        }
        if (FAILED(site_->ole_->QueryInterface(__uuidof(IWebBrowser2), site_->browser_.putVoid()))) return false;
        (void)site_->ole_->QueryInterface(__uuidof(IOleInPlaceObject), site_->inPlace_.putVoid());
        (void)site_->ole_->QueryInterface(__uuidof(IOleInPlaceActiveObject), active_.putVoid());
        // Script errors must not open dialogs over the program.
        (void)site_->browser_->put_Silent(VARIANT_TRUE);
        ComPtr<IConnectionPointContainer> container;
        if (SUCCEEDED(site_->browser_->QueryInterface(__uuidof(IConnectionPointContainer), container.putVoid())) &&
            SUCCEEDED(container->FindConnectionPoint(__uuidof(DWebBrowserEvents2), points_.put()))) {
            (void)points_->Advise(static_cast<IDispatch*>(site_), &cookie_);
        }
        resize(area);
        g_keys.hosts.push_back(this);
        if (!g_keys.hook) g_keys.hook = SetWindowsHookExW(WH_GETMESSAGE, routeKeys, nullptr, GetCurrentThreadId());
        return true;
    }

    void navigate(const std::wstring& address) override {
        if (!site_->browser_) return;
        site_->title_.clear();
        site_->complete_ = site_->failed_ = false;
        BSTR url = SysAllocStringLen(address.empty() ? L"about:blank" : address.c_str(),
                                     static_cast<UINT>(address.empty() ? 11 : address.size()));
        VARIANT empty;
        VariantInit(&empty);
        (void)site_->browser_->Navigate(url, &empty, &empty, &empty, &empty);
        SysFreeString(url);
    }

    void resize(const RECT& area) override {
        if (site_->inPlace_) (void)site_->inPlace_->SetObjectRects(&area, &area);
    }

    std::wstring title() const override { return site_->title_; }

private:
    static LRESULT CALLBACK routeKeys(int code, WPARAM wp, LPARAM lp) {
        auto* msg = reinterpret_cast<MSG*>(lp);
        if (code == HC_ACTION && wp == PM_REMOVE && msg && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
            for (Host* h : g_keys.hosts) {
                if (!h->active_ || !IsChild(h->site_->parent_, msg->hwnd)) continue;
                if (h->active_->TranslateAccelerator(msg) == S_OK) msg->message = WM_NULL;
                break;
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }

    Site* site_;
    ComPtr<IOleInPlaceActiveObject> active_;
    ComPtr<IConnectionPoint> points_;
    DWORD cookie_ = 0;
};

}  // namespace

bool htmlEngineAvailable() {
    static const bool available = [] {
        ComPtr<IUnknown> doc;
        return SUCCEEDED(CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IUnknown), doc.putVoid()));
    }();
    return available;
}

std::unique_ptr<BrowserHost> BrowserHost::create(HWND parent, bool withoutEngine) {
    if (!withoutEngine && !htmlEngineAvailable()) return nullptr;
    auto host = std::make_unique<Host>(new Site(parent));
    if (!host->start()) return nullptr;
    return host;
}

}  // namespace rt
