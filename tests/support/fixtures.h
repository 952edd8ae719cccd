// Test fixtures shared by the test programs: a library connected to the
// scripted fake driver, and one connected to the board simulator.
#pragma once

#include <gtest/gtest.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include "fake_driver.h"

namespace zeltest {

// Connected to a fake "ZELDRV"; the connect's own version request is
// already cleared from its log.
class ConnectedFakeDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ZelDrvConnectLib(), 0);
        driver_.ClearRequests();
    }
    void TearDown() override { ZelDrvReleaseLib(); }

    FakeDriver driver_{"ZELDRV"};
};

// Connected to the simulator in its power-on state.
class ConnectedSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ZelSimInstall(), 1u);
        ZelSimReset();
        ASSERT_EQ(ZelDrvConnectLib(), 0);
    }
    void TearDown() override {
        ZelDrvReleaseLib();
        ZelSimUninstall();
    }
};

}  // namespace zeltest
