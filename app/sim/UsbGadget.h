#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// A virtual recorder as a real USB device, through the kernel's gadget framework: a
// configfs gadget with the recorder's IDs and strings and one FunctionFS function with the
// interface of a USB disk (class 08, SCSI 06, Bulk-Only 50), bound to a USB device
// controller. The control requests of the transport are answered on ep0, the commands on
// the two bulk endpoints: disk commands from the recorder's disk image, vendor commands by
// the recorder's SCSI target. A restart of the recorder is a disconnect, a wait of its
// restart time and a reconnect; a recorder that vanishes stays disconnected. Needs root.
class UsbGadget final {
 public:
  using Report = std::function<void(const QString& line)>;

  // The device controllers of this machine (/sys/class/udc).
  static QStringList controllers();

  // Presents the recorder in `folder` on `controller` until SIGINT or SIGTERM, then removes
  // the gadget again. `report` gets one line when a host has configured the device, one per
  // restart and one when it vanished. Returns an error message, or an empty string after a
  // clean stop.
  static QString run(const QString& folder, const QString& controller, const Report& report);
};
