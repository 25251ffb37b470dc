#include "driver/ScsiExchangeLog.h"
#include "tests/driver/DriverTestSupport.h"

#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace {

using Sel = uint32_t;
constexpr Sel k64 = KvonRecord::kSelectorExecute64;
constexpr Sel kT64 = KvonRecord::kSelectorExecuteT64;
constexpr auto kIn = ScsiDataTransferDirection::fromTargetToInitiator;
constexpr auto kOut = ScsiDataTransferDirection::fromInitiatorToTarget;

using ExecuteTest = DriverFixture;

TEST_F(ExecuteTest, ReadsTheRecordersAnswerIntoTheClientsBuffer) {
  std::array<uint8_t, 8> data{};
  std::array<uint8_t, 18> sense{};
  target->script(ScriptedTarget::data({'K', 'V', '-', '4', '1', '1', '0', 0}));
  const Outcome outcome =
      call(k64, record(0x80, data.data(), data.size(), sense.data(), 18),
           {ClientBuffer::of(data.data(), 8), ClientBuffer::of(sense.data(), 18)});
  EXPECT_EQ(outcome.result, kIOReturnSuccess);
  EXPECT_EQ(outcome.status, ScsiTaskStatus::kGood);
  EXPECT_EQ(outcome.outputSize, 4U);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), "KV-4110");
  ASSERT_EQ(target->seen().size(), 1U);
  const auto& seen = target->seen()[0];
  EXPECT_EQ(seen.cdb.size(), 16U);
  EXPECT_EQ(seen.cdb[0], 0xE0);
  EXPECT_EQ(seen.direction, kIn);
  EXPECT_EQ(seen.requestedCount, 8U);
  EXPECT_EQ(seen.timeout, 10000U);
}

TEST_F(ExecuteTest, SendsTheClientsDataToTheRecorderAndTheTimeoutOfTheTVariant) {
  const std::array<uint8_t, 4> image{1, 2, 3, 4};
  std::array<uint8_t, 18> sense{};
  auto r = record(0x00, image.data(), 4, sense.data(), 18, 300000);
  const Outcome outcome =
      call(kT64, r, {ClientBuffer::readOnly(image.data(), 4), ClientBuffer::of(sense.data(), 18)});
  EXPECT_EQ(outcome.result, kIOReturnSuccess);
  ASSERT_EQ(target->seen().size(), 1U);
  EXPECT_EQ(target->seen()[0].direction, kOut);
  EXPECT_EQ(target->seen()[0].dataOut, std::vector<uint8_t>(image.begin(), image.end()));
  EXPECT_EQ(target->seen()[0].timeout, 300000U);
}

TEST_F(ExecuteTest, ARequestWithoutDataRunsWithoutDataPhase) {
  std::array<uint8_t, 8> unused{};
  for (const uint64_t dataAddress : {uint64_t{0}, address(unused.data())}) {
    auto r = record(0xFF, nullptr, 0, nullptr, 0);
    r.request.dataAddress = dataAddress;
    target->script(ScriptedTarget::status(ScsiTaskStatus::kBusy));
    const Outcome outcome = call(k64, r, {});
    EXPECT_EQ(outcome.result, kIOReturnSuccess);
    EXPECT_EQ(outcome.status, ScsiTaskStatus::kBusy);
    EXPECT_EQ(target->seen().back().direction, ScsiDataTransferDirection::none);
    EXPECT_EQ(target->seen().back().requestedCount, 0U);
  }
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

TEST_F(ExecuteTest, ATransportFailureShowsOnlyInTheStatus) {
  target->script(ScriptedTarget::failure(ScsiTaskStatus::kDeliveryFailure));
  const Outcome outcome = call(k64, record(0xFF, nullptr, 0, nullptr, 0), {});
  EXPECT_EQ(outcome.result, kIOReturnSuccess);
  EXPECT_EQ(outcome.status, ScsiTaskStatus::kDeliveryFailure);
}

TEST_F(ExecuteTest, EachAcceptedCommandLengthSendsThatManyBytes) {
  for (const uint32_t length : {6U, 10U, 12U, 16U}) {
    auto r = record(0xFF, nullptr, 0, nullptr, 0);
    r.request.commandLength = length;
    EXPECT_EQ(call(k64, r, {}).result, kIOReturnSuccess);
    EXPECT_EQ(target->seen().back().cdb.size(), length);
  }
}

// A record is the client's data: whatever is wrong in it is refused before anything is sent.
TEST_F(ExecuteTest, RefusesRecordsThatDoNotHoldTogether) {
  std::array<uint8_t, 16> data{};
  std::array<uint8_t, 18> sense{};
  const std::vector<ClientBuffer> lent{ClientBuffer::of(data.data(), data.size()),
                                       ClientBuffer::of(sense.data(), sense.size())};
  struct Row {
    const char* name;
    std::function<void(KvonExSCSIIOStructT&)> change;
    std::vector<ClientBuffer> lent;
    IOReturn expected;
  };
  const std::vector<Row> rows{
      {"command length 0", [](auto& r) { r.request.commandLength = 0; }, lent,
       kIOReturnBadArgument},
      {"command length 5", [](auto& r) { r.request.commandLength = 5; }, lent,
       kIOReturnBadArgument},
      {"command length 11", [](auto& r) { r.request.commandLength = 11; }, lent,
       kIOReturnBadArgument},
      {"command length 17", [](auto& r) { r.request.commandLength = 17; }, lent,
       kIOReturnBadArgument},
      {"command length 2^32-1", [](auto& r) { r.request.commandLength = 0xFFFFFFFF; }, lent,
       kIOReturnBadArgument},
      {"length without buffer", [](auto& r) { r.request.dataAddress = 0; }, lent,
       kIOReturnBadArgument},
      {"length beyond the buffer", [](auto& r) { r.request.dataLength = 17; }, lent,
       kIOReturnBadArgument},
      {"buffer not handed over", [](auto&) {}, {}, kIOReturnBadArgument},
      {"range wrapping around", [](auto& r) { r.request.dataLength = UINT64_MAX; }, lent,
       kIOReturnBadArgument},
      {"address past the buffer",
       [&data](auto& r) { r.request.dataAddress = address(data.data()) + 8; }, lent,
       kIOReturnBadArgument},
      {"sense beyond its buffer", [](auto& r) { r.request.senseLength = 19; }, lent,
       kIOReturnBadArgument},
      {"reading into read-only memory",
       [](auto&) {},
       {ClientBuffer::readOnly(data.data(), data.size()),
        ClientBuffer::of(sense.data(), sense.size())},
       kIOReturnNotWritable},
      {"time-out 0", [](auto& r) { r.timeout = 0; }, lent, kIOReturnBadArgument},
      {"time-out over an hour",
       [](auto& r) { r.timeout = com_korvane_DSSBlockCommandsDevice::kMaximumTimeout + 1; }, lent,
       kIOReturnBadArgument},
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

// Clients of the 32-bit layout name buffers below 4 GiB.
TEST_F(ExecuteTest, ThirtyTwoBitRecordsAreWidened) {
  void* low =
      mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  ASSERT_NE(low, MAP_FAILED);
  auto* data = static_cast<uint8_t*>(low);
  uint8_t* sense = data + 64;
  const std::vector<ClientBuffer> lent{ClientBuffer::of(data, 8), ClientBuffer::of(sense, 18)};
  target->script(ScriptedTarget::data({9, 8, 7}));
  EXPECT_EQ(call(KvonRecord::kSelectorExecute32, record(0x80, data, 8, sense, 18), lent).result,
            kIOReturnSuccess);
  EXPECT_EQ(data[2], 7);
  target->script(ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, {0x70, 0, 0x06}));
  const Outcome checked =
      call(KvonRecord::kSelectorExecuteT32, record(0x80, data, 8, sense, 18, 2500), lent);
  EXPECT_EQ(checked.result, kIOReturnIOError);
  EXPECT_EQ(sense[2], 0x06);
  EXPECT_EQ(target->seen().back().timeout, 2500U);
  munmap(low, 4096);
}

TEST_F(ExecuteTest, CrossEndianClientsHaveFieldsAndStatusSwapped) {
  RegistryProperties properties{{"IOUserClientCrossEndian", true}};
  uint32_t swapped = 0;
  ASSERT_EQ(registry.openUserClient(recorder.driver, 0, &swapped, client, &properties),
            kIOReturnSuccess);
  EXPECT_EQ(properties.at("IOUserClientCrossEndianCompatible"), RegistryValue(true));
  const auto user = userClient();
  ASSERT_NE(user, nullptr);
  ASSERT_TRUE(user->isCrossEndian());
  std::array<uint8_t, 8> data{};
  std::array<uint8_t, 18> sense{};
  auto answer = ScriptedTarget::status(ScsiTaskStatus::kCheckCondition);
  answer.dataIn = {0x5A};
  target->script(answer);
  const Outcome outcome =
      call(kT64, record(0x80, data.data(), 8, sense.data(), 18, 1000),
           {ClientBuffer::of(data.data(), 8), ClientBuffer::of(sense.data(), 18)}, swapped,
           /*crossEndian=*/true);
  EXPECT_EQ(outcome.result, kIOReturnIOError);
  EXPECT_EQ(outcome.status, ScsiTaskStatus::kCheckCondition);
  EXPECT_EQ(data[0], 0x5A);
  EXPECT_EQ(target->seen().back().timeout, 1000U);
  EXPECT_EQ(target->seen().back().cdb[0], 0xE0);  // command bytes are never swapped
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

TEST_F(ExecuteTest, EveryExchangePassesTheExchangeLog) {
  std::vector<std::vector<uint8_t>> logged;
  ScsiExchangeLog::setObserver([&logged](const ScsiTask& task) {
    const auto cdb = task.commandDescriptorBlock();
    logged.emplace_back(cdb.begin(), cdb.end());
  });
  call(k64, record(0xFF, nullptr, 0, nullptr, 0), {});
  auto r = record(0xFF, nullptr, 0, nullptr, 0);
  r.request.commandLength = 6;
  call(k64, r, {});
  ScsiExchangeLog::setObserver(nullptr);
  ASSERT_EQ(logged.size(), 2U);
  EXPECT_EQ(logged[1].size(), 6U);
}

}  // namespace
