#include "line/PortNames.h"

#include <cctype>
#include <fstream>
#include <system_error>

#include "line/PortMap.h"

namespace marlo {

namespace fs = std::filesystem;

namespace {

// How far above the tty's device node the USB device may sit (interface, port, device).
constexpr int kUsbLevels = 4;
// Attribute files are one short line; anything longer is not what udev wrote.
constexpr size_t kMaxAttribute = 256;

std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    if (line.size() > kMaxAttribute) line.resize(kMaxAttribute);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    // Shown in lists and printed: no control characters from a device's descriptor.
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return line;
}

fs::path Canonical(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::canonical(p, ec);
    return ec ? fs::path() : c;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI".
std::string LabelOfById(const std::string& link) {
    std::string name = fs::path(link).filename().string();
    for (const char* bus : {"usb-", "pci-", "platform-"})
        if (name.rfind(bus, 0) == 0) {
            name.erase(0, std::string(bus).size());
            break;
        }
    // The interface and port suffix tell nothing a user recognises.
    if (auto at = name.rfind("-if"); at != std::string::npos && at > 0) name.resize(at);
    for (char& c : name)
        if (c == '_') c = ' ';
    return name;
}

}  // namespace

std::string PortDescription::Label() const {
    std::string label = vendor;
    if (!product.empty()) label += (label.empty() ? "" : " ") + product;
    if (label.empty() && !vendorId.empty()) label = "USB " + vendorId + ":" + productId;
    if (!label.empty()) {
        if (!serial.empty()) label += " (" + serial + ")";
        return label;
    }
    return byId.empty() ? std::string() : LabelOfById(byId);
}

std::string PortDescription::ListText() const {
    std::string label = Label();
    return label.empty() ? path : path + "  " + label;
}

PortNamer::PortNamer(fs::path devDir, fs::path sysDir)
    : dev_(std::move(devDir)), sys_(std::move(sysDir)) {}

bool PortNamer::SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    fs::path ca = Canonical(a), cb = Canonical(b);
    return !ca.empty() && ca == cb;
}

std::string PortNamer::StablePath(const std::string& path) const {
    fs::path target = Canonical(path);
    if (target.empty()) return {};
    std::error_code ec;
    for (fs::directory_iterator it(dev_ / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec))
        if (Canonical(it->path()) == target) return it->path().string();
    return {};
}

PortDescription PortNamer::Describe(const std::string& path) const {
    PortDescription d;
    d.path = path;
    fs::path target = Canonical(path);
    d.tty = target.empty() ? path : target.string();
    d.byId = fs::path(path).parent_path() == dev_ / "serial" / "by-id" ? path : StablePath(path);
    if (target.empty()) return d;

    // The USB device is the first folder above the tty's device node that has a vendor id.
    fs::path node = Canonical(sys_ / "class" / "tty" / target.filename() / "device");
    for (int level = 0; !node.empty() && level <= kUsbLevels; ++level) {
        std::error_code ec;
        if (fs::exists(node / "idVendor", ec)) {
            d.vendorId = ReadAttribute(node / "idVendor");
            d.productId = ReadAttribute(node / "idProduct");
            d.vendor = ReadAttribute(node / "manufacturer");
            d.product = ReadAttribute(node / "product");
            d.serial = ReadAttribute(node / "serial");
            break;
        }
        if (node == node.parent_path() || node == sys_) break;
        node = node.parent_path();
    }
    return d;
}

std::vector<std::string> PortListTexts(const PortNamer& namer, const fs::path& devDir) {
    std::vector<std::string> texts;
    for (const auto& path : FindSerialDevices(devDir))
        texts.push_back(namer.Describe(path).ListText());
    return texts;
}

std::string PathOfListText(const std::string& text) {
    auto at = text.find("  ");
    return at == std::string::npos ? text : text.substr(0, at);
}

}  // namespace marlo
