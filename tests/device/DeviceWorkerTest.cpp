// Requests, time-outs, cancellation and completion of the device worker.

#include "DeviceTestSupport.h"

namespace kalvort::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(DeviceFixture, BlankModuleReadsAsEmptyCatalog) {
  const CompletionCall call = Run([&] { return device->StartReadCatalog(); });
  EXPECT_EQ(call.event, "GetCatalog");
  EXPECT_EQ(call.error, deOK);
  EXPECT_NE(call.thread, std::this_thread::get_id());
  EXPECT_EQ(device->CatalogCount(), 0);
  EXPECT_EQ(device->ProgressPosition(), 100);
}

}  // namespace
}  // namespace kalvort::testing
