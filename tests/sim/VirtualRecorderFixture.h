#pragma once

#include "app/device/ScsiTransport.h"
#include "app/sim/VirtualRecorderRack.h"
#include "driver/DriverIdentity.h"
#include "platform/PropertyList.h"
#include "platform/volume/InMemoryVolumeTable.h"
#include "tests/support/EventLoop.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <span>

// A recorder folder written from a dictionary, attached behind an in-memory registry and
// volume table, and a caller that sends vendor commands through the pass-through driver as
// the application does.
class VirtualRecorderFixture : public ::testing::Test {
 public:
  // A SCSI-transfer recorder that needs a mode change, with `changes` applied.
  static QVariantMap scsiModel(const QVariantMap& changes = {}) {
    QVariantMap map{
        {QStringLiteral("vendorId"), qint64{0xF7A1}},
        {QStringLiteral("productId"), qint64{0x0210}},
        {QStringLiteral("deviceId"), qint64{0x5A10}},
        {QStringLiteral("modelName"), QStringLiteral("DR-41")},
        {QStringLiteral("firmwareVersion"), QStringLiteral("Ver 1.00")},
        {QStringLiteral("subFirmwareVersion"), QStringLiteral("Ver 0.10")},
        {QStringLiteral("musicCodecFile"), qint64{0x0102}},
        {QStringLiteral("serialNumber"), QStringLiteral("S0001")},
        {QStringLiteral("needsModeChange"), true},
        {QStringLiteral("restartSeconds"), 0.05},
        {QStringLiteral("flashAreas"),
         QVariantMap{
             {QStringLiteral("dsp"), QVariantMap{{QStringLiteral("address"), qint64{0x40000}},
                                                 {QStringLiteral("length"), qint64{0x30000}}}}}},
        {QStringLiteral("prepareBlocks"), qint64{3}},
        {QStringLiteral("volumes"),
         QVariantList{QVariantMap{{QStringLiteral("freeBytes"), qint64{1000000}}}}},
        {QStringLiteral("firmwareVersionAfterUpdate"), QStringLiteral("Ver 1.10")},
    };
    for (auto it = changes.begin(); it != changes.end(); ++it) {
      map.insert(it.key(), it.value());
    }
    return map;
  }

 protected:
  static void SetUpTestSuite() { testApplication(); }

  void attach(const QVariantMap& config) {
    QFile file(QDir(folder.path()).filePath(QStringLiteral("recorder.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::toXml(config));
    file.close();
    auto installed = VirtualRecorderRack::install({folder.path()});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualRecorderRack>>(installed))
        << std::get<QString>(installed).toStdString();
    rack = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
    ASSERT_TRUE(connect());
  }

  // Opens a connection on the recorder's driver entry, as detection does after a restart.
  bool connect() {
    const auto drivers = rack->registry().matchingServices(DriverIdentity::kDeviceClassName);
    return drivers.size() == 1 &&
           rack->registry().openUserClient(drivers.front(), 0, &connection) == kIOReturnSuccess;
  }

  // A command sent as the application sends it; its data buffer is `data`.
  ScsiOutcome send(const std::array<uint8_t, 16>& cdb, ScsiDataDirection direction,
                   QByteArray data = {}) {
    return sendScsiCommand(
        &rack->registry(), connection, direction, cdb,
        std::span(reinterpret_cast<uint8_t*>(data.data()), static_cast<size_t>(data.size())));
  }

  // An update-procedure command: its step, two big-endian words and the processor.
  static std::array<uint8_t, 16> update(uint8_t step, uint32_t first = 0, uint32_t second = 0,
                                        uint8_t processor = 0) {
    std::array<uint8_t, 16> cdb{0xE4, step};
    qToBigEndian(first, cdb.data() + 2);
    qToBigEndian(second, cdb.data() + 6);
    cdb[11] = processor;
    return cdb;
  }

  QString transcript() const {
    QFile file(QDir(folder.path()).filePath(QStringLiteral("transcript.txt")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
  }

  QTemporaryDir folder;
  std::unique_ptr<VirtualRecorderRack> rack;
  uint32_t connection = 0;
};
