// tarnwell-tool as a script or a support engineer runs it: a separate process, with the
// user's language and the settings folder taken from its environment. Every command keeps
// one contract: its findings on stdout (mostly name=value lines), exit status 0 for success,
// 1 for failure and 2 for bad usage, and on failure one line of error on stderr.
#include "tests/platform/VolumeTestSupport.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Case {
  // Split as a shell would; "{dir}": the scratch folder, "{url}": the server, "{mock}": the
  // simulated roles' example files.
  QString command;
  QString environment;  // NAME=value, space-separated
  int status;
  // What stdout shows: "=TEXT" exactly TEXT, "^TEXT" begins with TEXT, "*TEXT" holds TEXT,
  // "N*TEXT" holds it N times; else each line of the pattern is a whole line of the output.
  QStringList out = {};
  QString err = {};  // in the error line; with status 0 in stderr, else stderr stays empty
};

void expectOutput(const QString& out, const QString& pattern) {
  const qsizetype star = pattern.indexOf(u'*');
  if (pattern.startsWith(u'=')) {
    EXPECT_EQ(out, pattern.mid(1));
  } else if (pattern.startsWith(u'^')) {
    EXPECT_TRUE(out.startsWith(pattern.mid(1))) << out.toStdString();
  } else if (star == 0) {
    EXPECT_TRUE(out.contains(pattern.mid(1))) << out.toStdString();
  } else if (star > 0 && pattern.left(star).toInt() > 0) {
    EXPECT_EQ(out.count(pattern.mid(star + 1)), pattern.left(star).toInt()) << out.toStdString();
  } else {
    const QStringList lines = out.split(u'\n');
    for (const QString& line : pattern.split(u'\n')) {
      EXPECT_TRUE(lines.contains(line)) << line.toStdString() << " in\n" << out.toStdString();
    }
  }
}

// Runs each case with the settings of {dir}/none unless it names others.
void check(const std::vector<Case>& cases, const QString& dir, const QString& url = {}) {
  const auto expand = [&](QString text) {
    return text.replace(u"{dir}"_s, dir)
        .replace(u"{url}"_s, url)
        .replace(u"{mock}"_s, QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/mock"));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(expand(c.command).toStdString());
    const QStringList environment =
        (u"XDG_CONFIG_DIRS={dir}/none "_s + c.environment).split(u' ', Qt::SkipEmptyParts);
    const ToolRun run = runTool(QProcess::splitCommand(expand(c.command)),
                                expand(environment.join(u'\n')).split(u'\n'));
    EXPECT_EQ(run.status, c.status) << run.err.toStdString();
    for (const QString& pattern : c.out) {
      expectOutput(run.out, expand(pattern));
    }
    // A failure is one line on stderr (after any progress), unless the findings themselves
    // are the failure.
    if (c.status != 0) {
      EXPECT_EQ(run.err.count(u"tarnwell-tool: "_s), run.out.startsWith(u"error="_s) ? 0 : 1);
      EXPECT_EQ(run.err.section(u'\n', -2).count(u"tarnwell-tool: "_s),
                run.err.count(u"tarnwell-tool: "_s));
    }
    EXPECT_TRUE(c.status != 0 || !c.err.isEmpty() || run.err.isEmpty()) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(expand(c.err))) << run.err.toStdString();
  }
}

void write(const QString& path, const QByteArray& contents) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(contents);
}

// The first four bytes of each command in a virtual recorder's transcript.
QStringList commandsSentTo(const QString& recorder) {
  QFile transcript(recorder + u"/transcript.txt"_s);
  EXPECT_TRUE(transcript.open(QIODevice::ReadOnly));
  QStringList commands;
  for (const QString& line :
       QString::fromUtf8(transcript.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
    commands << line.left(11);
  }
  return commands;
}

TEST(ToolTest, EveryCommandKeepsTheOutputContract) {
  QTemporaryDir scratch;
  const QString dir = scratch.path();
  TestHttpsServer server;
  ASSERT_TRUE(server.isRunning());
  QFile answer(QStringLiteral(TARNWELL_TEST_DATA_DIR "/service/answer.xml"));
  ASSERT_TRUE(answer.open(QIODevice::ReadOnly));
  server.setAnswer(answer.readAll());
  write(dir + u"/Localizable.olc"_s,
        "Key\tComment\r\nKEY\tCMT\tJPN\tENU\r\nID_YES\tyes\t\xe3\x81\xaf\xe3\x81\x84\tYes\r\n");
  // Values of the wrong type.
  ASSERT_TRUE(writeSettingsFile(dir + u"/log"_s, {{u"dvr_update_enable_log"_s, u"YES"_s},
                                                  {u"dvr_update_fwver"_s, u"1.10"_s},
                                                  {u"dvr_update_model_id"_s, 4110},
                                                  {u"dvr_update_check_url"_s, 1},
                                                  {u"dvr_update_ca_file"_s, true}}));
  ASSERT_TRUE(writeSettingsFile(dir + u"/typed"_s,
                                {{u"dvr_update_enable_log"_s, true},
                                 {u"dvr_update_server"_s, u"https://updates.example.test/"_s},
                                 {u"dvr_update_model_id"_s, u"4110"_s},
                                 {u"dvr_update_fwver"_s, u"1.00"_s},
                                 {u"dvr_update_localmode_data_dir"_s, u"~/canned"_s},
                                 {u"dvr_update_check_url"_s, u"https://app.example.test/c"_s},
                                 {u"dvr_update_ca_file"_s, u"~/ca.pem"_s}}));
  ASSERT_TRUE(writeSettingsFile(dir + u"/model"_s, {{u"dvr_update_model_id"_s, u"12"_s}}));
  const QByteArray malformed[] = {"not a property list",
                                  "<plist><array><integer>1</integer></array></plist>"};
  for (size_t i = 0; i < std::size(malformed); ++i) {
    write(dir + u"/empty%1/Velmora/UseTestServer.plist"_s.arg(i), malformed[i]);
  }
  const QString noSettings =
      u"dvr_update_enable_log=false\ndvr_update_server=<absent>\ndvr_update_model_id=<absent>\n"
      "dvr_update_fwver=<absent>\ndvr_update_localmode_data_dir=<absent>\n"
      "dvr_update_check_url=<absent>\ndvr_update_ca_file=<absent>\n"_s;
  // The built-in hosts do not exist here.
  ASSERT_TRUE(writeSettingsFile(dir + u"/offline"_s,
                                {{u"dvr_update_check_url"_s, u"https://127.0.0.1:1/"_s}}));
  QVariantMap settings = serviceSettingsOf(server);
  ASSERT_TRUE(writeSettingsFile(dir + u"/served"_s, settings));
  settings.insert(u"dvr_update_server"_s, server.url(u"/status/503"_s).toString());
  ASSERT_TRUE(writeSettingsFile(dir + u"/busy"_s, settings));
  write(dir + u"/bad.xml"_s, "<firmware_result><firmwares>");
  write(dir + u"/plain.bin"_s, "not a zip");
  write(dir + u"/scsi.ini"_s,
        "[FIRMWARE]\r\nMode=1\r\nName=fw.bin\r\nVersion=1230\r\nWriteAddress=0x00040000\r\n"
        "TransferLength=1C0000\r\nTargetCPU=SubCPU\r\n");
  for (const QString& example :
       {u"scsi-mode-change"_s, u"file-copy-two-volumes"_s, u"product-information"_s}) {
    ASSERT_TRUE(copyExampleRecorder(example, dir + u'/' + example));
    ASSERT_TRUE(copyExampleRecorder(example, dir + u"/identify-"_s + example));
  }
  // In the driver's range but not in the model table; and the product ID just below the
  // range, which the driver does not claim.
  ASSERT_TRUE(copyExampleRecorder(u"scsi-mode-change"_s, dir + u"/unlisted"_s,
                                  {{u"productId"_s, qint64{0x02F0}}}));
  ASSERT_TRUE(copyExampleRecorder(u"scsi-mode-change"_s, dir + u"/unclaimed"_s,
                                  {{u"productId"_s, qint64{0x0209}}}));
  // Passed over by detection: another vendor's device, and the maker's outside the range.
  ASSERT_TRUE(copyExampleRecorder(u"scsi-mode-change"_s, dir + u"/foreign"_s,
                                  {{u"vendorId"_s, qint64{0x1D6B}}}));
  ASSERT_TRUE(copyExampleRecorder(u"scsi-mode-change"_s, dir + u"/below"_s,
                                  {{u"productId"_s, qint64{0x01FF}}}));
  ASSERT_TRUE(copyExampleRecorder(u"scsi-mode-change"_s, dir + u"/above"_s,
                                  {{u"productId"_s, qint64{0x0300}}}));
  const QString served = u"XDG_CONFIG_DIRS={dir}/served"_s;
  const QString zip = exampleFile(u"file-copy-two-volumes"_s, u"firmware.zip"_s);
  const QString model = u"scsi --cdb E0000008000000000000000000000000 --in 8 --virtual {dir}/"_s;

  // clang-format off
  check({
      // Usage.
      {u"--help"_s, {}, 0},
      {u"--version"_s, {}, 0, {u"^tarnwell-tool "_s}},
      // Each command's own usage, whatever it would otherwise ask for.
      {u"registry --help"_s, {}, 0, {u"^usage: tarnwell-tool registry"_s}},
      {u"scsi -h"_s, {}, 0, {u"^usage: tarnwell-tool scsi "_s}},
      {{}, {}, 2},
      {u"no-such-command"_s, {}, 2, {}, u"unknown command"_s},
      {u"version-code"_s, {}, 2, {}, u"expected LABEL"_s},
      {u"version-code \"Ver 1.2\""_s, {}, 1, {}, u"not a version label"_s},
      {u"is-lower 2000 1FFF"_s, {}, 0},
      {u"gadget"_s, {}, 2, {}, u"needs the recorder's FOLDER"_s},
      {u"gadget {dir}/a {dir}/b"_s, {}, 2, {}, u"takes FOLDER and --udc NAME"_s},
      // Texts in the user's language, one line each.
      {u"strings ID_CANCEL"_s, u"LANGUAGE=ja"_s, 0, {u"=ID_CANCEL=キャンセル\n"_s}},
      {u"strings ID_CANCEL"_s, u"LANG=de_DE.UTF-8"_s, 0, {u"=ID_CANCEL=Abbrechen\n"_s}},
      // A Korean user of a table without Korean gets its second column.
      {u"strings --table {dir}/Localizable.olc ID_YES ID_MISSING ID_GONE"_s, u"LANGUAGE=ko"_s, 0,
       {u"=ID_YES=はい\nID_MISSING=_NG_1 (ID_MISSING)\nID_GONE=_NG_2 (ID_GONE)\n"_s}},
      {u"strings ID_MSG_OPENING"_s, {}, 0, {u"1*\n"_s, u"*\\n"_s}},
      {u"strings --json ID_OK"_s, u"LANGUAGE=ja"_s, 0, {u"1*\"language\": \"JPN\""_s}},
      {u"strings"_s, {}, 2, {}, u"expected"_s},
      {u"strings --table /nonexistent ID_OK"_s, {}, 1, {}, u"no string table"_s},
      // Settings (from the first system configuration folder) and launch options.
      {u"settings"_s, u"XDG_CONFIG_DIRS={dir}/typed:/etc/xdg HOME={dir}/home"_s, 0,
       {u"=file={dir}/typed/Velmora/UseTestServer.plist\nfound=true\ndvr_update_enable_log=true\n"
         "dvr_update_server=https://updates.example.test/\ndvr_update_model_id=4110\n"
         "dvr_update_fwver=1.00\ndvr_update_localmode_data_dir={dir}/home/canned\n"
         "dvr_update_check_url=https://app.example.test/c\ndvr_update_ca_file={dir}/home/ca.pem\n"_s}},
      // A value of the wrong type counts as absent.
      {u"settings"_s, u"XDG_CONFIG_DIRS={dir}/log"_s, 0,
       {u"dvr_update_enable_log=false\ndvr_update_fwver=1.10\ndvr_update_server=<absent>\n"
         "dvr_update_model_id=<absent>\ndvr_update_check_url=<absent>\ndvr_update_ca_file=<absent>"_s}},
      {u"settings"_s, u"XDG_CONFIG_DIRS=:"_s, 0, {u"^file=/etc/xdg/Velmora/UseTestServer.plist\n"_s}},
      // A file that is missing, or holds no dictionary of settings, gives none.
      {u"settings"_s, {}, 0, {u"*\nfound=false\n"_s + noSettings}},
      {u"settings"_s, u"XDG_CONFIG_DIRS={dir}/empty0"_s, 0, {u"*\nfound=true\n"_s + noSettings}},
      {u"settings"_s, u"XDG_CONFIG_DIRS={dir}/empty1"_s, 0, {u"*\nfound=true\n"_s + noSettings}},
      // Each option in turn (that a fault acts only on the recorders named before it is the
      // launch roles' rule).
      {u"launch-options --instance_count=3 -psn_0_1 --mock_devices={mock}/devices-one.plist "
        "--mock_device_fail --mock_device_diskfull --mock_response={mock}/response-newer.plist "
        "--virtual_recorder=/a --virtual_recorder --virtual_recorder=/b"_s, {}, 0,
       {u"=environment=RunningEnvironmentMock instanceCount=3\n"
         "deviceDetector=AudioDeviceDetectorMock file={mock}/devices-one.plist interval=1.0\n"
         "deviceInterface=AudioDeviceInterfaceMock mockFailure=true mockDiskFullError=true\n"
         "updaterInfo=file={mock}/response-newer.plist\n"
         "downloadManager=DownloadManagerMock file={mock}/response-newer.plist connected=true\n"
         "virtualRecorder=/a\nvirtualRecorder=/b\n"_s}},
      // A file the application cannot read or decode leaves the role in place, as there.
      {u"launch-options --mock_devices={mock}/devices-one.plist --mock_devices=/d.plist "
        "--mock_response={mock}/README.md"_s, {}, 0,
       {u"=deviceDetector=AudioDeviceDetectorMock file={mock}/devices-one.plist interval=1.0\n"
         "deviceInterface=AudioDeviceInterfaceMock mockFailure=false mockDiskFullError=false\n"_s}},
      // A value needs exactly one equals sign; the prefix decides; "no network" matches exactly.
      {u"launch-options --mock_devices=/a=b.plist --mock_response --instance_count= "
        "--instance_count=x --instance_count=2=3"_s, {}, 0, {u"="_s}},
      {u"launch-options --mock_devicesX={mock}/devices-two.plist --mock_response= "
        "--mock_nonetwork"_s, {}, 0,
       {u"=deviceDetector=AudioDeviceDetectorMock file={mock}/devices-two.plist interval=1.0\n"
         "deviceInterface=AudioDeviceInterfaceMock mockFailure=false mockDiskFullError=false\n"_s}},
      {u"launch-options --mock_response={mock}/response-404.plist --mock_nonetwork=1 "
        "--mock_nonetworks"_s, {}, 0,
       {u"=updaterInfo=file={mock}/response-404.plist\n"
         "downloadManager=DownloadManagerMock file={mock}/response-404.plist connected=true\n"_s}},
      // The update service.
      {u"demand --model-code 7 --version 1230"_s, u"LANG=de_DE.UTF-8"_s, 0,
       {u"^<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<firmware_demand>\n"_s,
        u"\t<language>DEU</language>\n\t<country_code>0049</country_code>\n"
         "\t<version>00001000</version>\n\t\t\t<hard_code>KVOE000700000000</hard_code>\n"
         "\t\t\t<firmware_version>00001230</firmware_version>"_s}},
      {u"demand --model-code 7 --version 1230"_s, u"LANGUAGE=zh_TW XDG_CONFIG_DIRS={dir}/model"_s,
       0, {u"1*<hard_code>KVOE1200000000</hard_code>"_s, u"1*<language>CHT</language>"_s}},
      {u"demand --model-code"_s, {}, 2},
      {u"demand --model-code x --version 1"_s, {}, 2},
      {u"parse-answer " TARNWELL_TEST_DATA_DIR "/service/answer.xml"_s, {}, 0,
       {u"^makerCode=KVO\nmodelName=DR-410 & Co\nmodelID=0007\nhardwareKind=DVR\n"
         "version=1231\nfileName=DR410_1231.zip\nfileSize=1048576\nfileURL=https://"_s}},
      {u"parse-answer {dir}/bad.xml"_s, {}, 0, {u"=none\n"_s}},
      {u"parse-answer {dir}/missing"_s, {}, 1},
      {u"parse-answer"_s, {}, 2},
      {u"check --model-code 7 --version 1230"_s, u"XDG_CONFIG_DIRS={dir}/offline"_s, 1,
       {u"=error=notConnected\n"_s}},
      {u"check --model-code 7 --version 1230"_s, u"XDG_CONFIG_DIRS={dir}/busy"_s, 1,
       {u"=error=httpError\ndetail=HTTP 503\n"_s}},
      {u"check --model-code 7 --version 1230"_s, u"XDG_CONFIG_DIRS={dir}/served"_s, 0,
       {u"version=1231"_s}},
      {u"download {url}/pkg/sized?size=300000 -o {dir}/fw.zip"_s, served, 0,
       {u"^size=300000\nseconds="_s}, u"\n"_s},  // its progress on stderr
      {u"download {url}/pkg/missing -o {dir}/fw.zip"_s, served, 1, {}, u"HTTP 404"_s},
      {u"download x"_s, {}, 2},
      // Firmware packages and their descriptions.
      {u"zip-size "_s + zip, {}, 0, {u"=300035\n"_s}},
      {u"unpack "_s + zip + u" {dir}/out"_s, {}, 0,
       {u"={dir}/out/UPDATE.TXT\n{dir}/out/VR5201.BIN\n"_s}, u"progress 300035/300035\n"_s},
      {u"zip-size {dir}/missing"_s, {}, 1, {u"="_s}, u"cannot read"_s},
      {u"zip-size"_s, {}, 2, {u"="_s}, u"expected ARCHIVE"_s},
      {u"unpack {dir}/plain.bin {dir}/o"_s, {}, 1, {u"="_s}, u"nothing was extracted"_s},
      {u"unpack {dir}/plain.bin"_s, {}, 2, {u"="_s}, u"expected ARCHIVE DIR"_s},
      {u"local-info"_s, {}, 2, {u"="_s}, u"expected FILE"_s},
      {u"local-info {dir}/scsi.ini"_s, {}, 0,
       {u"=updateMode=scsiTransfer\nfirmwareName=fw.bin\nversion=1230\nwriteAddress=262144\n"
         "transferLength=1835008\ntargetCPU=sub\n"_s}},
      {u"local-info {dir}/missing.ini"_s, {}, 0, {u"=none\n"_s}},
      // Volumes.
      {u"unmount /nonexistent/volume"_s, {}, 1, {u"="_s},
       u"tarnwell-tool: cannot unmount /nonexistent/volume: Not mounted\n"_s},
      {u"unmount"_s, {}, 2, {u"="_s}},
      {u"unmount /a /b"_s, {}, 2, {u"="_s}},
      {u"mounts /a"_s, {}, 2, {u"="_s}},
      // Virtual recorders: a recorder's entries and a raw read (each example runs whole updates
      // in the update matrix), and the identity read as the update check reads it.
      {u"registry --virtual {dir}/file-copy-two-volumes"_s, {}, 0, {u"1*class=com_korvane_DSSBlockCommandsDevice"_s, u"2*Whole=false"_s}},
      {model + u"scsi-mode-change"_s, {}, 0, {u"1*data=56522D3431300000"_s}},
      // With --log, the log lines of the mode change and of each read.
      {u"identify --virtual {dir}/identify-scsi-mode-change --log"_s, {}, 0,
       {u"usbPID=0x0210\ndeviceID=0x5A10\ndeviceName=VR-410\\0\\0\nversion=1000\nmodelID=4110\n"
         "updateType=scsiTransfer\ntransferAddress=0x00040000,0x001E0000,0x00000400,0x00007C00\n"
         "status=0"_s},
       u"Unmount Volume: OK, URL=file://{dir}/identify-scsi-mode-change/volume1\n"
        "Send: RecorderModeChange: Mode=0x2\n"_s},
      {u"identify --virtual {dir}/identify-file-copy-two-volumes --log"_s, {}, 0,
       {u"deviceID=0x6B01\nmodelID=5201\nupdateType=fileCopy\ntransferAddress=none"_s},
       u"\nMainCPU=Ver 2.00\nSubCPU=\nMusicCodecFile=0x1\nSend: ReadRecorderItem (SerialID)\n"
        "Execute Command: CDB=(E0 06 01 00 00 00 00 00 00 00 00 00 00 00 00 00), DataSize=65536\n"
        "Execute Command: Status=0x0\nSerialID=5201B0067890\n"_s},
      // Device ID 0: the model number comes from the product information.
      {u"identify --virtual {dir}/identify-product-information --log"_s, {}, 0,
       {u"usbVendorID=0xF7A2\ndeviceID=0x0000\nmodelID=421\nserialID=PX0000421777"_s},
       u"\nDeviceID=0x00000000\nSend: ReadRecorderItem (ProductInformation)\n"
        "Execute Command: CDB=(E0 17 01 8A 00 00 00 00 00 00 00 00 00 00 00 00), DataSize=65536\n"
        "Execute Command: Status=0x0\nNumOfDevices=1\n"_s},
      {u"identify --virtual {dir}/scsi-mode-change --virtual {dir}/file-copy-two-volumes"_s, {}, 1,
       {}, u"2 recorders are attached"_s},
      {u"registry --virtual"_s, {}, 2},
      // Detection lists every recorder of the maker's range it opened, in the registry's order,
      // then those of known models.
      {u"detect --virtual {dir}/foreign --virtual {dir}/scsi-mode-change --virtual {dir}/below "
        "--virtual {dir}/unlisted --virtual {dir}/above --log"_s, {}, 0,
       {u"=devices=2\nvendorID=0xF7A1\nproductID=0x0210\nvendorID=0xF7A1\nproductID=0x02F0\n"
         "supportedDevices=1\nvendorID=0xF7A1\nproductID=0x0210\n"_s},
       u"Found Recoder: VID=0xF7A1, PID=0x0210\nOpen Driver: OK\n"
        "Found Recoder: VID=0xF7A1, PID=0x02F0\nOpen Driver: OK\n"_s},
      {u"detect --bogus"_s, {}, 2},
  }, dir, server.url({}).toString());
  // clang-format on

  // The check sent the recorder's model; the download wrote the whole package; identifying
  // changed the mode first where needed, then read each item with its allocation length (the
  // product information only where the device ID is 0).
  EXPECT_TRUE(server.lastRequest().contains("<hard_code>KVOE000700000000</hard_code>"));
  EXPECT_EQ(QFileInfo(dir + u"/fw.zip"_s).size(), 300000);
  const QStringList reads{u"E0 00 00 08"_s, u"E0 02 00 12"_s, u"E0 06 01 00"_s, u"E0 0B 00 04"_s};
  EXPECT_EQ(commandsSentTo(dir + u"/identify-scsi-mode-change"_s),
            QStringList({u"E0 01 00 08"_s, u"E2 02 00 00"_s}) + reads);
  EXPECT_EQ(commandsSentTo(dir + u"/identify-product-information"_s),
            QStringList{u"E0 01 00 08"_s} + reads + QStringList{u"E0 17 01 8A"_s});

  // A recorder without its driver fails detection: blocked when the driver's rules are
  // installed on this machine, absent otherwise. Its error is on both streams.
  const ToolRun unclaimed = runTool({u"detect"_s, u"--virtual"_s, dir + u"/unclaimed"_s});
  EXPECT_EQ(unclaimed.status, 1);
  EXPECT_TRUE(unclaimed.out == QLatin1String("error=deviceError\ncode=14\n") ||
              unclaimed.out == QLatin1String("error=skelError\n"))
      << unclaimed.out.toStdString();
}

TEST(ToolTest, ListsAMountAndUnmountsIt) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "mounting a tmpfs needs root";
  }
  // As root the mount must work: a failure here is a failure, not a reason to skip.
  TmpfsMount mount;
  ASSERT_FALSE(mount.path().empty()) << mount.skipReason();
  const QString path = QString::fromStdString(mount.path());
  QTemporaryDir scratch;
  const QString listed =
      u"1*\nmountPoint=%1\nsource=tarnwell-test-src\nfreeBytes=4194304\n"_s.arg(path);
  // The busy case is the mount table's own (its reason passes through as any other).
  check({{u"mounts"_s, {}, 0, {listed}}, {u"unmount "_s + path, {}, 0, {u"="_s}}}, scratch.path());
  EXPECT_FALSE(runTool({u"mounts"_s}).out.contains(path));
}

}  // namespace
