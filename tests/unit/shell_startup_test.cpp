// Start-up, shutdown and the single-instance guard of the program, on the simulated PC.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "app/autorun_policy.h"
#include "app/crash_report.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "platform/callbacks.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

std::vector<std::string> journal;

class ShellStartup : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        journal.clear();
        RegisterOperations();
        Ops.readSettings = [] { journal.push_back("readSettings"); };
        Ops.loadUserDownloadList = [](int arg) { journal.push_back("loadUserDownloadList " + std::to_string(arg)); };
        Ops.fillDriveList = [] { journal.push_back("fillDriveList"); };
        Ops.removeStaleWorkFolders = [] { journal.push_back("removeStaleWorkFolders"); };
        Ops.writeSettings = [] { journal.push_back("writeSettings"); };
        Ops.writeExampleUserDownloadList = [] { journal.push_back("writeExampleUserDownloadList"); };
        // The repository scan would outlive the test on a detached worker.
        Ops.startRepositoryScan = nullptr;
        Ops.loadIcons = nullptr;
    }
};

const std::string kPolicies = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

TEST_F(ShellStartup, RunsStartupAndShutdownStepsInOrder) {
    sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, 145, ""});
    sim::Click(5);  // "Exit"
    EXPECT_EQ(RunProgram(), 0);
    std::vector<std::string> expected = {"readSettings",           "removeStaleWorkFolders", "loadUserDownloadList 1",
                                         "fillDriveList",          "removeStaleWorkFolders", "writeSettings",
                                         "writeExampleUserDownloadList"};
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun")->dword, 145u);
    EXPECT_FALSE(sim::ForegroundHookInstalled());
}

uint32_t policyInsideLoop = 0;

TEST_F(ShellStartup, AutoRunIsOffWhileRunningAndRestoredAfter) {
    sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, 145, ""});
    // Stale working folders are deleted right after the loop (the last call), before the policy is put back.
    Ops.removeStaleWorkFolders = [] { policyInsideLoop = sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun")->dword; };
    sim::ChooseMenu(11);  // "&Quit"
    RunProgram();
    EXPECT_EQ(policyInsideLoop, 255u);
    EXPECT_EQ(sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun")->dword, 145u);
}

TEST_F(ShellStartup, MissingPolicyValueAndKeyAreCreatedThenValueDeleted) {
    ASSERT_FALSE(sim::RegistryHasKey(kPolicies));
    sim::CloseBox(0);
    RunProgram();
    EXPECT_TRUE(sim::RegistryHasKey(kPolicies));
    // Writing 0 would switch AutoRun on for every drive type; the value goes away instead.
    EXPECT_FALSE(sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun").has_value());
}

TEST_F(ShellStartup, SecondInstanceUnderSameFileNameIsRefused) {
    sim::SetExecutablePath("D:\\Tools\\Velloran.exe");
    sim::AddForeignSemaphore("Velloran.exe");
    sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, 145, ""});
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Velloran.exe");
    EXPECT_EQ(sim::Messages()[0].text, "Программа уже запущена.");
    EXPECT_TRUE(journal.empty());
    EXPECT_FALSE(sim::Window(0).has_value());
    EXPECT_EQ(sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun")->dword, 145u);
}

TEST_F(ShellStartup, SemaphoreIsNamedAfterTheExecutableFileName) {
    sim::SetExecutablePath("E:\\Portable\\MyCopy.exe");
    sim::CloseBox(0);
    RunProgram();
    EXPECT_EQ(sim::Semaphores(), std::vector<std::string>{"MyCopy.exe"});
    EXPECT_EQ(ProgramBaseName, "MyCopy");
    EXPECT_EQ(ProgramFolder, "E:\\Portable\\");
}

TEST_F(ShellStartup, UnreadableSystemFolderLeavesGuardOnEnglishTexts) {
    sim::SetSystemDirectory("");
    sim::CloseBox(0);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SystemFolder, "");
    EXPECT_EQ(SystemDriveLetter, "");
}

// Windows ends the process after WM_ENDSESSION without returning to the loop: what the program
// changed in the system is put back there.
TEST_F(ShellStartup, TheSessionsEndWritesTheSettingsAndPutsAutoRunBack) {
    sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, 145, ""});
    SwitchAutoRunOff();
    OperationBusy = 1;
    EXPECT_FALSE(OnQueryEndSession(MainWindow));  // a disk is being written
    OperationBusy = 0;
    EXPECT_TRUE(OnQueryEndSession(MainWindow));
    OnEndSession(AboutWindow);  // every top-level window is told; the main window answers
    EXPECT_EQ(sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun")->dword, 255u);
    OnEndSession(MainWindow);
    EXPECT_EQ(sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun")->dword, 145u);
    EXPECT_EQ(journal, std::vector<std::string>{"writeSettings"});
}

// A run that was killed (the task manager, a power cut) could not put the policy back; it kept the
// value it found where the next start looks, and the next start puts it back first, unless the
// user has set the policy since.
TEST_F(ShellStartup, TheNextStartPutsBackWhatAKilledRunSwitchedOff) {
    const std::string kOwnKey = "HKEY_LOCAL_MACHINE\\Software\\Velloran Utility";
    struct Case {
        std::optional<uint32_t> before;   // the policy before the killed run, none when it did not exist
        uint32_t changedTo;                // what the user set after it; 255 when nothing
        std::optional<uint32_t> after;    // the policy after the next run has ended
    } cases[] = {{145, 255, 145}, {std::nullopt, 255, std::nullopt}, {145, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.changedTo);
        SetUp();
        if (c.before) sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, *c.before, ""});
        SwitchAutoRunOff();  // the killed run: nothing after this
        EXPECT_TRUE(sim::RegistryHasKey(kOwnKey));
        sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, c.changedTo, ""});
        sim::Click(5);  // the next run: "Exit"
        RunProgram();
        auto policy = sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun");
        EXPECT_EQ(policy ? std::optional<uint32_t>(policy->dword) : std::nullopt, c.after);
        EXPECT_FALSE(sim::RegistryHasKey(kOwnKey));
    }
}

// While a disk operation runs, Windows is told why the program holds up a shut-down; the reason
// goes when the operation has ended.
TEST_F(ShellStartup, AShutDownDuringAnOperationIsHeldUpWithAReason) {
    static std::atomic<bool> reasonSeen{false};
    reasonSeen = false;
    Ops.formatDrive = [](int, const SettingsRecord&) {
        for (int i = 0; i < 5000 && !sim::ShutdownBlockReason(MainWindow); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        reasonSeen = sim::ShutdownBlockReason(MainWindow).value_or("").find("written") != std::string::npos;
        OperationBusy = 0;
        sim::Click(5);  // "Exit"
    };
    sim::Click(2);  // "Format"
    RunProgram();
    EXPECT_TRUE(reasonSeen);
    EXPECT_FALSE(sim::ShutdownBlockReason(MainWindow));
}

// The crash report puts the policy back before its box; a fault before the policy was switched
// off leaves the registry alone.
TEST_F(ShellStartup, TheCrashReportPutsAutoRunBackFirst) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (bool switched : {true, false}) {
        EXPECT_EXIT(
            {
                sim::RegistryPut(kPolicies, "NoDriveTypeAutoRun", {true, 145, ""});
                if (switched) SwitchAutoRunOff();
                sim::OnMessage([](const sim::MessageRecord&) {
                    auto value = sim::RegistryGet(kPolicies, "NoDriveTypeAutoRun");
                    std::fprintf(stderr, "policy %u\n", value ? value->dword : 0u);
                });
                ShowCrashReport(plat::FaultRecord{});
            },
            ::testing::ExitedWithCode(0), "policy 145")
            << (switched ? "switched off" : "not yet switched");
    }
}

}  // namespace
}  // namespace vu
