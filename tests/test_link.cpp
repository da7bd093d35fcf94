// The Writer link: binding and probing the bridge library, the two transfers, their guard and
// their failure lines.
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "link/bridge_library.h"
#include "link/writer_link.h"
#include "support/fake_bridge.h"
#include "ui_text/ui_texts.h"

namespace vx3::link {
namespace {

using testing::FakeLink;

const std::string kWriteFail = "Err: USB write data fail !!!\r\n";
const std::string kReadFail = "Err: USB read error on transfer !!!\r\n";
const std::string kLibraryMissing = "Err: Can't find USB VX3USBOV3Wt.DLL ,please check again !!!\r\n";
const std::string kNotDetected = "Err: USB not detected !!!\r\n";

// What every command handler does around the connect.
bool ConnectStep(WriterLink& link, text::Reporter& reporter, const text::Language& language,
                 const std::filesystem::path& programDir) {
  link.ClearConnected();
  if (link.UsbConnect(programDir)) return true;
  reporter.ReportStatus(language.Text(text::IDS_MESSAGE_USBNOTDETECTED), text::Severity::ErrorLine);
  return false;
}

TEST(LinkConnectTest, LoadsTheLibraryFromTheProgramFolderAndOnlyProbes) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  EXPECT_TRUE(rig.link.connected());
  EXPECT_EQ(rig.bridge.loadedFrom, rig.dir.path() / "DLL" / "VX3USBOV3Wt.DLL");
  // The device is opened and closed at once: no transfer opens or closes it later.
  EXPECT_EQ(rig.bridge.calls, (std::vector<std::string>{"Load", "OpenDevice", "CloseDevice"}));
  EXPECT_EQ(rig.bridge.devices, (std::vector<int>{0, 0}));
  EXPECT_EQ(rig.view.status, "");
}

TEST(LinkConnectTest, SecondConnectProbesWithoutLoadingAgain) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  rig.link.ClearConnected();
  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(rig.bridge.loads, 1);
  EXPECT_EQ(rig.bridge.Count("OpenDevice"), 2);
  EXPECT_EQ(rig.bridge.Count("CloseDevice"), 2);
}

class ProbeResultTest : public ::testing::TestWithParam<int> {};

TEST_P(ProbeResultTest, AnythingButOneIsNoWriterAndUnloads) {
  FakeLink rig;
  rig.bridge.openDeviceResult = GetParam();
  EXPECT_FALSE(ConnectStep(rig.link, rig.reporter, rig.language, rig.dir.path()));
  EXPECT_FALSE(rig.link.connected());
  EXPECT_EQ(rig.bridge.calls, (std::vector<std::string>{"Load", "OpenDevice", "CloseDevice", "Unload"}));
  EXPECT_EQ(rig.view.status, kNotDetected);
  // The next connect loads the library again.
  rig.bridge.openDeviceResult = 1;
  EXPECT_TRUE(rig.Connect());
  EXPECT_EQ(rig.bridge.loads, 2);
}

INSTANTIATE_TEST_SUITE_P(Results, ProbeResultTest, ::testing::Values(0, 2, -1, 255));

TEST(LinkConnectTest, MissingLibraryIsReportedBeforeTheCallersLine) {
  FakeLink rig;
  rig.bridge.loadSucceeds = false;
  EXPECT_FALSE(ConnectStep(rig.link, rig.reporter, rig.language, rig.dir.path()));
  EXPECT_EQ(rig.view.status, kLibraryMissing + kNotDetected);
  EXPECT_EQ(rig.bridge.Count("OpenDevice"), 0);
  // Every later command tries and reports again.
  EXPECT_FALSE(ConnectStep(rig.link, rig.reporter, rig.language, rig.dir.path()));
  EXPECT_EQ(rig.view.status, kLibraryMissing + kNotDetected + kLibraryMissing + kNotDetected);
}

TEST(LinkConnectTest, RealLoaderRefusesAMissingFileAndAFileThatIsNoLibrary) {
  testing::TempDir dir;
  testing::FakeClock clock;
  text::Language language(dir.path() / "language" / "UIEng.ini");
  text::Reporter reporter(language, clock);
  testing::FakeView view;
  reporter.AttachView(&view);
  WriterLink link(std::make_unique<DynamicBridgeLibrary>(), reporter, language);

  EXPECT_FALSE(ConnectStep(link, reporter, language, dir.path()));
  EXPECT_EQ(view.status, kLibraryMissing + kNotDetected);

  view.status.clear();
  dir.WriteFile("DLL/VX3USBOV3Wt.DLL", "this is not a library");
  EXPECT_FALSE(ConnectStep(link, reporter, language, dir.path()));
  EXPECT_EQ(view.status, kLibraryMissing + kNotDetected);
  EXPECT_FALSE(link.library().IsLoaded());
}

TEST(LinkTransferTest, TransfersBeforeAConnectFailSilently) {
  FakeLink rig;
  const Packet packet{};
  Reply reply{};
  EXPECT_EQ(rig.link.UsbWrite(packet), 0);
  EXPECT_EQ(rig.link.UsbRead(reply), 0);
  EXPECT_FALSE(rig.link.SendWriterCommand(command::kReadHeader, 8));
  // Only the command sender, which has its own line, says anything.
  EXPECT_EQ(rig.view.status, kWriteFail);
  EXPECT_EQ(rig.bridge.writes + rig.bridge.reads, 0);
}

TEST(LinkTransferTest, ResultsOfTheBridgeAreReturnedUnchanged) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  rig.bridge.QueueReply({1, 2, 3});
  const Packet packet = MakeCommandPacket(0x84, 0);
  Reply reply{};
  EXPECT_EQ(rig.link.UsbWrite(packet), 64);
  EXPECT_EQ(rig.link.UsbRead(reply), 16);
  EXPECT_EQ(reply, (Reply{1, 2, 3}));
  EXPECT_EQ(rig.bridge.devices.back(), 0);
}

TEST(LinkTransferTest, FailedWriteReportsDisconnectsAndSilencesTheRest) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  rig.bridge.failWriteAt = 1;
  rig.bridge.QueueStatus(1);
  const Packet packet{};
  Reply reply{};
  EXPECT_EQ(rig.link.UsbWrite(packet), 0);
  EXPECT_FALSE(rig.link.connected());
  EXPECT_EQ(rig.view.status, kWriteFail);
  // The rest of the operation: no call reaches the bridge, nothing more is said.
  EXPECT_EQ(rig.link.UsbRead(reply), 0);
  EXPECT_EQ(rig.link.UsbWrite(packet), 0);
  EXPECT_EQ(rig.view.status, kWriteFail);
  EXPECT_EQ(rig.bridge.reads, 0);
  EXPECT_EQ(rig.bridge.writes, 1);
  // The next command connects again.
  EXPECT_TRUE(rig.Connect());
  EXPECT_EQ(rig.link.UsbWrite(packet), 64);
}

TEST(LinkTransferTest, FailedReadReportsItsFixedTextInAnyLanguage) {
  FakeLink rig;
  rig.dir.WriteFile(
      "language/UIEng.ini",
      "[STRING TABLE]\r\nIDS_MESSAGE_Error=\"错误: \"\r\nIDS_MESSAGE_USBWriteDataFail=USB 写入数据失败！\r\n");
  ASSERT_TRUE(rig.Connect());
  Reply reply{};
  EXPECT_EQ(rig.link.UsbRead(reply), 0);  // nothing scripted: the read fails
  EXPECT_FALSE(rig.link.connected());
  EXPECT_EQ(rig.view.status, "错误: USB read error on transfer !!!\r\n");
  ASSERT_TRUE(rig.Connect());
  rig.bridge.failWriteAt = rig.bridge.writes + 1;
  EXPECT_FALSE(rig.link.SendWriterCommand(command::kReadChip, 512));
  EXPECT_EQ(rig.view.status,
            "错误: USB read error on transfer !!!\r\n错误: USB 写入数据失败！\r\n错误: USB 写入数据失败！\r\n");
}

TEST(LinkTransferTest, CommandPacketLayout) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  ASSERT_TRUE(rig.link.SendWriterCommand(command::kReadChip, 0x0201));
  std::vector<std::uint8_t> expected(64, 0);
  expected[0] = 0x80;
  expected[1] = 0x01;
  expected[2] = 0x02;
  ASSERT_EQ(rig.bridge.written.size(), 1U);
  EXPECT_EQ(rig.bridge.written[0], expected);
}

TEST(LinkTransferTest, ReadBufferIsClearedBeforeTheBridgeFillsIt) {
  // A bridge that reports success without writing anything.
  class SilentBridge final : public BridgeLibrary {
   public:
    bool Load(const std::filesystem::path&) override { return true; }
    void Unload() override {}
    bool IsLoaded() const override { return true; }
    int OpenDevice(int) override { return 1; }
    int CloseDevice(int) override { return 1; }
    int WriteOut(int, unsigned char*, int length) override { return length; }
    int ReadIn(int, unsigned char*, int length) override { return length; }
  };
  testing::FakeClock clock;
  text::Language language;
  text::Reporter reporter(language, clock);
  WriterLink link(std::make_unique<SilentBridge>(), reporter, language);
  ASSERT_TRUE(link.UsbConnect({}));
  Reply reply;
  reply.fill(2);  // what a previous "message follows" reply left
  EXPECT_EQ(link.UsbRead(reply), 16);
  EXPECT_EQ(reply, Reply{});
}

TEST(LinkBusyGuardTest, AnOverlappingTransferFailsWithoutReachingTheBridge) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  rig.bridge.QueueStatus(1);
  int overlapResult = -1;
  Reply overlapReply{};
  rig.bridge.duringWrite = [&] { overlapResult = rig.link.UsbRead(overlapReply); };
  const Packet packet{};
  EXPECT_EQ(rig.link.UsbWrite(packet), 64);  // the transfer in progress completes
  EXPECT_EQ(overlapResult, 0);
  EXPECT_EQ(rig.bridge.reads, 0);
  EXPECT_EQ(rig.view.status, kReadFail);
  EXPECT_FALSE(rig.link.connected());
}

TEST(LinkBusyGuardTest, AnOverlapFromAnotherThreadFailsAtOnceInsteadOfWaiting) {
  FakeLink rig;
  ASSERT_TRUE(rig.Connect());
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  rig.bridge.duringWrite = [&] {
    entered.set_value();
    released.wait();
  };
  int firstResult = -1;
  std::thread first([&] {
    const Packet packet{};
    firstResult = rig.link.UsbWrite(packet);
  });
  entered.get_future().wait();
  const Packet second = MakeCommandPacket(0x81, 0);
  EXPECT_EQ(rig.link.UsbWrite(second), 0);  // returns while the first still runs
  release.set_value();
  first.join();
  EXPECT_EQ(firstResult, 64);
  EXPECT_EQ(rig.bridge.writes, 1);
  EXPECT_EQ(rig.view.status, kWriteFail);
}

}  // namespace
}  // namespace vx3::link

namespace vx3::link {
namespace {

// A window that counts how often it is told to show its held-back lines, and what the bridge
// had been sent by then.
class PendingCountingView : public testing::FakeView {
 public:
  void ShowPendingStatus() override { ++shown; }
  int shown = 0;
};

TEST(LinkTransferTest, EveryTransferFirstShowsTheHeldBackStatusLines) {
  FakeLink fake;
  PendingCountingView view;
  fake.reporter.AttachView(&view);
  ASSERT_TRUE(fake.Connect());
  int shownAtWrite = -1;
  fake.bridge.duringWrite = [&] { shownAtWrite = view.shown; };
  fake.bridge.QueueStatus(1);
  std::array<std::uint8_t, kPacketSize> packet{};
  Reply reply{};
  ASSERT_NE(fake.link.UsbWrite(packet), 0);
  ASSERT_NE(fake.link.UsbRead(reply), 0);
  EXPECT_EQ(shownAtWrite, 1);
  EXPECT_EQ(view.shown, 2);
  fake.reporter.AttachView(nullptr);
}

}  // namespace
}  // namespace vx3::link
