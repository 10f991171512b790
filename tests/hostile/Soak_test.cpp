// A short soak: repeated polls of an unchanged feed leak no descriptor and no thread. The memory and
// time figures are printed, never asserted.
#include <filesystem>
#include <iostream>

#include <gtest/gtest.h>

#include "tools/harness/TempDir.h"
#include "tools/harness/loopback/SoakRun.h"

namespace hostile {
namespace {

using namespace harness;

TEST(Soak, TwoHundredPollsLeakNoDescriptorOrThread) {
    TempDir dir(TempDir::Backing::Memory);
    SoakOptions options;
    options.polls = 200;
    options.warmupPolls = 20;
    options.directory = dir.ModuleDir();
    const SoakFigures figures = RunSoak(options);
    PrintFigures(std::cout, figures);

    EXPECT_LE(figures.fdsAfter, figures.fdsBefore);
    EXPECT_EQ(figures.threadsAfter, figures.threadsBefore);
    EXPECT_EQ(figures.storedRows, options.storeRows + options.feedItems);
    EXPECT_EQ(figures.feedRequests, options.polls);
}

}  // namespace
}  // namespace hostile
