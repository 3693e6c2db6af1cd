#include "core/install/sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/install/steps.h"
#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::kExpectedCompletion;
using test::kExpectedFailure;
using test::U;

// Steps whose results are scripted per name (DeleteSetupExe answers twice). Every call lands in the fake's call
// log, so that steps, bar values and message boxes can be read in one order.
class ScriptedSteps : public InstallSteps {
public:
    explicit ScriptedSteps(FakePlatform& log) : log_(log) {}
    std::map<std::string, std::deque<bool>> results;

    bool SetProgram() override { return Run("SetProgram"); }
    bool SetDllFile() override { return Run("SetDllFile"); }
    bool MakeIcon() override { return Run("MakeIcon"); }
    bool ExecuteRuvok() override { return Run("ExecuteRuvok"); }
    bool DeleteSetupExe() override { return Run("DeleteSetupExe"); }
    void ReleaseInstallRoot() override { log_.calls.push_back("step ReleaseInstallRoot"); }

private:
    bool Run(const std::string& name) {
        log_.calls.push_back("step " + name);
        auto& queue = results[name];
        if (queue.empty()) return true;
        const bool result = queue.front();
        queue.pop_front();
        return result;
    }
    FakePlatform& log_;
};

class RecordingView : public ProgressView {
public:
    explicit RecordingView(FakePlatform& log) : log_(log) {}
    int bar = -1;

    void DisableTimer() override { log_.calls.push_back("view DisableTimer()"); }
    void SetProgress(int value) override {
        log_.calls.push_back("view SetProgress(" + std::to_string(value) + ")");
        bar = value;
    }
    void ReturnToMenu() override { log_.calls.push_back("view ReturnToMenu()"); }

private:
    FakePlatform& log_;
};

std::string Msg(const std::wstring& text) { return "ShowMessage(" + U(text) + ")"; }

TEST(InstallSequence, AllStepsSucceedInMilestoneOrder) {
    FakePlatform fake;
    ScriptedSteps steps(fake);
    RecordingView view(fake);

    RunInstallSequence(view, steps, fake);

    // clang-format off
    const std::vector<std::string> expected = {
        "view DisableTimer()",
        "view SetProgress(10)", "step SetProgram",
        "view SetProgress(50)", "step DeleteSetupExe",
        "view SetProgress(60)", "step MakeIcon",
        "view SetProgress(80)", "step SetDllFile",
        "view SetProgress(90)", "step ExecuteRuvok",
        "view SetProgress(95)", "step DeleteSetupExe",
        "step ReleaseInstallRoot",
        "view SetProgress(100)",
        Msg(kExpectedCompletion),
        "view ReturnToMenu()",
    };
    // clang-format on
    EXPECT_EQ(fake.calls, expected);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(U(fake.messages[0].title), U(test::kExpectedTitle));
    EXPECT_EQ(view.bar, 100);
}

TEST(InstallSequence, StopsAtTheFirstFailingStep) {
    struct Case {
        const char* label;
        std::string step;
        std::deque<bool> results;
        int bar;
        std::size_t steps_called;
    };
    const Case cases[] = {
        {"SetProgram (also the answer No)", "SetProgram", {false}, 10, 1},
        {"first DeleteSetupExe", "DeleteSetupExe", {false}, 50, 2},
        {"SetDllFile", "SetDllFile", {false}, 80, 4},
        {"ExecuteRuvok", "ExecuteRuvok", {false}, 90, 5},
        {"second DeleteSetupExe", "DeleteSetupExe", {true, false}, 95, 6},
    };
    const std::vector<std::string> order = {"SetProgram", "DeleteSetupExe", "MakeIcon",
                                            "SetDllFile", "ExecuteRuvok",   "DeleteSetupExe"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake;
        ScriptedSteps steps(fake);
        steps.results[c.step] = c.results;
        RecordingView view(fake);

        RunInstallSequence(view, steps, fake);
        EXPECT_EQ(view.bar, c.bar);

        std::vector<std::string> called;
        for (const std::string& call : fake.calls) {
            if (test::StartsWith(call, "step ")) called.push_back(call.substr(5));
        }
        std::vector<std::string> expected(order.begin(), order.begin() + c.steps_called);
        expected.push_back("ReleaseInstallRoot");
        EXPECT_EQ(called, expected);

        EXPECT_TRUE(test::MessageTextsAre(fake, {kExpectedFailure}));
        EXPECT_EQ(fake.messages.at(0).kind, MessageKind::Information);
        EXPECT_EQ(U(fake.messages.at(0).title), U(test::kExpectedTitle));
        // The root given back, the failure message, then back to the menu; the bar is not touched again.
        const std::vector<std::string> tail(fake.calls.end() - 3, fake.calls.end());
        EXPECT_EQ(tail,
                  (std::vector<std::string>{"step ReleaseInstallRoot", Msg(kExpectedFailure), "view ReturnToMenu()"}));
        EXPECT_EQ(test::IndexOf(fake.calls, "view SetProgress(100)"), -1);
    }
}

TEST(InstallSequence, CompletionMessageThatCannotBeShownTurnsIntoFailure) {
    // The completion message is still inside the tick's trapped region; the tick is the top of its call chain,
    // so even with no box at all the way back to the menu is taken.
    for (const std::wstring failing : {L"完了しました", L""}) {
        SCOPED_TRACE(failing.empty() ? "no box at all" : "the completion message");
        FakePlatform fake;
        fake.Fail("ShowMessage", failing, L"メッセージを表示できません。");
        ScriptedSteps steps(fake);
        RecordingView view(fake);

        RunInstallSequence(view, steps, fake);
        // Tried once each: the completion message, its error report, the failure message.
        ASSERT_EQ(test::CallsOf(fake, "ShowMessage").size(), 3u);
        if (!failing.empty()) {
            EXPECT_TRUE(test::IsErrorReport(fake, 0, L"frmRudIze cmdOK_Click", L"メッセージを表示できません。"));
            EXPECT_EQ(U(fake.messages.at(1).text), U(kExpectedFailure));
        }
        EXPECT_EQ(view.bar, 0);
        EXPECT_EQ(fake.calls.back(), "view ReturnToMenu()");
    }
}

TEST(InstallSequence, SecondRunInTheSameWindowStartsAgainFromTen) {
    FakePlatform fake;
    ScriptedSteps steps(fake);
    RecordingView view(fake);
    steps.results["ExecuteRuvok"] = {false};
    RunInstallSequence(view, steps, fake);
    EXPECT_EQ(view.bar, 90);

    fake.calls.clear();
    fake.messages.clear();
    RunInstallSequence(view, steps, fake);
    EXPECT_EQ(view.bar, 100);
    ASSERT_GE(fake.calls.size(), 3u);
    EXPECT_EQ(fake.calls[0], "view DisableTimer()");
    EXPECT_EQ(fake.calls[1], "view SetProgress(10)");
    EXPECT_EQ(fake.calls[2], "step SetProgram");
    EXPECT_TRUE(test::MessageTextsAre(fake, {kExpectedCompletion}));
}

// The real steps on the in-memory machine: the install root is held from the moment it is there until every
// step that runs has run, whatever the outcome, and given back before the outcome is shown.
TEST(InstallSequence, InstallRootIsHeldFromBeforeTheInstallerUntilTheEnd) {
    struct Case {
        const char* label;
        std::string failing;  // operation made to fail, none: a complete install
        std::wstring argument;
        std::string last_step_call;  // the last platform call a step made
        std::wstring outcome;
    };
    const Case cases[] = {
        {"complete", "", L"", "FileExists(C:\\DAZov\\setup.exe)", kExpectedCompletion},
        {"the installer does not end in time", "RunCopyAndWait", L"rudize.exe",
         "RunCopyAndWait(D:\\Media\\Package\\rudize.exe -> C:\\DAZov\\setup.exe 50000)", kExpectedFailure},
        {"a component cannot be registered", "StartProgram", L"MSMAPI32.OCX",
         "StartProgram(\"C:\\WINDOWS\\system32\\REGSVR32.exe\" /s MSMAPI32.OCX)", kExpectedFailure},
        {"the service tool cannot be started", "StartProgram", L"Ruvok.exe",
         "StartProgram(\"C:\\DAZov\\Info\\Ruvok.exe\" /i)", kExpectedFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake;
        fake.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");
        for (const wchar_t* name : {L"comdlg32.ocx", L"mscomct2.ocx", L"MSCC2JP.DLL", L"TransLh6.ocx", L"MSMAPI32.OCX",
                                    L"MSMPIJP.DLL", L"UNLHA32.DLL", L"vb6jp.DLL", L"RoVur.dll", L"ZozuvOvero.dll"}) {
            fake.AddFile(L"D:\\Media\\Package\\" + std::wstring(name), kAttrArchive, "component");
        }
        if (!c.failing.empty()) fake.Fail(c.failing, c.argument, L"失敗");
        const PayloadRecords records = test::RecordsOf(fake);
        RudIzeSteps steps(fake, records);
        RecordingView view(fake);

        RunInstallSequence(view, steps, fake);
        const int locked = test::IndexOf(fake.calls, "CreateHeldFolder(C:\\DAZov)");
        const std::string release = "ReleaseFolder(C:\\DAZov from parent keep Info)";
        const int released = test::IndexOf(fake.calls, release);
        const int installer = test::IndexOf(fake.calls, "FileExists(C:\\DAZov\\setup.exe)");  // the leftover check
        const int last_step = [&] {
            int last = -1;
            for (std::size_t i = 0; i < fake.calls.size(); ++i) {
                if (fake.calls[i] == c.last_step_call) last = static_cast<int>(i);
            }
            return last;
        }();
        ASSERT_NE(locked, -1);
        ASSERT_NE(released, -1) << "the root was never given back";
        EXPECT_LT(locked, installer) << "held only after something went through it";
        EXPECT_GT(released, last_step) << "given back while a step could still go through it";
        EXPECT_LT(released, test::IndexOf(fake.calls, Msg(c.outcome))) << "given back after the outcome";
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), release), 1);
    }
}

TEST(InstallSequence, InstallerStillRunningAfterItsTimeKeepsTheRootHeldUntilItEnds) {
    const std::vector<std::string> released{"ReleaseFolder(C:\\DAZov from parent keep Info)"};
    for (const bool install_again : {false, true}) {
        SCOPED_TRACE(install_again ? "an install started again before it ends" : "nothing else meanwhile");
        FakePlatform fake;
        fake.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");
        fake.wait_result = WaitResult::TimedOut;
        const PayloadRecords records = test::RecordsOf(fake);
        RudIzeSteps steps(fake, records);
        RecordingView view(fake);

        RunInstallSequence(view, steps, fake);
        // The outcome is shown and the menu is back, while the installer runs on elevated from the root.
        EXPECT_NE(test::IndexOf(fake.calls, Msg(kExpectedFailure)), -1);
        EXPECT_EQ(fake.calls.back(), "view ReturnToMenu()");
        EXPECT_TRUE(CallsOf(fake, "ReleaseFolder").empty());
        EXPECT_EQ(fake.Access(L"C:\\DAZov"), "held");
        if (install_again) {
            // Held by the same lock, and given back at that install's end, once.
            fake.wait_result = WaitResult::Finished;
            EXPECT_TRUE(steps.SetProgram());
            fake.EndPrograms();
            EXPECT_TRUE(CallsOf(fake, "ReleaseFolder").empty());
            steps.ReleaseInstallRoot();
        } else {
            fake.EndPrograms();
        }
        EXPECT_EQ(CallsOf(fake, "ReleaseFolder"), released);
        EXPECT_EQ(fake.Access(L"C:\\DAZov"), "parent");
    }
}

}  // namespace
}  // namespace setup
