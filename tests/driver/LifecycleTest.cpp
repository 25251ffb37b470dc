#include "tests/driver/DriverTestSupport.h"

#include <unistd.h>

#include <array>
#include <cstdint>

namespace {

constexpr uint32_t k64 = KvonRecord::kSelectorExecute64;

using LifecycleTest = DriverFixture;

TEST_F(LifecycleTest, ARecorderRemovedDuringACommandFailsTheNextCall) {
  target->script(ScriptedTarget::during([this] { registry.removeEntry(recorder.usbDevice); }));
  EXPECT_EQ(call(k64, record(), {}).result, kIOReturnSuccess);
  EXPECT_TRUE(recorder.driver->isInactive());
  EXPECT_EQ(call(k64, record(), {}).result, kIOReturnInvalidConnection);
  EXPECT_EQ(registry.closeUserClient(connection), kIOReturnSuccess);
  EXPECT_EQ(registry.closeUserClient(connection), kIOReturnInvalidConnection);
  EXPECT_TRUE(registry.matchingServices("com_korvane_DSSBlockCommandsDevice").empty());
}

TEST_F(LifecycleTest, OnlyDriverEntriesOpenAndHandlesAreChecked) {
  uint32_t handle = 0;
  EXPECT_EQ(registry.openUserClient(recorder.usbDevice, 0, &handle), kIOReturnUnsupported);
  EXPECT_EQ(registry.callStructMethod(0x7777, 1, {}, nullptr, nullptr), kIOReturnInvalidConnection);
  EXPECT_NE(connection, 0U);
  EXPECT_EQ(registry.callStructMethod(connection, 1, {}, nullptr, nullptr), kIOReturnSuccess);
  // A closed client's handle reaches nothing.
  EXPECT_EQ(registry.closeUserClient(connection), kIOReturnSuccess);
  EXPECT_EQ(call(k64, record(), {}).result, kIOReturnInvalidConnection);
  registry.removeEntry(recorder.usbDevice);
  EXPECT_EQ(registry.openUserClient(recorder.driver, 0, &handle), kIOReturnNoDevice);
}

// The method table's sizes are checked exactly before any handler runs.
TEST_F(LifecycleTest, TheMethodTableDecidesWhichCallsReachAHandler) {
  struct Row {
    uint32_t selector;
    uint32_t inputSize;
    uint32_t outputSize;
    IOReturn expected;
  };
  // Open is refused to a client without privileges; rows 3 and 4 are unassigned.
  constexpr Row rows[] = {
      {0, 0, 0, kIOReturnNotPrivileged}, {1, 0, 0, kIOReturnSuccess},
      {2, 40, 4, kIOReturnSuccess},      {2, 56, 4, kIOReturnBadArgument},
      {3, 0, 0, kIOReturnUnsupported},   {4, 56, 4, kIOReturnUnsupported},
      {5, 56, 4, kIOReturnSuccess},      {5, 64, 4, kIOReturnBadArgument},
      {5, 56, 8, kIOReturnBadArgument},  {5, 56, 2, kIOReturnBadArgument},
      {6, 44, 4, kIOReturnSuccess},      {6, 40, 4, kIOReturnBadArgument},
      {7, 64, 4, kIOReturnSuccess},      {7, 56, 4, kIOReturnBadArgument},
      {8, 64, 4, kIOReturnUnsupported},  {0xFFFFFFFF, 0, 0, kIOReturnUnsupported}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "selector " << row.selector << " in " << row.inputSize
                                    << " out " << row.outputSize);
    const auto r = record(0xFF, nullptr, 0, nullptr, 0, 1000);
    std::array<uint8_t, KvonRecord::kSizeT64> input{};
    uint32_t encoded = 0;
    if (const auto bytes = KvonRecord::encode(row.selector, r, false, &encoded)) {
      input = *bytes;
    }
    std::array<uint8_t, 8> output{};
    size_t outputSize = row.outputSize;
    EXPECT_EQ(
        registry.callStructMethod(connection, row.selector, std::span(input.data(), row.inputSize),
                                  row.outputSize != 0 ? output.data() : nullptr,
                                  row.outputSize != 0 ? &outputSize : nullptr),
        row.expected);
  }
}

TEST_F(LifecycleTest, OpenNeedsTheLocalOrTheRootPrivilege) {
  struct Row {
    bool local;
    bool root;
    IOReturn expected;
  };
  for (const Row row :
       {Row{true, false, kIOReturnSuccess}, Row{false, true, kIOReturnSuccess},
        Row{true, true, kIOReturnSuccess}, Row{false, false, kIOReturnNotPrivileged}}) {
    uint32_t handle = 0;
    ASSERT_EQ(registry.openUserClient(recorder.driver, 0, &handle, makeTask(row.local, row.root)),
              kIOReturnSuccess);
    EXPECT_EQ(registry.callStructMethod(handle, KvonRecord::kSelectorOpen, {}, nullptr, nullptr),
              row.expected);
    EXPECT_EQ(registry.closeUserClient(handle), kIOReturnSuccess);
  }
}

// "local" is what the uaccess rule grants: the process's own session when it has one (active,
// at a seat, not remote), else the user's: a process of the user's service manager is local
// while its user is active at a seat.
TEST(ClientTaskTest, LocalMeansTheUserAtASeat) {
  using Session = LoginFacts::Session;
  struct Row {
    std::optional<Session> processSession;
    bool userActiveOnSeat;
    bool local;
  };
  for (const Row& row : {
           Row{Session{true, false, true}, false, true},
           Row{Session{false, false, true}, true, false},  // switched away from
           Row{Session{true, true, false}, true, false},   // over the network
           Row{Session{true, false, false}, true, false},  // no seat
           Row{std::nullopt, true, true},                  // the user's service manager
           Row{std::nullopt, false, false},
       }) {
    EXPECT_EQ((LoginFacts{row.processSession, row.userActiveOnSeat}.isLocal()), row.local);
  }
  // The real facts of this process decide the real check.
  EXPECT_EQ(ClientTask(getpid(), getuid()).clientHasPrivilege("local") == kIOReturnSuccess,
            LoginFacts::of(getpid(), getuid()).isLocal());
}

TEST(ClientTaskTest, RootMeansEffectiveUserZero) {
  EXPECT_EQ(ClientTask(getpid(), 0).clientHasPrivilege("root"), kIOReturnSuccess);
  EXPECT_EQ(ClientTask(getpid(), 1000).clientHasPrivilege("root"), kIOReturnNotPrivileged);
  EXPECT_EQ(ClientTask(getpid(), 0).clientHasPrivilege("administrator"), kIOReturnUnsupported);
}

}  // namespace
