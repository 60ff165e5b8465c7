// FakeSystemTest with the in-memory WinINet installed as well; a test also
// ends with no internet handle open.
#pragma once

#include "fake_system.h"
#include "port/fake/fake_internet.h"

class FakeNetSystemTest : public FakeSystemTest {
protected:
    FakeNetSystemTest() { port::SetNet(&net); }
    ~FakeNetSystemTest() override { port::SetNet(nullptr); }

    void TearDown() override {
        FakeSystemTest::TearDown();
        EXPECT_EQ(net.OpenHandleCount(), 0) << net.Describe();
    }

    port::FakeInternet net{os};
};
