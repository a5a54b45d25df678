// The compiled resources of Update.exe: dialog template, string table, icon,
// banner bitmap, version record and application manifest, as read back by resource_check.exe under
// Wine; for the plain build and for one with the test brand.
#include <expat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/named_param.h"
#include "tests/support/probe_client.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

// Window and control styles, spelled out so that the expectations read like the template.
constexpr std::uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000,
                        WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_VSCROLL = 0x00200000,
                        WS_SYSMENU = 0x00080000, WS_TABSTOP = 0x00010000;
constexpr std::uint32_t DS_SETFONT = 0x40, DS_MODALFRAME = 0x80, DS_CENTER = 0x800;
constexpr std::uint32_t WS_EX_STATICEDGE = 0x00020000, WS_EX_APPWINDOW = 0x00040000;
constexpr std::uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1;
constexpr std::uint32_t SS_LEFT = 0x0, SS_LEFTNOWORDWRAP = 0xC, SS_BITMAP = 0xE, SS_ETCHEDHORZ = 0x10;
constexpr std::uint32_t LBS_NOTIFY = 0x1, LBS_NOINTEGRALHEIGHT = 0x100;
constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE;

using Report = std::map<std::string, std::string>;

std::string hex(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Each element's attributes by its path: "namespace|name" from the root,
// joined by "/"; nothing when the text is not well-formed XML.
using Attributes = std::map<std::string, std::string>;
using XmlPaths = std::map<std::string, std::vector<Attributes>>;

std::optional<XmlPaths> parseXml(const std::string& text) {
    struct State {
        XmlPaths paths;
        std::vector<std::string> open;
    } state;
    const XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto& s = *static_cast<State*>(data);
            s.open.push_back((s.open.empty() ? "" : s.open.back() + "/") + name);
            Attributes& values = s.paths[s.open.back()].emplace_back();
            for (int i = 0; attributes[i]; i += 2) values[attributes[i]] = attributes[i + 1];
        },
        [](void* data, const XML_Char*) { static_cast<State*>(data)->open.pop_back(); });
    const bool wellFormed = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return wellFormed ? std::optional<XmlPaths>(state.paths) : std::nullopt;
}

// A build of the program and what its brand sets; the plain build shows the
// program's own texts and art. The test brand is tests/data/brand.
struct Build {
    std::string caption;
    std::string fileVersion;                           // the record's file and product version numbers
    std::map<std::string, std::string> versionTexts;  // the brand's fields of the version record
    bool branded;                                      // else the program's own banner and icon
};

const Build kPlainBuild{kWizardCaption,
                        "2.0.0.2",
                        {{"CompanyName", "Kelmor"},
                         {"FileDescription", "Kelmor 在线升级程序"},
                         {"ProductName", "Kelmor 在线升级"},
                         {"LegalCopyright", "Kelmor"},
                         {"FileVersion", "2, 0, 0, 2"},
                         {"ProductVersion", "2, 0, 0, 2"}},
                        false};
const Build kBrandedBuild{kBrandedWizardCaption,
                          "3.5.0.65535",
                          {{"CompanyName", "星图软件有限公司"},
                           {"FileDescription", "星图 在线升级程序"},
                           {"ProductName", "星图 Atlas"},
                           {"LegalCopyright", "版权所有 (C) 2026 星图软件; [内部]"},
                           {"FileVersion", "3, 5, 0, 65535"},
                           {"ProductVersion", "3, 5, 0, 65535"}},
                          true};

std::string programPath(const Build& build) {
    return build.branded ? windowsTestBinDir() + "/UpdateBranded.exe" : windowsBinDir() + "/Update.exe";
}

class ResourcesTest : public ::testing::TestWithParam<Named<Build>> {
protected:
    // One Wine run per build serves every test of it.
    void SetUp() override {
        static std::map<std::string, Report> reports;
        auto found = reports.find(GetParam().name);
        if (found == reports.end()) found = reports.emplace(GetParam().name, readReport(programPath(build()))).first;
        report_ = &found->second;
        ASSERT_EQ(at("loaded"), "1") << "resource_check.exe did not read " << programPath(build());
    }

    static Report readReport(const std::string& program) {
        const ScratchDir dir("resources-test");
        const std::string reportPath = dir.pathOf("report.txt");
        const auto result = runWine(windowsTestBinDir() + "/resource_check.exe",
                                    {toWindowsPath(program), toWindowsPath(reportPath)}, dir.path());
        Report report;
        if (result.exitCode == 0)
            for (const auto& [key, value] : parseProbeReply(readFileBytes(reportPath)).fields)
                report[key] = updater::decodeHex(value).value();
        return report;
    }

    // The reported value, or "<absent>" so a missing key fails with a readable message.
    std::string at(const std::string& key) const {
        auto it = report_->find(key);
        return it == report_->end() ? "<absent>" : it->second;
    }
    const Build& build() const { return GetParam().value; }

    const Report* report_ = nullptr;
};

TEST_P(ResourcesTest, DialogFrameMatchesTheTemplate) {
    ASSERT_EQ(at("dialog.found"), "1");
    ASSERT_EQ(at("dialog.extended"), "1");
    EXPECT_EQ(at("dialog.parsed"), "1");
    EXPECT_EQ(at("dialog.language"), "0x0804");
    EXPECT_EQ(at("dialog.style"),
              hex(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT));
    EXPECT_EQ(at("dialog.exstyle"), hex(WS_EX_APPWINDOW));
    EXPECT_EQ(at("dialog.rect"), "0,0,298,185");
    EXPECT_EQ(at("dialog.menu"), "");
    EXPECT_EQ(at("dialog.class"), "");
    EXPECT_EQ(at("dialog.caption"), build().caption);
    EXPECT_EQ(at("dialog.font"), "10,宋体");
    EXPECT_EQ(at("dialog.font.italic"), "0");
}

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    const char* rect;
    std::uint32_t style;
    std::uint32_t exStyle;
};

TEST_P(ResourcesTest, ControlsAreInTabOrderWithTheirTextsPlacesAndStyles) {
    const ExpectedControl expected[] = {
        {1, "Button", kNextCaption.c_str(), "182,166,50,14", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
        {2, "Button", "取消(&C)", "239,166,50,14", kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
        {1000, "Static", "#131", "0,0,112,185", kChild | SS_BITMAP, 0},
        {1012, "Static", "点下一步查看可用的更新.", "119,145,170,8", kChild | SS_LEFTNOWORDWRAP, 0},
        {1002, "msctls_progress32", "", "119,127,170,12", kChild | WS_BORDER, 0},
        {-1, "Static", "", "119,157,170,1", kChild | SS_ETCHEDHORZ, 0},
        {-1, "Static", "以下产品已安装在你的的系统上：", "119,28,137,8", kChild | SS_LEFT, 0},
        {1011, "ListBox", "", "119,43,170,75", kChild | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
         WS_EX_STATICEDGE},
        {-1, "Static", build().caption.c_str(), "119,4,77,8", kChild | SS_LEFT, 0},
    };
    ASSERT_EQ(at("dialog.items"), std::to_string(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ExpectedControl& e = expected[i];
        const std::string key = "item." + std::to_string(i) + ".";
        SCOPED_TRACE("control #" + std::to_string(i) + " (id " + std::to_string(e.id) + ")");
        EXPECT_EQ(at(key + "id"), std::to_string(e.id));
        // Class names are case-insensitive; predefined ones may be stored as atoms or as names.
        EXPECT_EQ(lower(at(key + "class")), lower(e.className));
        EXPECT_EQ(at(key + "text"), e.text);
        EXPECT_EQ(at(key + "rect"), e.rect);
        EXPECT_EQ(at(key + "style"), hex(e.style));
        EXPECT_EQ(at(key + "exstyle"), hex(e.exStyle));
    }
}

TEST_P(ResourcesTest, StringTableHoldsEveryMessageExactly) {
    for (const auto& [id, text] : kStringTable) EXPECT_EQ(at("string." + std::to_string(id)), text) << "string " << id;
    EXPECT_EQ(at("string.language"), "0x0804");
}

TEST_P(ResourcesTest, StringsSurviveTheChineseAnsiCodePage) {
    ASSERT_EQ(at("string.ansi.codepage"), "936") << "Wine is not running with the Chinese code page";
    EXPECT_EQ(at("string.ansi.mismatches"), "") << "ids whose ANSI text differs from the Unicode text";
}

TEST_P(ResourcesTest, IconHasLargeAndSmallImagesWithMasks) {
    std::vector<std::string> sizes;
    for (int i = 0; at("icon." + std::to_string(i) + ".image") != "<absent>"; ++i) {
        const std::string key = "icon." + std::to_string(i) + ".";
        SCOPED_TRACE(key);
        sizes.push_back(at(key + "image"));
        EXPECT_EQ(at(key + "mask"), "1");
        EXPECT_EQ(at(key + "loads"), "1");
        if (!build().branded) EXPECT_EQ(at(key + "palette"), "256");
    }
    EXPECT_EQ(at("icon.count"), std::to_string(sizes.size()));
    // The program's own icon has 256 colours and every size from 16 to 256;
    // the test brand's, 32 bits and no 256 (which its build reports).
    if (build().branded) {
        EXPECT_EQ(sizes, (std::vector<std::string>{"32x32x32", "16x16x32", "48x48x32"}));
    } else {
        EXPECT_EQ(sizes, (std::vector<std::string>{"32x32x8", "16x16x8", "48x48x8", "256x256x8"}));
    }
}

TEST_P(ResourcesTest, BannerIsATrueColourPictureOfTheSize) {
    EXPECT_EQ(at("bitmap.image"), "163x278x24");
    EXPECT_EQ(at("bitmap.compression"), "0");
    int r = 0, g = 0, b = 0, darkest = 0, brightest = 0;
    ASSERT_EQ(std::sscanf(at("bitmap.mean").c_str(), "%d,%d,%d", &r, &g, &b), 3) << at("bitmap.mean");
    ASSERT_EQ(std::sscanf(at("bitmap.range").c_str(), "%d,%d", &darkest, &brightest), 2) << at("bitmap.range");
    if (build().branded) {
        EXPECT_GT(r, b + 40) << "not the test brand's red banner";
        // A brand's banner for high DPI goes in beside it, the program's own has none.
        EXPECT_EQ(at("bitmap2x.image"), "326x556x24");
        ASSERT_EQ(std::sscanf(at("bitmap2x.mean").c_str(), "%d,%d,%d", &r, &g, &b), 3) << at("bitmap2x.mean");
        EXPECT_GT(g, r + 40) << "not the test brand's green double-size banner";
    } else {
        EXPECT_EQ(at("bitmap2x.image"), "<missing>");
        EXPECT_GT(b, r + 40) << "mean colour is not blue-toned";
        EXPECT_GT(b, g + 20) << "mean colour is not blue-toned";
        EXPECT_GT(brightest - darkest, 150) << "picture is nearly flat";
    }
}

TEST_P(ResourcesTest, VersionRecordIsChineseWithTheShippedNameAndVersion) {
    ASSERT_EQ(at("version.found"), "1");
    EXPECT_EQ(at("version.translation"), "0x0804,936");
    EXPECT_EQ(at("version.file"), build().fileVersion);
    EXPECT_EQ(at("version.product"), build().fileVersion);
    EXPECT_EQ(at("version.filetype"), "1");  // an application
    EXPECT_EQ(at("version.Comments"), "在线更新");
    EXPECT_EQ(at("version.OriginalFilename"), "Update.EXE");
    EXPECT_EQ(at("version.InternalName"), "Update");
    for (const auto& [field, text] : build().versionTexts) EXPECT_EQ(at("version." + field), text) << field;
}

// asInvoker: no file virtualization and no installer detection, whatever
// the policy; visual styles; the supported systems, Windows 7 to 11; per
// monitor DPI awareness, with the older form for Windows 8.1 to 10 1511. Wine
// honours none of these as Windows does, so the XML itself is checked.
TEST_P(ResourcesTest, ManifestRunsAsInvokerWithVisualStylesOnWindows7To11) {
    std::optional<XmlPaths> xml = parseXml(at("manifest"));
    ASSERT_TRUE(xml) << "not well-formed: " << at("manifest");
    // {"asm.v1|assembly", ...}: the path of an element in Microsoft's namespaces.
    auto elements = [&](std::initializer_list<const char*> parts) {
        std::string path;
        for (const char* part : parts) path += (path.empty() ? "" : "/") + std::string("urn:schemas-microsoft-com:") + part;
        return (*xml)[path];
    };
    EXPECT_EQ(elements({"asm.v1|assembly"}), (std::vector<Attributes>{{{"manifestVersion", "1.0"}}}));
    EXPECT_EQ(elements({"asm.v1|assembly", "asm.v3|trustInfo", "asm.v3|security", "asm.v3|requestedPrivileges",
                  "asm.v3|requestedExecutionLevel"}),
              (std::vector<Attributes>{{{"level", "asInvoker"}, {"uiAccess", "false"}}}));
    std::set<std::string> systems;
    for (const Attributes& system : elements({"asm.v1|assembly", "compatibility.v1|compatibility",
                                        "compatibility.v1|application", "compatibility.v1|supportedOS"}))
        systems.insert(system.at("Id"));
    EXPECT_EQ(systems, (std::set<std::string>{"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // 7
                                              "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // 8
                                              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // 8.1
                                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}));  // 10, 11
    EXPECT_EQ(elements({"asm.v1|assembly", "asm.v1|dependency", "asm.v1|dependentAssembly", "asm.v1|assemblyIdentity"}),
              (std::vector<Attributes>{{{"type", "win32"}, {"name", "Microsoft.Windows.Common-Controls"},
                                        {"version", "6.0.0.0"}, {"processorArchitecture", "*"},
                                        {"publicKeyToken", "6595b64144ccf1df"}, {"language", "*"}}}));
    // Element text is not kept by the parser: the declarations are matched in the text.
    const std::string settings = "urn:schemas-microsoft-com:asm.v1|assembly/urn:schemas-microsoft-com:asm.v3|application/"
                                 "urn:schemas-microsoft-com:asm.v3|windowsSettings";
    EXPECT_EQ((*xml)[settings + "/http://schemas.microsoft.com/SMI/2005/WindowsSettings|dpiAware"].size(), 1u);
    EXPECT_EQ((*xml)[settings + "/http://schemas.microsoft.com/SMI/2016/WindowsSettings|dpiAwareness"].size(), 1u);
    EXPECT_NE(at("manifest").find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(at("manifest").find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Builds, ResourcesTest,
                         ::testing::Values(Named<Build>{"Plain", kPlainBuild}, Named<Build>{"Branded", kBrandedBuild}),
                         byName);

}  // namespace
}  // namespace testsupport
