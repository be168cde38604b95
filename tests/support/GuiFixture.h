// The set-up of window tests: dialogs answered by the test, the built-in message texts, and
// on tear-down every window gone, every worker ended (with the GUI loop serving their
// hand-overs meanwhile) and the shared state reset. The hand-over itself is installed by
// the GUI tests' main.
#pragma once

#include "gui/SForm.h"
#include "net/FetchThreadRegistry.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "support/TestFiles.h"

#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace ocelis::test {

class TGuiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TDialogs::SetTestMode(true);
        TDialogs::ClearTestState();
        ResetMessageTexts();
    }
    // Derived tear-downs free the windows they own first, then call this.
    void TearDown() override {
        while (!FormList.empty())
            delete FormList.back();
        EXPECT_TRUE(WorkersGone());
        CamViewer = nullptr;
        SetAppDirOverride({});
        TDialogs::SetTestMode(false);
        TDialogs::ClearTestState();
        ResetMessageTexts();
    }

    // A program folder of the test's own, so that saving touches nothing else.
    static std::filesystem::path OwnAppDir(const std::string& name) {
        const std::filesystem::path dir = FreshTestDir(name);
        std::filesystem::create_directories(dir / "app");
        SetAppDirOverride(dir / "app");
        return dir;
    }
    // Waits with the GUI loop running: a worker may be handing something over.
    static bool WorkersGone(int limitMs = 10000) {
        return QTest::qWaitFor([] { return TFetchThreadRegistry::Instance().Count() == 0; },
                               limitMs);
    }
};

} // namespace ocelis::test
