// The fixture of the tests that launch the stand-in engine: one engine for
// the suite and the stand-in library registered; each test starts with Path
// naming the engine and the library's settings forgotten, and must leave no
// launch it did not wait for.
#pragma once

#include <gtest/gtest.h>

#include "harness/FakeLibrary.h"
#include "harness/StubEngine.h"

namespace brelltest {

class StubEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        engine_ = new StubEngine();
        RegisterFakeShellLibrary();
    }
    static void TearDownTestSuite() {
        delete engine_;
        engine_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(engine_->ok());
        ResetFakeLibrary();
        ASSERT_TRUE(engine_->SetPath());
    }
    void TearDown() override {
        EXPECT_FALSE(engine_->LaunchPending()) << "a launch nobody waited for";
        engine_->RemoveProductKey();
    }

    inline static StubEngine* engine_ = nullptr;
};

}  // namespace brelltest
