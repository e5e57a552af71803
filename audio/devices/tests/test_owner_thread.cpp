// The one-thread rule of the device entry points and the user-interface
// queue: the claim itself in every build, the stop at a misplaced call in
// debug builds.
#include <gtest/gtest.h>

#include <thread>

#include "audio/devices/owner_thread.h"
#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "audio/devices/waveout.h"

using namespace murrel;

namespace {

bool claim_on_other_thread(ThreadClaim& claim) {
    bool got = true;
    std::thread([&] { got = claim.claim_or_holds(); }).join();
    return got;
}

TEST(ThreadClaimTest, TheFirstThreadHoldsTheClaimUntilItIsReleased) {
    ThreadClaim claim;
    EXPECT_FALSE(claim.claimed());
    EXPECT_FALSE(claim.holds());
    EXPECT_TRUE(claim.claim_or_holds());
    EXPECT_TRUE(claim.claim_or_holds());  // again, same thread
    EXPECT_TRUE(claim.holds());
    EXPECT_FALSE(claim_on_other_thread(claim));
    EXPECT_TRUE(claim.holds());  // a refused thread takes nothing away

    claim.release();
    EXPECT_FALSE(claim.claimed());
    EXPECT_TRUE(claim_on_other_thread(claim));
    EXPECT_TRUE(claim.claimed());
    EXPECT_FALSE(claim.holds());
    EXPECT_FALSE(claim.claim_or_holds());
}

TEST(ThreadClaimTest, OnlyOneOfManyThreadsRacingForTheClaimGetsIt) {
    for (int round = 0; round < 50; ++round) {
        ThreadClaim claim;
        std::atomic<int> winners{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&] { winners += claim.claim_or_holds() ? 1 : 0; });
        for (std::thread& t : threads) t.join();
        ASSERT_EQ(winners.load(), 1);
    }
}

#ifndef NDEBUG
// Only debug builds check; a release build (the default test build) runs
// the claim tests above.
TEST(OwnerThreadDeathTest, ADeviceStartedFromASecondThreadStopsTheProgramNamingTheCall) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH({
        VirtualBackend backend;
        PumpDispatcher ui;
        TWaveFormatEx format = MakePCMFormat(16, 1, 16000);
        TMMWaveOut out(&backend, &ui);
        out.SetWaveFormat(&format);
        out.Open();
        std::thread([&] { out.Start(); }).join();
    }, "TMMWaveOut::Start called from a thread other than the one that owns it");
}

TEST(OwnerThreadDeathTest, TheUserInterfaceQueueIsPumpedByOneThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH({
        PumpDispatcher ui;
        ui.pump();
        std::thread([&] { ui.pump(); }).join();
    }, "PumpDispatcher::pump called from a thread");
}
#endif

}  // namespace
