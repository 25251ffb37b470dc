#include "tests/driver/DriverTestSupport.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace {

constexpr uint32_t k64 = KvonRecord::kSelectorExecute64;
constexpr uint32_t kT64 = KvonRecord::kSelectorExecuteT64;
constexpr auto kIn = ScsiDataTransferDirection::fromTargetToInitiator;
constexpr auto kOut = ScsiDataTransferDirection::fromInitiatorToTarget;

using ExecuteTest = DriverFixture;

// The record runs as one task: its command bytes (each accepted length), direction, count
// and time-out reach the recorder; data flows in or out; the status comes back, and a
// failed delivery shows only in the status.
TEST_F(ExecuteTest, RunsTheRecordAsOneTaskAndReturnsTheStatus) {
  std::array<uint8_t, 8> data{1, 2, 3, 4};
  std::array<uint8_t, 18> sense{};
  const std::vector<ClientBuffer> lent{ClientBuffer::of(data.data(), 8),
                                       ClientBuffer::of(sense.data(), 18)};
  const auto none = ScsiDataTransferDirection::none;
  struct Row {
    const char* name;
    KvonExSCSIIOStructT record;  // with a time-out, sent on the T selector
    ScriptedTarget::Answer answer;
    ScsiDataTransferDirection direction;
    uint32_t status = 0;
  };
  const auto length = [](uint32_t bytes) {
    auto r = record();
    r.request.commandLength = bytes;
    return r;
  };
  auto withAddress = record();
  withAddress.request.dataAddress = address(data.data());  // ignored without a length
  const std::vector<Row> rows{
      {"data in", record(0x80, data.data(), 8, sense.data(), 18),
       ScriptedTarget::data({'K', 'V', '-', '4', '1', '1', '0', 0}), kIn},
      {"data out", record(0x00, data.data(), 4, sense.data(), 18, 300000), {}, kOut},
      {"no data", record(), ScriptedTarget::status(ScsiTaskStatus::kBusy), none,
       ScsiTaskStatus::kBusy},
      {"address without length", withAddress, {}, none},
      {"delivery failed", record(), ScriptedTarget::failure(ScsiTaskStatus::kDeliveryFailure), none,
       ScsiTaskStatus::kDeliveryFailure},
      {"6 bytes", length(6), {}, none},
      {"10 bytes", length(10), {}, none},
      {"12 bytes", length(12), {}, none},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    target->script(row.answer);
    const uint32_t timeout = row.record.timeout;
    const Outcome outcome = call(timeout != 0 ? kT64 : k64, row.record, lent);
    EXPECT_EQ(outcome.result, kIOReturnSuccess);
    EXPECT_EQ(outcome.status, row.status);
    EXPECT_EQ(outcome.outputSize, 4U);
    const ScriptedTarget::Seen& seen = target->seen().back();
    EXPECT_EQ(seen.cdb.size(), row.record.request.commandLength);
    EXPECT_EQ(seen.cdb[0], 0xE0);
    EXPECT_EQ(seen.direction, row.direction);
    EXPECT_EQ(seen.requestedCount, row.record.request.dataLength);
    EXPECT_EQ(seen.timeout, timeout != 0 ? timeout : 10000U);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), "KV-4110");
  EXPECT_EQ(target->seen()[1].dataOut, (std::vector<uint8_t>{'K', 'V', '-', '4'}));
}

TEST_F(ExecuteTest, CheckConditionFailsTheCallAndCopiesSenseUpToItsLength) {
  const std::vector<uint8_t> sense18{0x70, 0, 0x05, 0,    0, 0, 0, 0x0A, 0,
                                     0,    0, 0,    0x24, 0, 0, 0, 0,    0};
  struct Row {
    uint64_t senseLength;
    size_t copied;
  };
  for (const Row row : {Row{18, 18}, Row{4, 4}, Row{32, 18}, Row{0, 0}}) {
    SCOPED_TRACE(row.senseLength);
    std::array<uint8_t, 32> sense{};
    sense.fill(0xEE);
    std::array<uint8_t, 8> data{};
    target->script(ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, sense18));
    const Outcome outcome =
        call(k64, record(0x80, data.data(), 8, sense.data(), row.senseLength),
             {ClientBuffer::of(data.data(), 8), ClientBuffer::of(sense.data(), sense.size())});
    EXPECT_EQ(outcome.result, kIOReturnIOError);
    EXPECT_EQ(outcome.status, ScsiTaskStatus::kCheckCondition);
    for (size_t i = 0; i < sense.size(); ++i) {
      EXPECT_EQ(sense[i], i < row.copied ? sense18[i] : 0xEE) << "sense byte " << i;
    }
  }
}

// A record is the client's data: whatever is wrong in it is refused before anything is sent.
TEST_F(ExecuteTest, RefusesRecordsThatDoNotHoldTogether) {
  std::array<uint8_t, 16> data{};
  std::array<uint8_t, 18> sense{};
  const std::vector<ClientBuffer> lent{ClientBuffer::of(data.data(), data.size()),
                                       ClientBuffer::of(sense.data(), sense.size())};
  using R = KvonExSCSIIOStructT&;
  struct Row {
    const char* name;
    std::function<void(R)> change;
    std::vector<ClientBuffer> lent;
    IOReturn expected = kIOReturnBadArgument;
  };
  const std::vector<Row> rows{
      {"command length 0", [](R r) { r.request.commandLength = 0; }, lent},
      {"command length 5", [](R r) { r.request.commandLength = 5; }, lent},
      {"command length 11", [](R r) { r.request.commandLength = 11; }, lent},
      {"command length 17", [](R r) { r.request.commandLength = 17; }, lent},
      {"command length 2^32-1", [](R r) { r.request.commandLength = 0xFFFFFFFF; }, lent},
      {"length without buffer", [](R r) { r.request.dataAddress = 0; }, lent},
      {"length beyond the buffer", [](R r) { r.request.dataLength = 17; }, lent},
      {"buffer not handed over", [](R) {}, {}},
      {"range wrapping around", [](R r) { r.request.dataLength = UINT64_MAX; }, lent},
      {"address past the buffer", [&](R r) { r.request.dataAddress = address(&data[8]); }, lent},
      {"sense beyond its buffer", [](R r) { r.request.senseLength = 19; }, lent},
      {"reading into read-only memory",
       [](R) {},
       {ClientBuffer::readOnly(data.data(), data.size()), lent[1]},
       kIOReturnNotWritable},
      {"time-out 0", [](R r) { r.timeout = 0; }, lent},
      {"time-out over an hour", [](R r) { r.timeout = 3'600'001; }, lent},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto r = record(0x80, data.data(), data.size(), sense.data(), sense.size(), 5000);
    row.change(r);
    const Outcome outcome = call(kT64, r, row.lent);
    EXPECT_EQ(outcome.result, row.expected);
    EXPECT_EQ(outcome.status, ScsiTaskStatus::kNoStatus);
  }
  EXPECT_TRUE(target->seen().empty());
}

TEST_F(ExecuteTest, ASecondClientTakesOverTheDevice) {
  const auto second = makeTask();
  uint32_t other = 0;
  ASSERT_EQ(registry.openUserClient(recorder.driver, 0, &other, second), kIOReturnSuccess);
  std::array<uint8_t, 8> data{};
  const auto r = record(0x80, data.data(), 8, nullptr, 0);
  const std::vector<ClientBuffer> lent{ClientBuffer::of(data.data(), 8)};
  // Requests are mapped in the newest client's memory, where the first one's buffers are not.
  EXPECT_EQ(call(k64, r, lent).result, kIOReturnBadArgument);
  EXPECT_EQ(call(k64, r, lent, other).result, kIOReturnSuccess);
  EXPECT_EQ(recorder.driver->driver()->owningTask(), second);
}

}  // namespace
