// The USB printers Windows lists through SetupAPI, on a machine that has none (Wine): an empty
// list, quietly.
#include "platform/local_channel.h"

#include <gtest/gtest.h>

namespace {

TEST(UsbListing, NoPrinterAttachedListsNothing) {
    ListedPrinterDevice devices[4];
    EXPECT_EQ(localChannelService->listPrinterDevices(devices, 4), 0u);
}

} // namespace
