// marlo-cli screen: feeds a byte stream through the receive path, as the line would, and prints the
// screen buffer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "settings/Settings.h"
#include "settings/SettingsByName.h"
#include "settings/SettingsIo.h"
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"
#include "text/Encoding.h"

namespace marlo::cli {

namespace {

constexpr const char* kUsage =
    "  screen [--set Name=Value]... [--chunk N] [--utf8] [--attrs] [--cursor] [FILE|-]\n"
    "      Feed FILE (or standard input) through the receive path in blocks of N bytes\n"
    "      (default ReadSize) with the default settings changed by each --set (stored value\n"
    "      names: Emulation, CodeExchange, AutoMargin, SI/SO, ...); no settings file is read.\n"
    "      Prints buffer lines 0 to the last line in use (Shift-JIS, or UTF-8 with --utf8),\n"
    "      trailing blanks removed. --attrs adds after each line a line \"~\" listing the\n"
    "      cell runs with attributes as \" FIRST-LAST:FLAGS,FORE,BACK\" (1-based columns; flags\n"
    "      1 bold, 2 underline, 4 blink, 8 reverse, 16 secret; colours 0 or 30..37 / 40..47).\n"
    "      xterm adds flag 32 (DEC graphics: the byte is the character's code in that set) and\n"
    "      the bright colours 90..97 / 100..107.\n"
    "      --cursor adds a last line \"cursor ROW COL\" (1-based screen position).";

int Usage(const std::string& message) {
    std::fprintf(stderr, "marlo-cli screen: %s\n", message.c_str());
    return kExitUsage;
}

bool ParseChunk(const std::string& text, size_t* out) {
    if (text.empty() || text.size() > 9) return false;
    size_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<size_t>(c - '0');
    }
    if (v == 0) return false;
    *out = v;
    return true;
}

bool HasHighBytes(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return true;
    return false;
}

bool IsTextSetting(const std::string& name) {
    auto canonical = ResolveSettingName(name);
    const SettingInfo* info = canonical ? FindSetting(*canonical) : nullptr;
    return info && info->form == SettingForm::Text;
}

int RunScreen(const std::vector<std::string>& args) {
    Settings settings;
    ScreenDumpOptions options;
    size_t chunk = 0;
    std::string file;
    bool haveFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto valueOf = [&](const std::string& option, std::string* value) {
            if (a == option) {
                if (i + 1 >= args.size()) return false;
                *value = args[++i];
                return true;
            }
            *value = a.substr(option.size() + 1);
            return true;
        };
        if (a == "--utf8") {
            options.utf8 = true;
        } else if (a == "--attrs") {
            options.attrs = true;
        } else if (a == "--cursor") {
            options.cursor = true;
        } else if (a == "--set" || a.rfind("--set=", 0) == 0) {
            std::string pair, name, value, error;
            if (!valueOf("--set", &pair)) return Usage("--set needs Name=Value");
            if (!SplitSetting(pair, name, value))
                return Usage("--set needs Name=Value, not '" + pair + "'");
            // Command lines are UTF-8; texts inside the program are Shift-JIS.
            if (HasHighBytes(value) && IsTextSetting(name)) value = Utf8ToSjis(value);
            if (!SetSettingByName(settings, name, value, &error)) return Usage(error);
        } else if (a == "--chunk" || a.rfind("--chunk=", 0) == 0) {
            std::string n;
            if (!valueOf("--chunk", &n) || !ParseChunk(n, &chunk))
                return Usage("--chunk needs a positive number of bytes");
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + a + "'");
        } else {
            if (haveFile) return Usage("only one input file may be given");
            file = a;
            haveFile = true;
        }
    }
    if (chunk == 0) chunk = static_cast<size_t>(settings.ReadBlockSize());

    FILE* in = stdin;
    bool fromStdin = !haveFile || file == "-";
    if (!fromStdin) {
        in = std::fopen(file.c_str(), "rb");
        if (!in) return Usage("cannot open '" + file + "': " + std::strerror(errno));
    }
    Terminal terminal(settings);
    std::vector<uint8_t> block(chunk);
    bool readError = false;
    for (;;) {
        size_t n = std::fread(block.data(), 1, chunk, in);
        if (n > 0) terminal.ProcessReceived(block.data(), n);
        if (n < chunk) {
            readError = std::ferror(in) != 0;
            break;
        }
    }
    int readErrno = errno;
    if (!fromStdin) std::fclose(in);
    if (readError)
        return Usage("cannot read '" + (fromStdin ? std::string("-") : file) +
                     "': " + std::strerror(readErrno));

    std::string out = DumpScreen(terminal, options);
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "marlo-cli screen: cannot write the output\n");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

MARLO_CLI_COMMAND("screen", kUsage, RunScreen);

}  // namespace marlo::cli
