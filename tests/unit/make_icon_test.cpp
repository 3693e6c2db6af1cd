// The shortcut step: one shortcut on the desktop and one in the Programs menu, and nothing that can stop the
// installation.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/install/steps.h"
#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::U;

const std::wstring kDesktop = L"C:\\Users\\taro\\Desktop";
const std::wstring kPrograms = L"C:\\Users\\taro\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
const std::wstring kDesktopLink = kDesktop + L"\\ホルンデ.lnk";
const std::wstring kProgramsLink = kPrograms + L"\\ホルンデ.lnk";

FakePlatform Machine() {
    FakePlatform fake;
    fake.shell_folders[ShellFolderId::Desktop] = kDesktop;
    fake.shell_folders[ShellFolderId::Programs] = kPrograms;
    fake.AddFolder(kDesktop);
    fake.AddFolder(kPrograms);
    return fake;
}

std::vector<std::string> SavedPaths(const FakePlatform& fake) {
    std::vector<std::string> paths;
    for (const FakePlatform::Shortcut& s : fake.shortcuts) paths.push_back(U(s.path));
    return paths;
}

TEST(MakeIcon, MakesTheDesktopShortcutThenTheProgramsOneAsTheDeskUser) {
    FakePlatform fake = Machine();
    EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());

    // Both looked up and written with the rights of the user at the desk.
    EXPECT_EQ(CallsOf(fake, "ShellFolder"),
              (std::vector<std::string>{"ShellFolder(Desktop as desk)", "ShellFolder(Programs as desk)"}));
    EXPECT_EQ(SavedPaths(fake), (std::vector<std::string>{U(kDesktopLink), U(kProgramsLink)}));
    for (const FakePlatform::Shortcut& s : fake.shortcuts) {
        SCOPED_TRACE(U(s.path));
        EXPECT_EQ(U(s.saved_as), "desk");
        EXPECT_EQ(U(s.definition.target_path), "C:\\DAZov\\DAZov.mde");
        EXPECT_EQ(s.definition.window_style, 1);
        EXPECT_EQ(U(s.definition.icon_location), "C:\\DAZov\\Work\\ZEL.ico");
        EXPECT_EQ(s.definition.icon_index, 0);
        EXPECT_EQ(U(s.definition.description), "ホルンデ");
        EXPECT_EQ(U(s.definition.working_directory), "C:\\DAZov");
        EXPECT_EQ(s.properties, (std::vector<std::string>{"TargetPath", "WindowStyle", "IconLocation", "Description",
                                                          "WorkingDirectory"}));
    }
    EXPECT_TRUE(fake.HasFile(kDesktopLink));
    EXPECT_TRUE(fake.HasFile(kProgramsLink));
    EXPECT_TRUE(fake.messages.empty());
}

TEST(MakeIcon, ReplacesAnExistingShortcutWithoutAsking) {
    FakePlatform fake = Machine();
    fake.AddFile(kDesktopLink, kAttrArchive, "old");
    EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());
    EXPECT_EQ(fake.Content(kDesktopLink), "C:\\DAZov\\DAZov.mde");
    EXPECT_TRUE(fake.messages.empty());
}

TEST(MakeIcon, FolderThatCannotBeLookedUpGetsNoShortcut) {
    struct Case {
        const char* label;
        std::optional<std::wstring> desktop;
        std::optional<std::wstring> programs;
        std::vector<std::wstring> saved;
    };
    const Case cases[] = {
        // Neither a shortcut at the root of the drive nor a second save over the desktop one.
        {"desktop lookup fails", std::nullopt, kPrograms, {kProgramsLink}},
        {"desktop lookup gives no path", L"", kPrograms, {kProgramsLink}},
        {"Programs lookup fails", kDesktop, std::nullopt, {kDesktopLink}},
        {"Programs lookup gives no path", kDesktop, L"", {kDesktopLink}},
        {"both fail", std::nullopt, L"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        fake.shell_folders[ShellFolderId::Desktop] = c.desktop;
        fake.shell_folders[ShellFolderId::Programs] = c.programs;

        EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());
        std::vector<std::string> expected;
        for (const std::wstring& path : c.saved) expected.push_back("SaveShortcut(" + U(path) + " as desk)");
        EXPECT_EQ(CallsOf(fake, "SaveShortcut"), expected);
        EXPECT_EQ(CallsOf(fake, "ShellFolder").size(), 2u);
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST(MakeIcon, WithoutADeskUserTheShortcutsAreSetupsOwn) {
    for (const bool lookup_fails : {false, true}) {
        SCOPED_TRACE(lookup_fails ? "the desk user cannot be found" : "no shell to tell");
        FakePlatform fake = Machine();
        if (lookup_fails) fake.Fail("FindDeskUser", L"", L"アクセスが拒否されました。");
        fake.desk_user.reset();
        EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());
        EXPECT_EQ(CallsOf(fake, "ShellFolder"),
                  (std::vector<std::string>{"ShellFolder(Desktop)", "ShellFolder(Programs)"}));
        EXPECT_EQ(SavedPaths(fake), (std::vector<std::string>{U(kDesktopLink), U(kProgramsLink)}));
        EXPECT_EQ(fake.noted.size(), lookup_fails ? 1u : 0u);
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST(MakeIcon, ShortcutThatCannotBeSavedIsSkippedSilently) {
    struct Case {
        const char* label;
        std::wstring failing;  // part of the path whose save fails
        std::vector<std::wstring> made;
    };
    const Case cases[] = {
        {"desktop", L"Desktop", {kProgramsLink}},
        {"Programs", L"Start Menu", {kDesktopLink}},
        {"both", L"ホルンデ.lnk", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        fake.Fail("SaveShortcut", c.failing, L"アクセスが拒否されました。");

        EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());
        EXPECT_EQ(CallsOf(fake, "SaveShortcut").size(), 2u);  // the other one is still tried
        std::vector<std::string> expected;
        for (const std::wstring& path : c.made) expected.push_back(U(path));
        EXPECT_EQ(SavedPaths(fake), expected);
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST(MakeIcon, PropertyThatCannotBeSetIsLeftOutOfAShortcutThatIsStillSaved) {
    FakePlatform fake = Machine();
    fake.Fail("SetIconLocation", L"", L"アイコンを設定できません。");
    EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());

    EXPECT_EQ(SavedPaths(fake), (std::vector<std::string>{U(kDesktopLink), U(kProgramsLink)}));
    for (const FakePlatform::Shortcut& s : fake.shortcuts) {
        SCOPED_TRACE(U(s.path));
        EXPECT_EQ(s.properties,
                  (std::vector<std::string>{"TargetPath", "WindowStyle", "Description", "WorkingDirectory"}));
        EXPECT_EQ(U(s.definition.icon_location), "");
        EXPECT_EQ(U(s.definition.target_path), "C:\\DAZov\\DAZov.mde");
    }
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(fake.noted.size(), 2u);
}

TEST(MakeIcon, ShortcutObjectThatCannotBeMadeSkipsThatFolderOnly) {
    FakePlatform fake = Machine();
    fake.Fail("CreateShortcut", L"", L"クラスが登録されていません。");
    EXPECT_TRUE(RudIzeSteps(fake, PayloadRecords()).MakeIcon());
    EXPECT_EQ(CallsOf(fake, "CreateShortcut").size(), 2u);
    EXPECT_TRUE(fake.shortcuts.empty());
    EXPECT_TRUE(CallsOf(fake, "SaveShortcut").empty());
    EXPECT_TRUE(fake.messages.empty());
}

}  // namespace
}  // namespace setup
