// For tests that run the tray controller: a portable program folder of the test's own,
// dialogs answered by the test, message texts reset; teardown closes every window and waits
// for the fetch threads to end.
#pragma once

#include "app/CamMain.h"
#include "gui/SForm.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/MessageTexts.h"
#include "support/TestFiles.h"

#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

class TAppFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { static auto sync = ocelis::QtSynchronizer::Install(); }
    void SetUp() override {
        FDir = ocelis::test::FreshTestDir(
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name());
        std::filesystem::create_directories(FDir / "app");
        ocelis::SetAppDirOverride(FDir / "app");
        ocelis::Dialogs::SetTestMode(true);
        ocelis::Dialogs::ClearTestState();
        ocelis::ResetMessageTexts();
    }
    void TearDown() override {
        FMain.reset();
        while (!FormList.empty())
            delete FormList.back();
        // Threads may be waiting for a hand-over: keep the event loop going meanwhile.
        EXPECT_TRUE(QTest::qWaitFor(
            [] { return ocelis::FetchThreadRegistry::Instance().Count() == 0; }, 10000));
        ocelis::SetAppDirOverride({});
        ocelis::Dialogs::SetTestMode(false);
        ocelis::Dialogs::ClearTestState();
        ocelis::ResetMessageTexts();
    }

    std::filesystem::path FDir;
    std::unique_ptr<TfoCamMain> FMain;
};
