#pragma once
// Move-only owners for Win32 handles and COM pointers.
#include <windows.h>

#include <utility>

namespace rt {

template <typename H, auto Close, H Null = H{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Null)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Null));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    void reset(H h = Null) {
        if (h_ != Null) Close(h_);
        h_ = h;
    }
    [[nodiscard]] H get() const { return h_; }
    [[nodiscard]] H release() { return std::exchange(h_, Null); }
    explicit operator bool() const { return h_ != Null; }

private:
    H h_ = Null;
};

inline void closeFont(HFONT h) { DeleteObject(h); }
inline void closeBrush(HBRUSH h) { DeleteObject(h); }
inline void closeBitmap(HBITMAP h) { DeleteObject(h); }
inline void closeIcon(HICON h) { DestroyIcon(h); }
inline void closeMenu(HMENU h) { DestroyMenu(h); }
inline void closeWindow(HWND h) { DestroyWindow(h); }
inline void closeKernel(HANDLE h) { CloseHandle(h); }

using UniqueFont = UniqueHandle<HFONT, closeFont>;
using UniqueBrush = UniqueHandle<HBRUSH, closeBrush>;
using UniqueBitmap = UniqueHandle<HBITMAP, closeBitmap>;
using UniqueIcon = UniqueHandle<HICON, closeIcon>;
using UniqueMenu = UniqueHandle<HMENU, closeMenu>;
using UniqueWindow = UniqueHandle<HWND, closeWindow>;
using UniqueKernelHandle = UniqueHandle<HANDLE, closeKernel>;

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace rt
