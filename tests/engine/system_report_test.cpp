// The debug report's file versions and system description, read from the libraries this
// build made and from a private registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine/file_version.h"
#include "engine/system_report.h"
#include "platform/core/registry.h"
#include "tests/support/test_home.h"

namespace tess::engine::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

void SetText(HKEY root, const std::string& path, const char* name, const std::string& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const unsigned char*>(text.c_str()),
                             DWORD(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetNumber(HKEY root, const std::string& path, const char* name, DWORD number) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(root, path.c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&number), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

const std::string kProduct = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur";

TEST(FileVersion, LibrariesAndDamage) {
    tess::test::TempHome home;
    const fs::path lib = tess::test::libDir() / "libHollowmere.so";
    const std::string bytes = ReadAll(lib);
    const std::string version = TESS_MODULE_VERSION;
    const std::string stored = version + '\0';
    ASSERT_NE(bytes.find(stored), std::string::npos);

    // The version text overwritten so that it no longer ends: present but damaged.
    std::string unterminated = bytes;
    for (size_t at = unterminated.find(stored); at != std::string::npos; at = unterminated.find(stored, at))
        unterminated.replace(at, stored.size(), std::string(stored.size(), 'x'));
    WriteAll(home.path() / "unterminated.so", unterminated);
    // Cut short before its section table.
    WriteAll(home.path() / "truncated.so", bytes.substr(0, bytes.size() / 2));
    WriteAll(home.path() / "text.so", "not a library at all\n");

    struct Case {
        fs::path path;
        VersionState state;
        std::string text;
    } cases[] = {
        {lib, VersionState::kRead, version},
        {tess::test::libDir() / "libTidewater.so", VersionState::kRead, version},
        {tess::test::libDir() / "libHeronwick.so", VersionState::kRead, version},
        // A library of the build that is not the product's carries no version.
        {tess::test::libDir() / "libtessplatform.so", VersionState::kNoVersionInfo, kVersionNotAvailable},
        {home.path() / "missing.so", VersionState::kNoVersionInfo, kVersionNotAvailable},
        {home.path() / "text.so", VersionState::kNoVersionInfo, kVersionNotAvailable},
        {home.path() / "unterminated.so", VersionState::kUnreadable, kVersionNoData},
        {home.path() / "truncated.so", VersionState::kUnreadable, kVersionNoData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        const FileVersion v = ReadFileVersion(c.path.string());
        EXPECT_EQ(v.state, c.state);
        EXPECT_EQ(v.fileVersion, c.text);
        EXPECT_EQ(v.productVersion, c.text);
    }
}

TEST(MailClientProgramPath, Commands) {
    struct Case {
        const char* command;
        const char* path;
    } cases[] = {
        {"rundll32.exe /usr/lib/libmailer.so,OpenMailer %1", "/usr/lib/libmailer.so"},
        {"\"/opt/mail client/bin/mua\" -compose \"%1\"", "/opt/mail client/bin/mua"},
        {"/usr/bin/mua,-compose", "/usr/bin/mua"},
        {"  /usr/bin/mua -compose %1", "/usr/bin/mua"},
        {"\"/usr/bin/unclosed -x", "/usr/bin/unclosed"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(MailClientProgramPath(c.command), c.path);
    }
}

TEST(SystemReport, GathersRegistryAndClients) {
    tess::test::TempHome home;
    setenv("TESS_REPORT_DIR", "/opt/tallyhop", 1);
    SetText(HKEY_CURRENT_USER, "Software\\Harrow Systems\\Skiff Desktop\\Core", "Path", "%TESS_REPORT_DIR%/bin",
            REG_EXPAND_SZ);
    SetNumber(HKEY_CURRENT_USER, "Software\\Harrow Systems\\Skiff Desktop\\Core", "TallyhopVersion", 6);
    SetText(HKEY_LOCAL_MACHINE, "Software\\Clients\\Mail", "", "Quillbox");
    const std::string hollowmere = (tess::test::libDir() / "libHollowmere.so").string();
    SetText(HKEY_LOCAL_MACHINE, "Software\\Clients\\Mail\\Quillbox\\shell\\open\\command", "",
            "rundll32.exe " + hollowmere + ",OpenMail");
    SetNumber(HKEY_CURRENT_USER, kProduct, "Debug", 1);
    SetText(HKEY_CURRENT_USER, kProduct + "\\MsgHostPlugins", "Heronwick", "Heronwick");

    const CSystemReport report;
    unsetenv("TESS_REPORT_DIR");
    EXPECT_FALSE(report.computerName.empty());
    EXPECT_FALSE(report.userName.empty());
    EXPECT_NE(report.operatingSystem.find("Build : "), std::string::npos) << report.operatingSystem;
    EXPECT_EQ(report.tallyhopPath, "/opt/tallyhop/bin");
    EXPECT_EQ(report.tallyhopVersion, "6");
    EXPECT_EQ(report.defaultMail, "Quillbox");
    EXPECT_EQ(report.defaultNews, "");
    ASSERT_EQ(report.mailClients.size(), 1u);
    EXPECT_EQ(report.mailClients[0].name, "Quillbox");
    EXPECT_EQ(report.mailClients[0].path, hollowmere);
    EXPECT_EQ(report.mailClients[0].fileVersion, TESS_MODULE_VERSION);
    // The stand-in Simple MAPI library is the system's, not the product's.
    EXPECT_EQ(report.mapi.fileVersion, kVersionNotAvailable);
    ASSERT_EQ(report.general.size(), 1u);
    EXPECT_EQ(report.general[0].name, "Debug");
    EXPECT_EQ(report.general[0].type, DWORD(REG_DWORD));
    EXPECT_EQ(report.general[0].number, 1u);
    ASSERT_EQ(report.msgHostPlugins.size(), 1u);
    EXPECT_EQ(report.msgHostPlugins[0].text, "Heronwick");
    EXPECT_EQ(report.msgHostPlugins[0].keyPath, kProduct + "\\MsgHostPlugins");
    EXPECT_TRUE(report.msgSyncPlugins.empty());
    EXPECT_TRUE(report.configPlugins.empty());
}

TEST(FileVersionReport, LinesInOrder) {
    tess::test::TempHome home;
    SetText(HKEY_CURRENT_USER, kProduct + "\\MsgSyncPlugins", "Tidewater", "Tidewater");
    SetText(HKEY_CURRENT_USER, kProduct + "\\MsgHostPlugins", "Heronwick", "Heronwick");
    SetText(HKEY_CURRENT_USER, kProduct + "\\MsgHostPlugins", "Ghostwick", "Ghostwick");
    SetText(HKEY_CURRENT_USER, kProduct + "\\ConfigPlugins", "ConfHost", "Hollowmere");

    auto versionLine = [](const std::string& file) {
        char line[1024];
        std::snprintf(line, sizeof line, "%-30s %s", (tess::test::libDir() / file).c_str(), TESS_MODULE_VERSION);
        return std::string(line);
    };
    auto missingLine = [](const std::string& file) {
        char line[1024];
        std::snprintf(line, sizeof line, "%-30s Could not get version info.", (tess::test::libDir() / file).c_str());
        return std::string(line);
    };
    const std::vector<std::string> expected = {
        versionLine("libHollowmere.so"), missingLine("LarkWiz4.exe"),    versionLine("libTidewater.so"),
        versionLine("libHeronwick.so"),  missingLine("libGhostwick.so"), versionLine("libHollowmere.so"),
    };
    // The host list's order is the registry's enumeration order.
    std::vector<std::string> lines = FileVersionReportLines();
    ASSERT_EQ(lines.size(), expected.size());
    if (lines[3] != expected[3]) std::swap(lines[3], lines[4]);
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace tess::engine::test
