// Asks the platform's profile lookup (GetPrivateProfileStringA) a list of
// questions and writes down its answers, so that tests can compare our own
// reader with it byte for byte.
//
//   ini_oracle.exe QUERIES ANSWERS
//
// QUERIES has one question per line, five tab-separated fields:
//   file  section  key  default  bufferBytes
// The first four are hex-encoded bytes (so any byte can be asked); a default
// of "-" passes no default at all. ANSWERS gets one line per question:
//   value  returned  stable  ours
// value is the hex-encoded text the call left in a zero-filled buffer,
// returned is the call's result, and stable is 0 when a buffer pre-filled
// with another byte came back different (the call left bytes unwritten).
// ours is the hex-encoded answer of our own reader, given the program's
// conversion of Unicode files (only this side of it has the system's table).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/win32_code_page.h"
#include "app/win32_unicode_to_ansi.h"
#include "engine/ini_file.h"

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(hexDigit(hex[i]) * 16 + hexDigit(hex[i + 1]));
    return bytes;
}

std::string toHex(const char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

struct Answer {
    std::vector<char> buffer;
    DWORD returned;
};

Answer ask(const std::string& file, const std::string& section, const std::string& key,
           const std::string* defaultValue, DWORD bufferBytes, char fill) {
    Answer answer{std::vector<char>(bufferBytes + 1, fill), 0};
    answer.returned = GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                               defaultValue ? defaultValue->c_str() : nullptr,
                                               answer.buffer.data(), bufferBytes, file.c_str());
    return answer;
}

std::string readFileBytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        while (std::size_t n = std::fread(chunk, 1, sizeof chunk, f)) bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

// Our reader's answer, the file parsed once.
std::string askOurs(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue, DWORD bufferBytes) {
    static const updater::win32::Win32UnicodeToAnsi unicodeToAnsi;
    static const updater::win32::Win32CodePage codePage;
    static std::map<std::string, updater::IniFile> parsed;
    auto found = parsed.find(file);
    if (found == parsed.end())
        found = parsed.emplace(file, updater::IniFile::parse(readFileBytes(file), codePage, &unicodeToAnsi)).first;
    return found->second.get(section, key, defaultValue, bufferBytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ini_oracle QUERIES ANSWERS\n");
        return 2;
    }
    FILE* in = std::fopen(argv[1], "rb");
    FILE* out = std::fopen(argv[2], "wb");
    if (!in || !out) {
        std::fprintf(stderr, "cannot open the query or answer file\n");
        return 2;
    }
    std::string line;
    int c;
    int answered = 0;
    while ((c = std::fgetc(in)) != EOF || !line.empty()) {
        if (c != '\n' && c != EOF) {
            if (c != '\r') line += static_cast<char>(c);
            continue;
        }
        std::vector<std::string> fields = splitTabs(line);
        line.clear();
        if (fields.size() != 5) {
            std::fprintf(out, "bad-query\n");
            continue;
        }
        std::string file = fromHex(fields[0]);
        std::string section = fromHex(fields[1]);
        std::string key = fromHex(fields[2]);
        std::string defaultValue = fromHex(fields[3]);
        const std::string* defaultArg = fields[3] == "-" ? nullptr : &defaultValue;
        DWORD bufferBytes = std::strtoul(fields[4].c_str(), nullptr, 10);

        Answer zeroed = ask(file, section, key, defaultArg, bufferBytes, '\0');
        Answer filled = ask(file, section, key, defaultArg, bufferBytes, '\xCC');
        std::size_t length = bufferBytes ? std::strlen(zeroed.buffer.data()) : 0;
        bool stable = zeroed.returned == filled.returned &&
                      std::memcmp(zeroed.buffer.data(), filled.buffer.data(), length + (bufferBytes ? 1 : 0)) == 0;
        const std::string ours = askOurs(file, section, key, defaultValue, bufferBytes);
        std::fprintf(out, "%s\t%lu\t%d\t%s\n", toHex(zeroed.buffer.data(), length).c_str(),
                     static_cast<unsigned long>(zeroed.returned), stable ? 1 : 0,
                     toHex(ours.data(), ours.size()).c_str());
        ++answered;
    }
    std::fclose(out);
    std::fclose(in);
    std::printf("%d answers\n", answered);
    return 0;
}
