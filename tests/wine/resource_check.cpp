// Reads the resources of a compiled program without running it and writes a
// report in the probe's reply form (tests/support/probe_client.h): "report"
// and one key=value field each, values as hex-encoded UTF-8. The native
// end-to-end test compares it.
//
// Usage: resource_check <program.exe> <report file>
// Exit code: 0 when the report was written, 1 when the program cannot be
// opened as a data file, 2 on bad usage or an unwritable report.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "res/resource.h"

namespace {

// The resource types (RT_DIALOG ...) in their wide form.
const LPCWSTR kBitmap = MAKEINTRESOURCEW(2), kIcon = MAKEINTRESOURCEW(3), kDialog = MAKEINTRESOURCEW(5),
              kStringTable = MAKEINTRESOURCEW(6), kIconGroup = MAKEINTRESOURCEW(14), kManifest = MAKEINTRESOURCEW(24);

std::string utf8(const wchar_t* text, int length) {
    if (length <= 0) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string hex(std::uint32_t value, int digits = 8) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*lX", digits, static_cast<unsigned long>(value));
    return buf;
}

// "1,2,3": numbers with a separator between them.
std::string joined(std::initializer_list<long> numbers, const std::string& separator = ",") {
    std::string text;
    for (long number : numbers) text += (text.empty() ? "" : separator) + std::to_string(number);
    return text;
}

// The report's one line: "report" and key=value fields.
struct Report {
    std::string line = "report";
    void add(const std::string& key, const std::string& value) { line += " " + key + "=" + updater::encodeHex(value); }
    void add(const std::string& key, long value) { add(key, std::to_string(value)); }
    bool save(const char* path) const {
        std::ofstream file(path, std::ios::binary);
        return static_cast<bool>(file << line << "\n" << std::flush);
    }
};

// The bytes of one resource, or an empty span when it is missing.
struct ResourceBytes {
    const std::uint8_t* data = nullptr;
    DWORD size = 0;
};

ResourceBytes findResource(HMODULE module, LPCWSTR type, WORD id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded) return {};
    return {static_cast<const std::uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

// A value of type T at the start of the bytes; false when they are too few.
template <typename T>
bool readStart(const ResourceBytes& bytes, T& value) {
    if (!bytes.data || bytes.size < sizeof value) return false;
    std::memcpy(&value, bytes.data, sizeof value);
    return true;
}

// Sequential reader over a dialog template with the template's own alignment rules.
class TemplateReader {
public:
    TemplateReader(const std::uint8_t* data, DWORD size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    template <typename Value>
    Value read() {
        Value v{};
        if (ok_ && sizeof v <= remaining()) std::memcpy(&v, data_ + pos_, sizeof v);
        skip(sizeof v);
        return v;
    }
    std::uint16_t word() { return read<std::uint16_t>(); }
    std::uint32_t dword() { return read<std::uint32_t>(); }
    // x,y,cx,cy in dialog units.
    std::string rect() {
        return joined({read<std::int16_t>(), read<std::int16_t>(), read<std::int16_t>(), read<std::int16_t>()});
    }
    // A zero-terminated UTF-16 string.
    std::string text() {
        std::wstring s;
        for (wchar_t c; ok_ && (c = static_cast<wchar_t>(word())) != 0;) s += c;
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
        ok_ = ok_ && count <= remaining();
        if (ok_) pos_ += count;
    }
    void alignToDword() { skip((4 - pos_ % 4) % 4); }

private:
    DWORD remaining() const { return size_ - pos_; }

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

std::string firstLanguage(HMODULE module, LPCWSTR type, WORD id) {
    WORD language = 0xFFFF;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), keepFirstLanguage, reinterpret_cast<LONG_PTR>(&language));
    return hex(language, 4);
}

// The fields in the order of the extended template (DLGTEMPLATEEX, DLGITEMTEMPLATEEX).
void reportDialog(HMODULE module, WORD id, Report& report) {
    const ResourceBytes res = findResource(module, kDialog, id);
    report.add("dialog.found", res.data ? 1 : 0);
    if (!res.data) return;
    report.add("dialog.language", firstLanguage(module, kDialog, id));
    TemplateReader in(res.data, res.size);
    const std::uint16_t version = in.word(), signature = in.word();
    report.add("dialog.extended", version == 1 && signature == 0xFFFF ? 1 : 0);
    if (version != 1 || signature != 0xFFFF) return;
    in.dword();  // help id
    report.add("dialog.exstyle", hex(in.dword()));
    const std::uint32_t style = in.dword();
    report.add("dialog.style", hex(style));
    const std::uint16_t count = in.word();
    report.add("dialog.rect", in.rect());
    report.add("dialog.menu", in.textOrOrdinal());
    report.add("dialog.class", in.textOrOrdinal());
    report.add("dialog.caption", in.text());
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        const std::uint16_t points = in.word();
        report.add("dialog.font.weight", in.word());
        report.add("dialog.font.italic", in.read<std::uint8_t>());
        report.add("dialog.font.charset", in.read<std::uint8_t>());
        report.add("dialog.font", std::to_string(points) + "," + in.text());
    }
    report.add("dialog.items", count);
    for (int i = 0; i < count && in.ok(); ++i) {
        const std::string key = "item." + std::to_string(i) + ".";
        in.alignToDword();
        in.dword();  // help id
        report.add(key + "exstyle", hex(in.dword()));
        report.add(key + "style", hex(in.dword()));
        report.add(key + "rect", in.rect());
        report.add(key + "id", static_cast<std::int32_t>(in.dword()));
        report.add(key + "class", className(in.textOrOrdinal()));
        report.add(key + "text", in.textOrOrdinal());
        in.skip(in.word());  // creation data
    }
    report.add("dialog.parsed", in.ok() ? 1 : 0);
}

void reportStrings(HMODULE module, Report& report) {
    std::vector<UINT> ids;
    for (UINT id = IDS_SOCKET_INIT_FAILED; id <= IDS_CANNOT_WRITE_FILE; ++id) ids.push_back(id);
    for (UINT id = IDS_SIGNATURE_INVALID; id <= IDS_RECOVERY_FILES_IN_USE; ++id) ids.push_back(id);
    ids.push_back(IDS_FILE_REMOVED);
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
    report.add("string.language", firstLanguage(module, kStringTable, IDS_SOCKET_INIT_FAILED / 16 + 1));
}

void reportIcon(HMODULE module, WORD id, Report& report) {
    const ResourceBytes group = findResource(module, kIconGroup, id);
    if (!group.data || group.size < 6) {
        report.add("icon.count", 0);
        return;
    }
    WORD count = reinterpret_cast<const WORD*>(group.data)[2];
    report.add("icon.count", count);
    // A 6-byte header, then 14 bytes per image whose last two are the image's id.
    for (WORD i = 0; i < count && 6 + (i + 1) * 14u <= group.size; ++i) {
        WORD imageId = 0;
        std::memcpy(&imageId, group.data + 6 + i * 14 + 12, sizeof imageId);
        const std::string key = "icon." + std::to_string(i) + ".";
        const ResourceBytes image = findResource(module, kIcon, imageId);
        BITMAPINFOHEADER header;
        if (!readStart(image, header)) {
            report.add(key + "image", "<missing>");
            continue;
        }
        int width = header.biWidth, height = header.biHeight / 2, bits = header.biBitCount;
        DWORD paletteSize = bits <= 8 ? (header.biClrUsed ? header.biClrUsed : 1u << bits) * 4 : 0;
        DWORD colourBytes = ((width * bits + 31) / 32) * 4 * height;
        DWORD maskBytes = ((width + 31) / 32) * 4 * height;
        bool hasMask = image.size >= header.biSize + paletteSize + colourBytes + maskBytes;
        HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(image.data), image.size, TRUE, 0x00030000, width,
                                              height, LR_DEFAULTCOLOR);
        report.add(key + "image", joined({width, height, bits}, "x"));
        report.add(key + "palette", static_cast<long>(paletteSize / 4));
        report.add(key + "mask", hasMask ? 1 : 0);
        report.add(key + "loads", icon ? 1 : 0);
        if (icon) DestroyIcon(icon);
    }
}

// key: "bitmap" for the banner, "bitmap2x" for a brand's double-size one.
void reportBitmap(HMODULE module, WORD id, const std::string& key, Report& report) {
    const ResourceBytes res = findResource(module, kBitmap, id);
    BITMAPINFOHEADER header;
    if (!readStart(res, header)) {
        report.add(key + ".image", "<missing>");
        return;
    }
    report.add(key + ".image", joined({header.biWidth, header.biHeight, header.biBitCount}, "x"));
    report.add(key + ".compression", static_cast<long>(header.biCompression));
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight <= 0)
        return;
    // Mean colour and brightness spread: enough to tell a blue picture from a blank or foreign one.
    const std::uint8_t* pixels = res.data + header.biSize;
    DWORD stride = ((header.biWidth * 24 + 31) / 32) * 4;
    if (header.biSize + stride * header.biHeight > res.size) {
        report.add(key + ".truncated", 1);
        return;
    }
    double sum[3] = {0, 0, 0};
    int darkest = 255 * 3, brightest = 0;
    for (LONG y = 0; y < header.biHeight; ++y)
        for (LONG x = 0; x < header.biWidth; ++x) {
            const std::uint8_t* p = pixels + y * stride + x * 3;
            for (int k = 0; k < 3; ++k) sum[k] += p[k];
            darkest = std::min(darkest, p[0] + p[1] + p[2]);
            brightest = std::max(brightest, p[0] + p[1] + p[2]);
        }
    const double n = static_cast<double>(header.biWidth) * header.biHeight;
    report.add(key + ".mean", joined({static_cast<long>(sum[2] / n), static_cast<long>(sum[1] / n),
                                      static_cast<long>(sum[0] / n)}));
    report.add(key + ".range", joined({darkest / 3, brightest / 3}));
}

// The application manifest's bytes as embedded; the test parses them.
void reportManifest(HMODULE module, Report& report) {
    const ResourceBytes manifest = findResource(module, kManifest, 1);
    report.add("manifest", manifest.data ? std::string(reinterpret_cast<const char*>(manifest.data), manifest.size)
                                         : std::string("<missing>"));
}

void reportVersion(const char* path, Report& report) {
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<std::uint8_t> info(size);
    const bool found = size != 0 && GetFileVersionInfoA(path, 0, size, info.data());
    report.add("version.found", found ? 1 : 0);
    if (!found) return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length) && fixed) {
        auto dotted = [](DWORD ms, DWORD ls) { return joined({HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls)}, "."); };
        report.add("version.file", dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        report.add("version.product", dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
        report.add("version.filetype", static_cast<long>(fixed->dwFileType));
    }
    WORD* translation = nullptr;
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) &&
        translation && length >= 4)
        report.add("version.translation", hex(translation[0], 4) + "," + std::to_string(translation[1]));
    for (const std::string name : {"Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                                   "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"}) {
        const std::wstring key = L"\\StringFileInfo\\080403a8\\" + std::wstring(name.begin(), name.end());
        wchar_t* value = nullptr;
        const bool present =
            VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<LPVOID*>(&value), &length) && value;
        report.add("version." + name, present ? utf8(value, static_cast<int>(std::wcslen(value))) : "<missing>");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: resource_check <program.exe> <report file>\n");
        return 2;
    }
    Report report;
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const DWORD error = GetLastError();
    report.add("loaded", module ? 1 : 0);
    if (!module) {
        report.add("error", static_cast<long>(error));
        report.save(argv[2]);
        return 1;
    }
    reportDialog(module, IDD_UPDATE_DIALOG, report);
    reportStrings(module, report);
    reportIcon(module, IDR_MAINFRAME, report);
    reportBitmap(module, IDB_BANNER, "bitmap", report);
    reportBitmap(module, IDB_BANNER_2X, "bitmap2x", report);
    reportManifest(module, report);
    FreeLibrary(module);
    reportVersion(argv[1], report);
    return report.save(argv[2]) ? 0 : 2;
}
