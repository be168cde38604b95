// For tests that run the tray controller: a window test with a portable program folder of
// the test's own.
#pragma once

#include "app/CamMain.h"
#include "support/GuiFixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

class TAppFixture : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        FDir =
            OwnAppDir(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name());
    }
    void TearDown() override {
        FMain.reset();
        TGuiFixture::TearDown();
    }

    std::filesystem::path FDir;
    std::unique_ptr<TfoCamMain> FMain;
};
