#pragma once

#include "driver/KorvaneSCSIBlockUserClient.h"
#include "driver/KvonExSCSIIOStruct.h"
#include "platform/registry/InMemoryRegistry.h"
#include "tests/driver/ScriptedTarget.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

// A recorder in an in-memory registry with one open connection, and a caller that sends
// request records through it as the application does.
class DriverFixture : public ::testing::Test {
 protected:
  struct Outcome {
    IOReturn result = 0;
    uint32_t status = 0;
    size_t outputSize = 0;
  };

  void SetUp() override {
    recorder = registry.addRecorder(0xF7A1, 0x0210, target);
    ASSERT_NE(recorder.driver, nullptr);
    ASSERT_EQ(registry.openUserClient(recorder.driver, 0, &connection, client), kIOReturnSuccess);
  }

  static std::shared_ptr<ClientTask> makeTask(bool local = false, bool root = false) {
    return std::make_shared<ClientTask>([local, root](std::string_view privilege) {
      const bool granted = privilege == "local" ? local : privilege == "root" && root;
      return granted ? kIOReturnSuccess : kIOReturnNotPrivileged;
    });
  }

  static uint64_t address(const void* data) { return reinterpret_cast<uintptr_t>(data); }

  // A 16-byte vendor command as the application builds it.
  static KvonExSCSIIOStructT record(uint32_t direction = 0xFF, const void* data = nullptr,
                                    uint64_t dataLength = 0, const void* sense = nullptr,
                                    uint64_t senseLength = 0, uint32_t timeout = 0) {
    KvonExSCSIIOStructT r;
    r.request.direction = direction;
    r.request.commandLength = 16;
    r.request.commandBlock = {0xE0, 0x00, 0x00, 0x08};
    r.request.dataLength = dataLength;
    r.request.dataAddress = address(data);
    r.request.senseLength = senseLength;
    r.request.senseAddress = address(sense);
    r.timeout = timeout;
    return r;
  }

  Outcome call(uint32_t selector, const KvonExSCSIIOStructT& r,
               const std::vector<ClientBuffer>& lent, uint32_t on = 0) {
    uint32_t size = 0;
    const auto bytes = KvonRecord::encode(selector, r, false, &size);
    EXPECT_TRUE(bytes.has_value());
    std::array<uint8_t, 4> output{0xAA, 0xAA, 0xAA, 0xAA};
    size_t outputSize = output.size();
    Outcome outcome;
    outcome.result =
        registry.callStructMethod(on != 0 ? on : connection, selector,
                                  std::span(bytes->data(), size), output.data(), &outputSize, lent);
    std::memcpy(&outcome.status, output.data(), sizeof(outcome.status));
    outcome.outputSize = outputSize;
    return outcome;
  }

  InMemoryRegistry registry;
  std::shared_ptr<ScriptedTarget> target = std::make_shared<ScriptedTarget>();
  InMemoryRegistry::Recorder recorder;
  std::shared_ptr<ClientTask> client = makeTask();
  uint32_t connection = 0;
};
