// Reads the resources of a compiled program without running it and writes a
// report, one "key=value" line each, in UTF-8. Line breaks and backslashes in
// values are written as \n and \\. The native end-to-end test compares it.
//
// Usage: resource_check <program.exe> <report file>
// Exit code: 0 when the report was written, 1 when the program cannot be
// opened as a data file, 2 on bad usage or an unwritable report.
#include <windows.h>

#include "res/resource.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text, int length) {
    if (length <= 0) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string hex(std::uint32_t value, int digits = 8) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*lX", digits, static_cast<unsigned long>(value));
    return buf;
}

class Report {
public:
    void add(const std::string& key, const std::string& value) { text_ += key + "=" + escaped(value) + "\n"; }
    void add(const std::string& key, long value) { add(key, std::to_string(value)); }
    bool save(const char* path) const {
        FILE* file = std::fopen(path, "wb");
        if (!file) return false;
        bool ok = std::fwrite(text_.data(), 1, text_.size(), file) == text_.size();
        return std::fclose(file) == 0 && ok;
    }

private:
    std::string text_;
};

// The bytes of one resource, or an empty span when it is missing.
struct ResourceBytes {
    const std::uint8_t* data = nullptr;
    DWORD size = 0;
};

ResourceBytes findResource(HMODULE module, LPCWSTR type, WORD id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return {};
    return {static_cast<const std::uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

// Sequential reader over a dialog template with the template's own alignment rules.
class TemplateReader {
public:
    TemplateReader(const std::uint8_t* data, DWORD size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::uint16_t word() {
        std::uint16_t v = 0;
        take(&v, 2);
        return v;
    }
    std::uint32_t dword() {
        std::uint32_t v = 0;
        take(&v, 4);
        return v;
    }
    std::int16_t shortValue() { return static_cast<std::int16_t>(word()); }
    std::uint8_t byte() {
        std::uint8_t v = 0;
        take(&v, 1);
        return v;
    }
    // A zero-terminated UTF-16 string.
    std::string text() {
        std::wstring s;
        while (ok_) {
            wchar_t c = static_cast<wchar_t>(word());
            if (c == 0) break;
            s += c;
        }
        return utf8(s.data(), static_cast<int>(s.size()));
    }
    // A string or an ordinal (0xFFFF then the number), the latter shown as "#number".
    std::string textOrOrdinal() {
        if (remaining() >= 2 && data_[pos_] == 0xFF && data_[pos_ + 1] == 0xFF) {
            word();
            return "#" + std::to_string(word());
        }
        return text();
    }
    void skip(DWORD count) {
        if (count > remaining()) ok_ = false;
        else pos_ += count;
    }
    void alignToDword() { skip((4 - pos_ % 4) % 4); }

private:
    DWORD remaining() const { return size_ - pos_; }
    void take(void* out, DWORD count) {
        if (!ok_ || count > remaining()) {
            ok_ = false;
            return;
        }
        std::memcpy(out, data_ + pos_, count);
        pos_ += count;
    }

    const std::uint8_t* data_;
    DWORD size_;
    DWORD pos_ = 0;
    bool ok_ = true;
};

// Predefined window classes are stored as atoms.
std::string className(const std::string& raw) {
    static const char* const names[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    if (raw.size() > 1 && raw[0] == '#') {
        unsigned atom = static_cast<unsigned>(std::stoul(raw.substr(1)));
        if (atom >= 0x80 && atom <= 0x85) return names[atom - 0x80];
    }
    return raw;
}

BOOL CALLBACK keepFirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    *reinterpret_cast<WORD*>(found) = language;
    return FALSE;
}

WORD firstLanguage(HMODULE module, LPCWSTR type, WORD id) {
    WORD language = 0xFFFF;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), keepFirstLanguage, reinterpret_cast<LONG_PTR>(&language));
    return language;
}

void reportDialog(HMODULE module, WORD id, Report& report) {
    ResourceBytes res = findResource(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, id);
    if (!res.data) {
        report.add("dialog.found", 0);
        return;
    }
    report.add("dialog.found", 1);
    report.add("dialog.language", hex(firstLanguage(module, MAKEINTRESOURCEW(5), id), 4));
    TemplateReader in(res.data, res.size);
    std::uint16_t version = in.word(), signature = in.word();
    if (version != 1 || signature != 0xFFFF) {
        report.add("dialog.extended", 0);
        return;
    }
    report.add("dialog.extended", 1);
    in.dword();  // help id
    std::uint32_t exStyle = in.dword(), style = in.dword();
    std::uint16_t count = in.word();
    int x = in.shortValue(), y = in.shortValue(), cx = in.shortValue(), cy = in.shortValue();
    report.add("dialog.style", hex(style));
    report.add("dialog.exstyle", hex(exStyle));
    report.add("dialog.rect", std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," +
                                  std::to_string(cy));
    report.add("dialog.menu", in.textOrOrdinal());
    report.add("dialog.class", in.textOrOrdinal());
    report.add("dialog.caption", in.text());
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        int points = in.word(), weight = in.word(), italic = in.byte(), charset = in.byte();
        report.add("dialog.font", std::to_string(points) + "," + in.text());
        report.add("dialog.font.weight", weight);
        report.add("dialog.font.italic", italic);
        report.add("dialog.font.charset", charset);
    }
    report.add("dialog.items", count);
    for (int i = 0; i < count && in.ok(); ++i) {
        in.alignToDword();
        in.dword();  // help id
        std::uint32_t itemExStyle = in.dword(), itemStyle = in.dword();
        int ix = in.shortValue(), iy = in.shortValue(), icx = in.shortValue(), icy = in.shortValue();
        auto itemId = static_cast<std::int32_t>(in.dword());
        std::string cls = className(in.textOrOrdinal());
        std::string text = in.textOrOrdinal();
        in.skip(in.word());  // creation data
        std::string key = "item." + std::to_string(i) + ".";
        report.add(key + "id", itemId);
        report.add(key + "class", cls);
        report.add(key + "text", text);
        report.add(key + "rect", std::to_string(ix) + "," + std::to_string(iy) + "," + std::to_string(icx) + "," +
                                     std::to_string(icy));
        report.add(key + "style", hex(itemStyle));
        report.add(key + "exstyle", hex(itemExStyle));
    }
    report.add("dialog.parsed", in.ok() ? 1 : 0);
}

void reportStrings(HMODULE module, Report& report) {
    std::vector<UINT> ids;
    for (UINT id = IDS_SOCKET_INIT_FAILED; id <= IDS_CANNOT_WRITE_FILE; ++id) ids.push_back(id);
    for (UINT id : {IDS_INTERNAL_ERROR, IDS_FILE_ACCESS_ERROR, IDS_DISK_FULL}) ids.push_back(id);
    std::string notAnsi;
    for (UINT id : ids) {
        const wchar_t* text = nullptr;
        // A zero buffer size gives a pointer into the resource itself, so no length limit applies.
        int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
        report.add("string." + std::to_string(id), length > 0 && text ? utf8(text, length) : std::string("<missing>"));
        // The program reads its texts as ANSI bytes: each must survive the code page unchanged.
        char ansi[1024] = "";
        int ansiLength = LoadStringA(module, id, ansi, sizeof ansi);
        wchar_t back[1024];
        int backLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, ansiLength, back, 1024);
        if (length <= 0 || backLength != length || std::wmemcmp(back, text, length) != 0)
            notAnsi += (notAnsi.empty() ? "" : ",") + std::to_string(id);
    }
    report.add("string.ansi.codepage", static_cast<long>(GetACP()));
    report.add("string.ansi.mismatches", notAnsi);
    report.add("string.language", hex(firstLanguage(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                                       IDS_SOCKET_INIT_FAILED / 16 + 1), 4));
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

void reportIcon(HMODULE module, WORD id, Report& report) {
    ResourceBytes group = findResource(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, id);
    if (!group.data || group.size < 6) {
        report.add("icon.count", 0);
        return;
    }
    WORD count = reinterpret_cast<const WORD*>(group.data)[2];
    report.add("icon.count", count);
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(GroupIconEntry) <= group.size; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data + 6 + i * sizeof(GroupIconEntry), sizeof entry);
        std::string key = "icon." + std::to_string(i) + ".";
        ResourceBytes image = findResource(module, MAKEINTRESOURCEW(3) /* RT_ICON */, entry.id);
        if (!image.data || image.size < sizeof(BITMAPINFOHEADER)) {
            report.add(key + "image", "<missing>");
            continue;
        }
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data, sizeof header);
        int width = header.biWidth, height = header.biHeight / 2, bits = header.biBitCount;
        DWORD paletteSize = bits <= 8 ? (header.biClrUsed ? header.biClrUsed : 1u << bits) * 4 : 0;
        DWORD colourBytes = ((width * bits + 31) / 32) * 4 * height;
        DWORD maskBytes = ((width + 31) / 32) * 4 * height;
        bool hasMask = image.size >= header.biSize + paletteSize + colourBytes + maskBytes;
        HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(image.data), image.size, TRUE, 0x00030000, width,
                                              height, LR_DEFAULTCOLOR);
        report.add(key + "image", std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bits));
        report.add(key + "palette", static_cast<long>(paletteSize / 4));
        report.add(key + "mask", hasMask ? 1 : 0);
        report.add(key + "loads", icon ? 1 : 0);
        if (icon) DestroyIcon(icon);
    }
}

void reportBitmap(HMODULE module, WORD id, Report& report) {
    ResourceBytes res = findResource(module, MAKEINTRESOURCEW(2) /* RT_BITMAP */, id);
    if (!res.data || res.size < sizeof(BITMAPINFOHEADER)) {
        report.add("bitmap.image", "<missing>");
        return;
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, res.data, sizeof header);
    report.add("bitmap.image", std::to_string(header.biWidth) + "x" + std::to_string(header.biHeight) + "x" +
                                   std::to_string(header.biBitCount));
    report.add("bitmap.compression", static_cast<long>(header.biCompression));
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight <= 0)
        return;
    // Mean colour and brightness spread: enough to tell a blue picture from a blank or foreign one.
    const std::uint8_t* pixels = res.data + header.biSize;
    DWORD stride = ((header.biWidth * 24 + 31) / 32) * 4;
    if (header.biSize + stride * header.biHeight > res.size) {
        report.add("bitmap.truncated", 1);
        return;
    }
    double sum[3] = {0, 0, 0};
    int darkest = 255 * 3, brightest = 0;
    for (LONG y = 0; y < header.biHeight; ++y)
        for (LONG x = 0; x < header.biWidth; ++x) {
            const std::uint8_t* p = pixels + y * stride + x * 3;
            for (int k = 0; k < 3; ++k) sum[k] += p[k];
            int brightness = p[0] + p[1] + p[2];
            if (brightness < darkest) darkest = brightness;
            if (brightness > brightest) brightest = brightness;
        }
    double n = static_cast<double>(header.biWidth) * header.biHeight;
    char mean[64];
    std::snprintf(mean, sizeof mean, "%d,%d,%d", static_cast<int>(sum[2] / n), static_cast<int>(sum[1] / n),
                  static_cast<int>(sum[0] / n));
    report.add("bitmap.mean", mean);
    report.add("bitmap.range", std::to_string(darkest / 3) + "," + std::to_string(brightest / 3));
}

// version.dll is loaded by name, so the test program needs no extra import library.
void reportVersion(const char* path, Report& report) {
    HMODULE version = LoadLibraryA("version.dll");
    auto getSize = reinterpret_cast<DWORD(WINAPI*)(LPCSTR, LPDWORD)>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeA")));
    auto getInfo = reinterpret_cast<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoA")));
    auto query = reinterpret_cast<BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT)>(
        reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueW")));
    if (!version || !getSize || !getInfo || !query) {
        report.add("version.found", 0);
        return;
    }
    DWORD handle = 0, size = getSize(path, &handle);
    std::vector<std::uint8_t> info(size);
    if (size == 0 || !getInfo(path, 0, size, info.data())) {
        report.add("version.found", 0);
        return;
    }
    report.add("version.found", 1);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (query(info.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length) && fixed) {
        auto dotted = [](DWORD ms, DWORD ls) {
            return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) +
                   "." + std::to_string(LOWORD(ls));
        };
        report.add("version.file", dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        report.add("version.product", dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
        report.add("version.filetype", static_cast<long>(fixed->dwFileType));
    }
    WORD* translation = nullptr;
    if (query(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) &&
        translation && length >= 4)
        report.add("version.translation", hex(translation[0], 4) + "," + std::to_string(translation[1]));
    const wchar_t* const names[] = {L"Comments",       L"CompanyName",  L"FileDescription", L"FileVersion",
                                    L"InternalName",   L"LegalCopyright", L"OriginalFilename", L"ProductName",
                                    L"ProductVersion"};
    for (const wchar_t* name : names) {
        std::wstring key = std::wstring(L"\\StringFileInfo\\080403a8\\") + name;
        wchar_t* value = nullptr;
        std::string reportKey = "version." + utf8(name, static_cast<int>(std::wcslen(name)));
        if (query(info.data(), key.c_str(), reinterpret_cast<LPVOID*>(&value), &length) && value)
            report.add(reportKey, utf8(value, static_cast<int>(std::wcslen(value))));
        else
            report.add(reportKey, "<missing>");
    }
    FreeLibrary(version);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: resource_check <program.exe> <report file>\n");
        return 2;
    }
    Report report;
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        report.add("loaded", 0);
        report.add("error", static_cast<long>(GetLastError()));
        report.save(argv[2]);
        return 1;
    }
    report.add("loaded", 1);
    reportDialog(module, IDD_UPDATE_DIALOG, report);
    reportStrings(module, report);
    reportIcon(module, IDR_MAINFRAME, report);
    reportBitmap(module, IDB_BANNER, report);
    FreeLibrary(module);
    reportVersion(argv[1], report);
    return report.save(argv[2]) ? 0 : 2;
}
