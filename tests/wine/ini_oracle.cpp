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

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "win32/code_page.h"
#include "win32/file_system.h"
#include "win32/unicode_to_ansi.h"
#include "engine/text/hex_text.h"
#include "engine/text/ini_file.h"

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line + '\t');  // so that an empty last field counts too
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

// Our reader's answer, the file parsed once.
std::string askOurs(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue, DWORD bufferBytes) {
    static const updater::win32::Win32UnicodeToAnsi unicodeToAnsi;
    static const updater::win32::Win32CodePage codePage;
    static std::map<std::string, updater::IniFile> parsed;
    auto found = parsed.find(file);
    if (found == parsed.end()) {
        const std::string bytes = updater::win32::Win32FileSystem().readAll(file).value_or("");
        found = parsed.emplace(file, updater::IniFile::parse(bytes, codePage, &unicodeToAnsi)).first;
    }
    return found->second.get(section, key, defaultValue, bufferBytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ini_oracle QUERIES ANSWERS\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    FILE* out = std::fopen(argv[2], "wb");
    if (!in || !out) {
        std::fprintf(stderr, "cannot open the query or answer file\n");
        return 2;
    }
    int answered = 0;
    for (std::string line; std::getline(in, line);) {
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        const std::vector<std::string> fields = splitTabs(line);
        if (fields.size() != 5) {
            std::fprintf(out, "bad-query\n");
            continue;
        }
        const auto bytes = [](const std::string& hex) { return updater::decodeHex(hex).value_or(""); };
        const std::string file = bytes(fields[0]), section = bytes(fields[1]), key = bytes(fields[2]);
        const std::string defaultValue = bytes(fields[3]);
        const std::string* defaultArg = fields[3] == "-" ? nullptr : &defaultValue;
        const DWORD bufferBytes = std::strtoul(fields[4].c_str(), nullptr, 10);

        // The platform's answer in a buffer filled with fill beforehand, and the call's result.
        const auto ask = [&](char fill) {
            std::vector<char> buffer(bufferBytes + 1, fill);
            const DWORD returned = GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                                            defaultArg ? defaultArg->c_str() : nullptr, buffer.data(),
                                                            bufferBytes, file.c_str());
            return std::make_pair(std::move(buffer), returned);
        };
        const auto [zeroed, returned] = ask('\0');
        const auto [filled, filledReturned] = ask('\xCC');
        const std::size_t length = bufferBytes ? std::strlen(zeroed.data()) : 0;
        const bool stable = returned == filledReturned &&
                            std::memcmp(zeroed.data(), filled.data(), length + (bufferBytes ? 1 : 0)) == 0;
        const std::string ours = askOurs(file, section, key, defaultValue, bufferBytes);
        std::fprintf(out, "%s\t%lu\t%d\t%s\n", updater::encodeHex({zeroed.data(), length}).c_str(),
                     static_cast<unsigned long>(returned), stable ? 1 : 0, updater::encodeHex(ours).c_str());
        ++answered;
    }
    std::fclose(out);
    std::printf("%d answers\n", answered);
    return 0;
}
