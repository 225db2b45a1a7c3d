#include "runtime/win/pictures.hpp"

#include <wincodec.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "runtime/image_scale.hpp"
#include "runtime/win/handle.hpp"

namespace rt {

namespace {

// Decodes a PNG resource to premultiplied BGRA. Wine's WIC scaler only samples the nearest
// pixel, so resampling is ours.
Image decodeResource(const wchar_t* name) {
    Image img;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!res) return img;
    HGLOBAL data = LoadResource(module, res);
    auto* bytes = static_cast<BYTE*>(LockResource(data));
    DWORD size = SizeofResource(module, res);
    if (!bytes || size == 0) return img;

    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.putVoid())))
        return img;
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) || FAILED(stream->InitializeFromMemory(bytes, size))) return img;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
        return img;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return img;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return img;
    UINT w = 0, h = 0;
    converter->GetSize(&w, &h);
    if (w == 0 || h == 0 || w > 8192 || h > 8192) return img;
    img.pixels.resize(static_cast<std::size_t>(w) * h);
    if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, reinterpret_cast<BYTE*>(img.pixels.data())))) {
        img.pixels.clear();
        return img;
    }
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    return img;
}

const Image& sourceImage(const wchar_t* name) {
    static std::map<std::wstring, Image> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, decodeResource(name)).first;
    return it->second;
}

HBITMAP scaledBitmap(const wchar_t* name, int w, int h) {
    static std::map<std::tuple<std::wstring, int, int>, UniqueBitmap> cache;
    auto key = std::make_tuple(std::wstring(name), w, h);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second.get();
    // A resizable window asks for a new size at every step of a drag: keep a few sizes per picture.
    constexpr int kSizesKept = 4;
    int kept = 0;
    for (const auto& [k, bmp] : cache) kept += std::get<0>(k) == name;
    if (kept >= kSizesKept) std::erase_if(cache, [&](const auto& entry) { return std::get<0>(entry.first) == name; });
    const Image& src = sourceImage(name);
    HBITMAP bmp = nullptr;
    if (!src.pixels.empty()) {
        Image scaled = scaleImage(src, w, h);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bmp && bits) std::memcpy(bits, scaled.pixels.data(), scaled.pixels.size() * 4);
    }
    cache.emplace(key, UniqueBitmap(bmp));
    return bmp;
}

}  // namespace

bool pictureExists(const wchar_t* resource) { return !sourceImage(resource).pixels.empty(); }

void drawPicture(HDC hdc, const wchar_t* resource, const RECT& where) {
    int w = where.right - where.left, h = where.bottom - where.top;
    if (w <= 0 || h <= 0) return;
    HBITMAP bmp = scaledBitmap(resource, w, h);
    if (!bmp) return;
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mem, bmp);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(hdc, where.left, where.top, w, h, mem, 0, 0, w, h, blend);
    SelectObject(mem, old);
    DeleteDC(mem);
}

HICON loadIcon(const wchar_t* resource, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), resource, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace rt
