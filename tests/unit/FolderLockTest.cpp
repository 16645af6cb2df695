#include "platform/FolderLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

using platform::FolderLock;

TEST(FolderLock, OneHolderAtATimeUntilItGoes) {
    TempDir dir;
    auto first = std::make_unique<FolderLock>(dir.Path());
    EXPECT_EQ(first->GetState(), FolderLock::State::Held);
    EXPECT_EQ(FolderLock(dir.Path()).GetState(), FolderLock::State::HeldElsewhere);
    first.reset();
    EXPECT_EQ(FolderLock(dir.Path()).GetState(), FolderLock::State::Held);
    // A folder where the lock file cannot be made locks nobody out.
    EXPECT_EQ(FolderLock(dir.File("missing/")).GetState(), FolderLock::State::Unavailable);
}
