#!/usr/bin/env python3
"""Writes the umockdev device trees of the driver's tests: a recorder on USB (usb_device,
interface of class 08 bound to usb-storage, SCSI host, target and device, disk with two
partitions, scsi_generic node), in the variants the tests need. Run it in this folder."""

PCI = "/devices/pci0000:00/0000:00:14.0"
HUB = PCI + "/usb2"
USB = HUB + "/2-1"
INTERFACE = USB + "/2-1:1.0"
HOST = INTERFACE + "/host6"
TARGET = HOST + "/target6:0:0"
SCSI = TARGET + "/6:0:0:0"
CLAIM = "KORVANE_DSS_DRIVER=com_korvane_DSSBlockCommandsDevice"


def record(path, properties, attributes=(), links=(), node=None):
    lines = [f"P: {path}"]
    if node:
        lines.append(f"N: {node}")
    lines += [f"E: {p}" for p in properties]
    lines += [f"A: {a}" for a in attributes]
    lines += [f"L: {l}" for l in links]
    return "\n".join(lines) + "\n"


def tree(vendor, product, claimed=True, sg=True):
    ids = f"{vendor:04x}/{product:x}/100"
    records = [
        record(PCI, ["DRIVER=xhci_hcd", "PCI_ID=8086:A36D", "SUBSYSTEM=pci"],
               ["class=0x0c0330\\n", "vendor=0x8086\\n", "device=0xa36d\\n"],
               ["driver=../../../bus/pci/drivers/xhci_hcd"]),
        record(HUB, ["BUSNUM=002", "DEVNAME=/dev/bus/usb/002/001", "DEVNUM=001",
                     "DEVTYPE=usb_device", "DRIVER=usb", "PRODUCT=1d6b/3/601", "SUBSYSTEM=usb"],
               ["idVendor=1d6b\\n", "idProduct=0003\\n", "bDeviceClass=09\\n", "busnum=2\\n",
                "devnum=1\\n", "dev=189:128\\n", "product=xHCI Host Controller\\n"],
               ["driver=../../../../bus/usb/drivers/usb"]),
        record(USB, ["BUSNUM=002", "DEVNAME=/dev/bus/usb/002/003", "DEVNUM=003",
                     "DEVTYPE=usb_device", "DRIVER=usb", f"PRODUCT={ids}", "SUBSYSTEM=usb",
                     f"ID_VENDOR_ID={vendor:04x}", f"ID_MODEL_ID={product:04x}"],
               [f"idVendor={vendor:04x}\\n", f"idProduct={product:04x}\\n",
                "bDeviceClass=00\\n", "bNumInterfaces= 1\\n", "busnum=2\\n", "devnum=3\\n",
                "dev=189:130\\n", "manufacturer=Korvane\\n", "product=Digital Voice Recorder\\n",
                "serial=000000000042\\n", "speed=480\\n"],
               ["driver=../../../../../bus/usb/drivers/usb"]),
        record(INTERFACE, ["DEVTYPE=usb_interface", "DRIVER=usb-storage", "INTERFACE=8/6/80",
                           f"PRODUCT={ids}", "SUBSYSTEM=usb"],
               ["bInterfaceClass=08\\n", "bInterfaceSubClass=06\\n", "bInterfaceProtocol=50\\n",
                "bInterfaceNumber=00\\n", "bNumEndpoints=02\\n"],
               ["driver=../../../../../../bus/usb/drivers/usb-storage"]),
        record(HOST, ["DEVTYPE=scsi_host", "SUBSYSTEM=scsi"]),
        record(HOST + "/scsi_host/host6", ["SUBSYSTEM=scsi_host"],
               ["proc_name=usb-storage\\n", "state=running\\n"], ["device=../../../host6"]),
        record(TARGET, ["DEVTYPE=scsi_target", "SUBSYSTEM=scsi"]),
        record(SCSI, ["DEVTYPE=scsi_device", "DRIVER=sd", "MODALIAS=scsi:t-0x00",
                      "SUBSYSTEM=scsi"] + ([CLAIM] if claimed else []),
               ["vendor=KORVANE \\n", "model=DVR             \\n", "rev=1.00\\n", "type=0\\n",
                "state=running\\n"],
               ["driver=../../../../../../../../bus/scsi/drivers/sd"]
               + (["generic=scsi_generic/sg2"] if sg else [])),
        record(SCSI + "/block/sdb", ["DEVNAME=/dev/sdb", "DEVTYPE=disk", "MAJOR=8", "MINOR=16",
                                     "SUBSYSTEM=block"],
               ["dev=8:16\\n", "size=7864320\\n", "removable=1\\n", "ro=0\\n"],
               ["device=../../../6:0:0:0"], node="sdb"),
    ]
    for number in (1, 2):
        records.append(record(
            SCSI + f"/block/sdb/sdb{number}",
            [f"DEVNAME=/dev/sdb{number}", "DEVTYPE=partition", "MAJOR=8",
             f"MINOR={16 + number}", f"PARTN={number}", "SUBSYSTEM=block"],
            [f"dev=8:{16 + number}\\n", f"partition={number}\\n", "size=3932160\\n"],
            node=f"sdb{number}"))
    if sg:
        records.append(record(SCSI + "/scsi_generic/sg2",
                              ["DEVNAME=/dev/sg2", "MAJOR=21", "MINOR=2",
                               "SUBSYSTEM=scsi_generic"],
                              ["dev=21:2\\n"], ["device=../../../6:0:0:0"], node="sg2"))
    return "\n".join(records)


VARIANTS = {
    "recorder-claimed.umockdev": tree(0xF7A1, 0x0210),
    # The rule never tags these; they are tagged anyway so the driver's probe is what says no.
    "foreign-vendor.umockdev": tree(0x1043, 0x0210),
    "product-out-of-range.umockdev": tree(0xF7A1, 0x0205),
    "no-sg-node.umockdev": tree(0xF7A2, 0x0220, sg=False),
    "unclaimed.umockdev": tree(0xF7A1, 0x0210, claimed=False),
}

for name, text in VARIANTS.items():
    with open(name, "w", encoding="ascii") as out:
        out.write(text)
