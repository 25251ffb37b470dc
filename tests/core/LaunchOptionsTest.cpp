#include "app/core/LaunchOptions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Kind = LaunchOption::Kind;

LaunchOptions parse(std::initializer_list<const char*> arguments) {
  QStringList list;
  for (const char* argument : arguments) {
    list << QString::fromUtf8(argument);
  }
  return LaunchOptions::parse(list);
}

TEST(LaunchOptionsParse, RecognisesEachOptionInOrder) {
  const auto parsed = parse({"/usr/bin/tarnwell", "--mock_devices=/d.plist", "--mock_device_fail",
                             "--mock_device_diskfull", "--mock_response=/r.plist",
                             "--instance_count=2", "-psn_0_1"});
  const QList<LaunchOption> expected{{Kind::mockDevices, u"/d.plist"_s, 0},
                                     {Kind::mockDeviceFail, {}, 0},
                                     {Kind::mockDeviceDiskFull, {}, 0},
                                     {Kind::mockResponse, u"/r.plist"_s, 0},
                                     {Kind::instanceCount, {}, 2}};
  EXPECT_EQ(parsed.options, expected);
  EXPECT_FALSE(parsed.mockNoNetwork);
}

TEST(LaunchOptionsParse, ValuesNeedExactlyOneEqualsSign) {
  EXPECT_TRUE(parse({"--mock_devices=/a=b.plist"}).options.isEmpty());
  EXPECT_TRUE(parse({"--mock_response"}).options.isEmpty());
  EXPECT_TRUE(parse({"--instance_count="}).options.isEmpty());
  EXPECT_TRUE(parse({"--instance_count=x"}).options.isEmpty());
  EXPECT_TRUE(parse({"--instance_count=2=3"}).options.isEmpty());
  // The prefix decides, whatever follows it.
  EXPECT_EQ(parse({"--mock_devicesX=/a"}).options.value(0).path, u"/a"_s);
  EXPECT_EQ(parse({"--mock_response="}).options.value(0).kind, Kind::mockResponse);
}

TEST(LaunchOptionsParse, TheFirstArgumentCountsAndNoNetworkMatchesExactly) {
  EXPECT_EQ(parse({"--instance_count=3"}).options.value(0).instanceCount, 3);
  EXPECT_TRUE(parse({"--mock_nonetwork", "x"}).mockNoNetwork);
  EXPECT_FALSE(parse({"--mock_nonetwork=1"}).mockNoNetwork);
  EXPECT_FALSE(parse({"--mock_nonetworks"}).mockNoNetwork);
}

TEST(LaunchOptionsResolve, EveryVirtualRecorderIsAttached) {
  const auto roles =
      parse({"--virtual_recorder=/a", "--virtual_recorder", "--virtual_recorder=/b"}).resolve();
  EXPECT_EQ(roles.virtualRecorderFolders, (QStringList{u"/a"_s, u"/b"_s}));
}

}  // namespace
