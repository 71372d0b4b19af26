#include "platform/ProgramFont.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr wchar_t DesignFace[] = L"Tahoma";

// Draws Character in Face, black on white, into a small bitmap and returns its pixels.
std::vector<uint32_t> RenderCharacter(HDC dc, const std::wstring& Face, wchar_t Character) {
    constexpr int Size = 32;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = Size;
    info.bmiHeader.biHeight = -Size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) return {};
    HFONT font = ::CreateFontW(-24, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Face.c_str());
    HGDIOBJ oldBitmap = ::SelectObject(dc, bitmap);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    RECT all{0, 0, Size, Size};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    ::TextOutW(dc, 2, 2, &Character, 1);
    ::GdiFlush();
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + Size * Size);
    ::SelectObject(dc, oldFont);
    ::SelectObject(dc, oldBitmap);
    ::DeleteObject(font);
    ::DeleteObject(bitmap);
    return pixels;
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    auto* faces = reinterpret_cast<std::vector<std::wstring>*>(param);
    const std::wstring face = font->lfFaceName;
    if (!face.empty() && face[0] != L'@') {
        bool known = false;
        for (const std::wstring& f : *faces) known = known || f == face;
        if (!known) faces->push_back(face);
    }
    return 1;
}

std::wstring ChooseFace() {
    if (FaceRendersChinese(DesignFace)) return DesignFace;
    std::vector<std::wstring> candidates = ChineseFontFaces();
    // The preferred face first, then the others in the system's order.
    const std::wstring preferred = PreferredChineseFace(candidates);
    if (!preferred.empty() && FaceRendersChinese(preferred)) return preferred;
    for (const std::wstring& face : candidates)
        if (FaceRendersChinese(face)) return face;
    return DesignFace;
}

}  // namespace

bool FaceRendersChinese(const std::wstring& Face) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    if (dc == nullptr) return true;  // nothing to tell by: keep the face
    const std::vector<uint32_t> first = RenderCharacter(dc, Face, L'\u6E05');   // 清
    const std::vector<uint32_t> second = RenderCharacter(dc, Face, L'\u7406');  // 理
    ::DeleteDC(dc);
    if (first.empty() || second.empty()) return true;
    bool inked = false;
    for (uint32_t pixel : first) inked = inked || (pixel & 0xFFFFFF) != 0xFFFFFF;
    return inked && first != second;
}

std::vector<std::wstring> ChineseFontFaces() {
    std::vector<std::wstring> faces;
    HDC dc = ::GetDC(nullptr);
    LOGFONTW query{};
    query.lfCharSet = GB2312_CHARSET;
    ::EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    ::ReleaseDC(nullptr, dc);
    return faces;
}

std::wstring PreferredChineseFace(const std::vector<std::wstring>& Candidates) {
    static const wchar_t* const Preferred[] = {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun", L"NSimSun",
                                               L"WenQuanYi Micro Hei", L"Noto Sans CJK SC", L"Droid Sans Fallback"};
    for (const wchar_t* face : Preferred)
        for (const std::wstring& candidate : Candidates)
            if (_wcsicmp(candidate.c_str(), face) == 0) return candidate;
    return Candidates.empty() ? std::wstring() : Candidates.front();
}

namespace {
std::wstring& FaceSlot() {
    static std::wstring face;
    return face;
}
}  // namespace

const std::wstring& ProgramFontFace() {
    if (FaceSlot().empty()) FaceSlot() = ChooseFace();
    return FaceSlot();
}

void SetProgramFontFaceForTesting(const std::wstring& Face) { FaceSlot() = Face; }
