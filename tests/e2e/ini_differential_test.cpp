// Our INI reader against the platform's: every file under tests/data/ini is
// asked the same questions through GetPrivateProfileStringA under Wine
// (tests/wine/ini_oracle.cpp, one run for all files) and through IniFile,
// and the answers must be the same bytes. IniFile is asked twice: natively,
// with code page 936 and iconv converting Unicode files, and inside the
// oracle with the program's own code page and conversion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/text/ini_file.h"
#include "engine/text/ini_text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/iconv_unicode_to_ansi.h"
#include "tests/support/wine_runner.h"

namespace {

using updater::decodeHex;
using updater::encodeHex;
using updater::IniFile;

// Stands in for the platform's conversion of Unicode files to code page 936.
const testsupport::IconvUnicodeToAnsi& unicodeToAnsi() {
    static const testsupport::IconvUnicodeToAnsi converter;
    return converter;
}

IniFile parseOurs(const std::string& bytes) { return IniFile::parse(bytes, updater::cp936(), &unicodeToAnsi()); }

const std::vector<std::string> kFiles = {
    "settings_crlf.ini", "manifest.ini", "blanks.ini", "quotes.ini", "comments.ini", "repeats.ini",
    "line_ends_lf.ini", "line_ends_cr.ini", "line_ends_mixed.ini",
    "bom_utf8.ini", "bom_utf8_cut.ini", "bom_utf16le.ini", "bom_utf16be.ini", "utf16_without_bom.ini",
    "utf8_chinese.ini", "utf16le_chinese.ini", "utf16be_chinese.ini",
    "utf8_nearest_forms.ini", "cp936.ini", "lead_at_end.ini", "nul_bytes.ini", "long_lines.ini", "gbk_pairs.ini",
    "empty.ini", "blank_lines_only.ini",
    "no_such_file.ini",  // deliberately absent: every answer is the default
};

// Characters that iconv's code page 936 lacks but the platform shows by a
// nearest form: checked with the program's conversion only.
const std::set<std::string> kProgramConversionOnly = {"utf8_nearest_forms.ini"};

struct Query {
    std::string file;
    std::string section, key, defaultValue;
    std::size_t bufferBytes;
};

std::string dataDir() {
    const char* source = std::getenv("UPDATER_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/data/ini";
}

// Our reader's view of a data file; a missing file has no entries.
IniFile oursFor(const std::string& file) {
    const std::optional<std::string> bytes = testsupport::fileBytes(dataDir() + "/" + file);
    return bytes ? parseOurs(*bytes) : IniFile();
}

std::string asciiCase(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return text;
}

std::string stripSpaces(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    std::size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : text.substr(start);
}

// Names worth asking for: whatever looks like a section or key name in the
// file as code page 936 text (and, for a file in that code page, in its raw
// bytes too), in the case and padding variants a caller might use.
void candidateNames(const std::string& bytes, std::set<std::string>& sections, std::set<std::string>& keys) {
    const std::string decoded = updater::decodeIniFile(bytes, updater::cp936(), &unicodeToAnsi()).text;
    const bool unicode = bytes.rfind("\xef\xbb\xbf", 0) == 0 || bytes.rfind("\xff\xfe", 0) == 0 ||
                         bytes.rfind("\xfe\xff", 0) == 0;
    std::string text = decoded;
    if (!unicode) {
        text += '\n';
        for (char c : bytes)
            if (c != '\0') text += c;
    }
    auto addVariants = [](std::set<std::string>& names, const std::string& name) {
        if (name.size() > 64) return;
        names.insert(name);
        names.insert(stripSpaces(name));
        names.insert(asciiCase(name, true));
        names.insert(asciiCase(name, false));
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = stripSpaces(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        std::size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos) {
            addVariants(sections, line.substr(1, close - 1));
            sections.insert(" " + line.substr(1, close - 1) + "\t");
        } else {
            addVariants(keys, line.substr(0, line.find('=')));
        }
    }
    for (const char* name : {"", "kelmor", "Server", "FILE0", "FILE1", "FILE2", "nosuch"}) sections.insert(name);
    for (const char* name : {"", "VERSION", "FILE", "strSoft", "URL", "nosuch"}) keys.insert(name);
}

std::vector<Query> queriesFor(const std::string& file) {
    const IniFile ours = oursFor(file);
    std::set<std::string> sections, keys;
    candidateNames(testsupport::readFileBytes(dataDir() + "/" + file), sections, keys);

    const char* kMissing = "<missing>";
    std::vector<Query> queries;
    int missingAsked = 0;
    for (const auto& section : sections) {
        for (const auto& key : keys) {
            for (std::size_t size : {2u, 100u, 73536u}) queries.push_back({file, section, key, "D", size});
            bool present = ours.get(section, key, kMissing, 73536) != kMissing;
            if (present) {
                // Cut points: tiny buffers, around double-byte characters, and
                // the buffers the program uses (100, 128 and 260 bytes).
                for (std::size_t size : {0u, 1u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 99u, 127u, 128u, 259u, 260u, 261u})
                    queries.push_back({file, section, key, "D", size});
            } else if (missingAsked++ < 3) {
                for (const char* def : {"", " ", "   ", "\"q\" ", "dflt\t ", "'x'", "\xd6\xd0\xd6\xd0\xd6\xd0", "\"abc\"", "  lead"})
                    for (std::size_t size : {1u, 2u, 3u, 4u, 5u, 6u, 100u})
                        queries.push_back({file, section, key, def, size});
            }
        }
    }
    return queries;
}


struct Answer {
    std::string platform;
    std::string oursInProgram;  // our reader with the program's conversion
};

// Runs every question of every file through the platform, in one Wine run
// (Wine's start-up is the expensive part).
std::map<std::string, std::vector<Answer>> askThePlatform(const std::map<std::string, std::vector<Query>>& queries) {
    const testsupport::ScratchDir dir("ini-differential");
    const std::string queryPath = dir.pathOf("queries.txt"), answerPath = dir.pathOf("answers.txt");
    {
        std::ofstream out(queryPath, std::ios::binary);
        for (const auto& file : kFiles) {
            std::string windowsPath = testsupport::toWindowsPath(dataDir() + "/" + file);
            for (const auto& q : queries.at(file)) {
                out << encodeHex(windowsPath) << '\t' << encodeHex(q.section) << '\t' << encodeHex(q.key) << '\t'
                    << encodeHex(q.defaultValue) << '\t' << q.bufferBytes << '\n';
            }
        }
    }
    auto result = testsupport::runWine(testsupport::windowsTestBinDir() + "/ini_oracle.exe",
                                       {testsupport::toWindowsPath(queryPath), testsupport::toWindowsPath(answerPath)},
                                       dir.path(), std::chrono::seconds(240));
    if (result.exitCode != 0)
        throw std::runtime_error("ini_oracle failed (" + std::to_string(result.exitCode) + "): " + result.output);
    std::map<std::string, std::vector<Answer>> answers;
    std::ifstream in(answerPath, std::ios::binary);
    std::string line;
    for (const auto& file : kFiles) {
        for (std::size_t i = 0; i < queries.at(file).size(); ++i) {
            if (!std::getline(in, line)) throw std::runtime_error("ini_oracle gave too few answers");
            std::size_t tab = line.find('\t');
            std::size_t oursTab = line.rfind('\t');
            answers[file].push_back(
                {decodeHex(line.substr(0, tab)).value(), decodeHex(line.substr(oursTab + 1)).value()});
        }
    }
    return answers;
}

TEST(IniDifferential, SameAnswersAsThePlatformForEveryDataFile) {
    std::map<std::string, std::vector<Query>> queries;
    for (const auto& file : kFiles) queries[file] = queriesFor(file);
    const auto answers = askThePlatform(queries);

    for (const auto& file : kFiles) {
        SCOPED_TRACE(file);
        const IniFile ours = oursFor(file);
        const bool checkNative = kProgramConversionOnly.count(file) == 0;
        const auto& asked = queries.at(file);
        const auto& answered = answers.at(file);
        int mismatches = 0;
        auto compare = [&](const char* side, const Query& q, const std::string& platform, const std::string& got) {
            if (got == platform || mismatches++ >= 10) return;
            ADD_FAILURE() << side << " [" << encodeHex(q.section) << "] " << encodeHex(q.key) << " default "
                          << encodeHex(q.defaultValue) << " buffer " << q.bufferBytes << ": platform "
                          << encodeHex(platform).substr(0, 200) << ", ours " << encodeHex(got).substr(0, 200);
        };
        for (std::size_t i = 0; i < asked.size(); ++i) {
            const Query& q = asked[i];
            // Where the platform leaves a byte unwritten (a double-byte character
            // cut by the buffer), the text in its zero-filled buffer is the reference.
            if (checkNative)
                compare("native", q, answered[i].platform, ours.get(q.section, q.key, q.defaultValue, q.bufferBytes));
            compare("in the program", q, answered[i].platform, answered[i].oursInProgram);
        }
        EXPECT_EQ(mismatches, 0) << "mismatches out of " << asked.size() << " questions";
    }
}

}  // namespace
