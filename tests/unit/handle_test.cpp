#include "launcher/handle.h"

#include <gtest/gtest.h>

namespace sorvane {
namespace {

TEST(HandleOwner, KeepsOnlyValidHandlesAndNeverClosesTheOneItKeeps)
{
    EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE));
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    event.reset(event.get());
    EXPECT_TRUE(SetEvent(event.get())) << "SetEvent after a reset to itself: error " << GetLastError();
}

}  // namespace
}  // namespace sorvane
