// A fresh in-memory Windows installed as the port for one test, with the
// program's string table and a fresh run record, and a check that the test
// left nothing open.
#pragma once

#include "common/report.h"
#include "port/fake/fake_os.h"
#include "strings_table.h"

#include <gtest/gtest.h>

class FakeSystemTest : public ::testing::Test {
protected:
    FakeSystemTest() {
        for (const auto& [id, text] : ProgramStringTable())
            os.strings[id] = text;
        port::SetSys(&os);
        Report().Reset(); // a run of its own: nothing recorded, not quiet
    }
    ~FakeSystemTest() override { port::SetSys(nullptr); }

    void TearDown() override {
        // The run ends with the test: what it holds until then goes.
        Report().Reset();
        EXPECT_EQ(os.OpenHandleCount(), 0) << "still open: " << os.Describe();
    }

    port::FakeOs os;
};
