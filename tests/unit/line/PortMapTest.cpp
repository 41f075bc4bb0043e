#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "line/DeviceReturn.h"
#include "line/PortMap.h"
#include "line/PortNames.h"
#include "support/RecordingPlatform.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;

class PortMapTest : public ::testing::Test {
  protected:
    void WriteMap(const std::string& text) { std::ofstream(dir / "ports.conf") << text; }
    test::TempDir tmp;
    fs::path dir = tmp.path;
};

TEST_F(PortMapTest, NumbersFallBackToTtySWithoutAMap) {
    PortMap map(dir);
    EXPECT_EQ(map.PathOf(1), "/dev/ttyS0");
    EXPECT_EQ(map.PathOf(4), "/dev/ttyS3");
    EXPECT_EQ(map.PathOf(0), "");
    EXPECT_EQ(map.NumberOf("/dev/ttyS2"), 3);
    EXPECT_FALSE(fs::exists(dir / "ports.conf"));  // nothing new to remember
}

TEST_F(PortMapTest, MapLinesNameThePortsAndBlankLinesFallBack) {
    WriteMap("/dev/ttyUSB0\n\n  /dev/serial/by-id/usb-modem  \r\n");
    PortMap map(dir);
    EXPECT_EQ(map.PathOf(1), "/dev/ttyUSB0");
    EXPECT_EQ(map.PathOf(2), "/dev/ttyS1");
    EXPECT_EQ(map.PathOf(3), "/dev/serial/by-id/usb-modem");
    EXPECT_EQ(map.PathOf(4), "/dev/ttyS3");
    EXPECT_EQ(map.NumberOf("/dev/serial/by-id/usb-modem"), 3);
    // ttyS0 is shadowed by line 1, so it needs a line of its own.
    EXPECT_EQ(map.NumberOf("/dev/ttyS0"), 4);
    EXPECT_EQ(map.NumberOf("/dev/ttyS1"), 2);
}

TEST_F(PortMapTest, ATypedPathIsAppendedAndRemembered) {
    {
        PortMap map(dir);
        EXPECT_EQ(map.NumberOf("/dev/pts/7"), 1);
        EXPECT_EQ(map.NumberOf("/dev/ttyACM0"), 2);
        EXPECT_EQ(map.NumberOf("/dev/pts/7"), 1);
        EXPECT_TRUE(map.Saved());
    }
    PortMap again(dir);
    EXPECT_EQ(again.PathOf(1), "/dev/pts/7");
    EXPECT_EQ(again.PathOf(2), "/dev/ttyACM0");
    EXPECT_EQ(again.Resolve("COM2"), "/dev/ttyACM0");
    EXPECT_EQ(again.NumberOfName("COM2"), 2);
}

TEST_F(PortMapTest, NamesResolve) {
    PortMap map(dir);
    EXPECT_EQ(map.Resolve(kNoModemName), "");
    EXPECT_EQ(map.NumberOfName(kNoModemName), 0);
    EXPECT_EQ(map.Resolve("COM1"), "/dev/ttyS0");
    EXPECT_EQ(map.Resolve("/dev/ttyUSB3"), "/dev/ttyUSB3");
    struct Case {
        const char* name;
        int number;  // 0: not a COM name
    } cases[] = {{"COM1", 1},  {"com12", 12}, {"COM0", 0},         {"COM", 0},   {"COMx", 0},
                 {"COM1a", 0}, {"XCOM1", 0},  {"COM99999", 99999}, {"COM-1", 0}, {"", 0}};
    for (const auto& c : cases) {
        auto n = PortMap::ParseComName(c.name);
        EXPECT_EQ(n.value_or(0), c.number) << c.name;
    }
    EXPECT_EQ(PortMap::ComName(3), "COM3");
}

TEST_F(PortMapTest, AnUnwritableMapStillNumbersTheRun) {
    fs::path file = dir / "sub";
    std::ofstream(file) << "x";  // a file where the folder should be
    PortMap map(file);
    EXPECT_EQ(map.NumberOf("/dev/pts/3"), 1);
    EXPECT_FALSE(map.Saved());
    EXPECT_EQ(map.PathOf(1), "/dev/pts/3");
}

TEST_F(PortMapTest, FindsSerialDevicesInNaturalOrderWithLinksFirst) {
    fs::path dev = dir / "dev";
    fs::create_directories(dev / "serial" / "by-id");
    for (const char* n : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty1", "ttyS", "null"})
        std::ofstream(dev / n) << "";
    fs::create_symlink(dev / "ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_modem");
    auto found = FindSerialDevices(dev);
    std::vector<std::string> want = {
        (dev / "serial" / "by-id" / "usb-FTDI_modem").string(),
        (dev / "ttyACM1").string(),
        (dev / "ttyS2").string(),
        (dev / "ttyS10").string(),
    };
    EXPECT_EQ(found, want);
    EXPECT_TRUE(FindSerialDevices(dir / "missing").empty());
}

// A USB adapter as udev leaves it: the tty, a relative by-id link to it, and in /sys the tty's
// device node under the USB interface under the USB device that holds the strings.
void FakeUsbAdapter(const fs::path& root, const std::string& tty, const std::string& byId,
                    const std::map<std::string, std::string>& attributes) {
    fs::create_directories(root / "dev" / "serial" / "by-id");
    std::ofstream(root / "dev" / tty) << "";
    fs::create_symlink("../../" + tty, root / "dev" / "serial" / "by-id" / byId);
    const fs::path usb = root / "sys" / "devices" / "usb1" / ("1-" + tty);
    const fs::path node = usb / "1-1:1.0" / tty;
    fs::create_directories(node);
    for (const auto& [name, value] : attributes) std::ofstream(usb / name) << value << "\n";
    fs::create_directories(root / "sys" / "class" / "tty" / tty);
    fs::create_symlink(node, root / "sys" / "class" / "tty" / tty / "device");
}

TEST_F(PortMapTest, PortsAreNamedByWhatUdevKnowsOrByTheirById) {
    const fs::path dev = dir / "dev";
    FakeUsbAdapter(dir, "ttyUSB0", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                   {{"idVendor", "0403"},
                    {"idProduct", "6001"},
                    {"manufacturer", "FTDI"},
                    {"product", "FT232R USB UART"},
                    {"serial", "A50285BI"}});
    // Nothing in /sys but the ids, and a control character where a name should be.
    FakeUsbAdapter(dir, "ttyACM0", "usb-Raspberry_Pi_Pico_E6614C-if00",
                   {{"idVendor", "2e8a"},
                    {"idProduct", "000a"},
                    {"serial",
                     "E\x1b"
                     "6"}});
    std::ofstream(dev / "ttyS0") << "";
    PortNamer namer(dev, dir / "sys");

    const std::string link =
        (dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
    for (const std::string& path : {link, (dev / "ttyUSB0").string()}) {
        PortDescription d = namer.Describe(path);
        EXPECT_EQ(d.tty, fs::canonical(dev / "ttyUSB0").string()) << path;
        EXPECT_EQ(d.byId, link) << path;
        EXPECT_EQ(d.Label(), "FTDI FT232R USB UART (A50285BI)") << path;
        EXPECT_EQ(d.vendorId + ":" + d.productId, "0403:6001");
    }
    EXPECT_EQ(namer.Describe((dev / "ttyACM0").string()).Label(), "USB 2e8a:000a (E 6)");
    EXPECT_TRUE(PortNamer::SameDevice(link, (dev / "ttyUSB0").string()));
    EXPECT_FALSE(PortNamer::SameDevice(link, (dev / "ttyACM0").string()));

    // Without /sys the by-id name tells what the adapter is; a plain port tells nothing.
    PortNamer bare(dev, dir / "nosys");
    EXPECT_EQ(bare.Describe(link).Label(), "FTDI FT232R USB UART A50285BI");
    EXPECT_EQ(bare.Describe((dev / "ttyS0").string()).ListText(), (dev / "ttyS0").string());
    EXPECT_EQ(bare.Describe("/nonexistent/tty").Label(), "");

    // The list texts lead back to their paths; a typed path stays as it is.
    auto texts = PortListTexts(namer, dev);
    ASSERT_EQ(texts.size(), 3u);  // the two links, then ttyS0
    EXPECT_EQ(texts[0], link + "  FTDI FT232R USB UART (A50285BI)");
    EXPECT_EQ(PathOfListText(texts[0]), link);
    EXPECT_EQ(texts[2], (dev / "ttyS0").string());
    EXPECT_EQ(PathOfListText("/dev/ttyUSB7"), "/dev/ttyUSB7");
}

// The return watch of a device that went away follows its folder back into existence (udev removes
// /dev/serial/by-id with the last adapter) and tries a node that is there but will not open yet
// (its permissions come a moment later) again until it opens; then it ends.
TEST_F(PortMapTest, ReturnWatchFollowsTheFolderAndRetriesANodeThatWillNotOpenYet) {
    test::RecordingPlatform platform;
    DeviceReturnWatch watch(platform, 1);
    const fs::path node = dir / "serial" / "by-id" / "usb-Marlo_Adapter_0001-if00-port0";
    int tries = 0;
    ASSERT_TRUE(watch.Start(node, [&] { return ++tries >= 3; }));
    EXPECT_EQ(watch.Folder(), dir);
    fs::create_directories(node.parent_path());
    ASSERT_TRUE(platform.Until([&] { return watch.Folder() == node.parent_path(); }));
    EXPECT_EQ(tries, 0);
    std::ofstream(node.string()) << "";
    ASSERT_TRUE(platform.Until([&] { return !watch.Active(); }));
    EXPECT_EQ(tries, 3);
    fs::remove(node);
    std::ofstream(node.string()) << "";
    platform.Idle(50);
    EXPECT_EQ(tries, 3);
}

TEST_F(PortMapTest, CliListsTheNumbersWithoutChangingTheMap) {
    WriteMap("/dev/pts/99\n");
    FakeUsbAdapter(dir, "ttyUSB1", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                   {{"idVendor", "0403"}, {"idProduct", "6001"}, {"product", "FT232R USB UART"}});
    std::ofstream(dir / "dev" / "ttyUSB0") << "";  // present but not a terminal
    const auto r =
        test::RunProgram(MARLO_CLI_PATH, {"ports", "--config", dir.string(), "--dev",
                                          (dir / "dev").string(), "--sys", (dir / "sys").string()});
    EXPECT_EQ(r.status, 0);
    const std::string out = r.out + r.err;
    EXPECT_NE(out.find("COM1\t/dev/pts/99\n"), std::string::npos) << out;
    EXPECT_NE(out.find("-\t" + (dir / "dev" / "ttyUSB0").string() + "\tcannot open\n"),
              std::string::npos)
        << out;
    // Each device is followed by what it is, as a comment line.
    const std::string link =
        (dir / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
    EXPECT_NE(
        out.find("-\t" + link + "\tcannot open\n# " + link + ": FT232R USB UART, USB 0403:6001, " +
                 fs::canonical(dir / "dev" / "ttyUSB1").string() + "\n"),
        std::string::npos)
        << out;
    EXPECT_EQ(PortMap(dir).Entries(), std::vector<std::string>{"/dev/pts/99"});
}

}  // namespace
}  // namespace marlo
