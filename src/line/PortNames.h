// Serial ports named by what they are: the tty behind a path, the /dev/serial/by-id link that
// names the same adapter whatever ttyUSB number it has today, and the USB maker, product and
// serial number that udev shows. Read from the file system alone (no udev library): the by-id
// links under /dev and the attributes of the USB device above /sys/class/tty/NAME/device.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace marlo {

struct PortDescription {
    std::string path;    // as given
    std::string tty;     // the device the path leads to ("/dev/ttyUSB0"); the path when no link
    std::string byId;    // the /dev/serial/by-id link of the device, "" when none
    std::string vendor;  // the USB strings, "" when unknown
    std::string product;
    std::string serial;
    std::string vendorId;  // "0403", "" when not a USB device
    std::string productId;

    // "FTDI FT232R USB UART (A50285BI)": the USB strings, or the by-id name where /sys has none;
    // "" for a port with nothing to tell (a built-in ttyS, a pty).
    std::string Label() const;
    // "PATH" or "PATH  LABEL", as lists show a port.
    std::string ListText() const;
};

class PortNamer {
  public:
    // `devDir` and `sysDir` are for tests (a temp folder of links and attribute files).
    explicit PortNamer(std::filesystem::path devDir = "/dev",
                       std::filesystem::path sysDir = "/sys");

    // What the system knows of the device at `path` (a tty, a by-id link, any link to a tty).
    PortDescription Describe(const std::string& path) const;
    // The by-id link that names the device at `path`, or "" (a port with no USB identity).
    std::string StablePath(const std::string& path) const;
    // Whether two paths lead to the same device (a by-id link and its ttyUSB).
    static bool SameDevice(const std::string& a, const std::string& b);

  private:
    std::filesystem::path dev_, sys_;
};

// The serial devices present (as FindSerialDevices finds them), each as its list text.
std::vector<std::string> PortListTexts(const PortNamer& namer = PortNamer(),
                                       const std::filesystem::path& devDir = "/dev");

// The text of a list entry back to its path: "PATH  LABEL" gives PATH; any other text (a path the
// user typed) is taken as it is.
std::string PathOfListText(const std::string& text);

}  // namespace marlo
