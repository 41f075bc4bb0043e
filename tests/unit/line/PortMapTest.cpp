#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "line/PortMap.h"
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

TEST_F(PortMapTest, CliListsTheNumbersWithoutChangingTheMap) {
    WriteMap("/dev/pts/99\n");
    fs::create_directories(dir / "dev" / "serial" / "by-id");
    std::ofstream(dir / "dev" / "ttyUSB0") << "";  // present but not a terminal
    const auto r = test::RunProgram(
        MARLO_CLI_PATH, {"ports", "--config", dir.string(), "--dev", (dir / "dev").string()});
    EXPECT_EQ(r.status, 0);
    const std::string out = r.out + r.err;
    EXPECT_NE(out.find("COM1\t/dev/pts/99\n"), std::string::npos) << out;
    EXPECT_NE(out.find("-\t" + (dir / "dev" / "ttyUSB0").string() + "\tcannot open\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(PortMap(dir).Entries(), std::vector<std::string>{"/dev/pts/99"});
}

}  // namespace
}  // namespace marlo
