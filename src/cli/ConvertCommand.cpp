// marlo-cli convert: converts a text between the line codes, through Shift-JIS, with the same
// stateful codecs that the line uses.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "terminal/KanjiCodec.h"

namespace marlo::cli {
namespace {

const char kUsage[] =
    "  convert --from CODE --to CODE [FILE|-]\n"
    "      converts FILE (or standard input) between kanji codes; CODE is sjis, oldjis, newjis,\n"
    "      nec, euc or utf8, or one of the names Shift-JIS, 旧JIS, 新JIS, NEC漢字, EUC, UTF-8";

int CodeFromArg(const std::string& arg) {
    static const char* const kShortNames[kKanjiCodeCount] = {"sjis", "oldjis", "newjis",
                                                             "nec",  "euc",    "utf8"};
    for (int i = 0; i < kKanjiCodeCount; ++i)
        if (strcasecmp(arg.c_str(), kShortNames[i]) == 0) return i;
    return KanjiCodeFromName(arg);
}

int UsageError(const char* fmt, const std::string& what) {
    std::fprintf(stderr, "marlo-cli convert: ");
    std::fprintf(stderr, fmt, what.c_str());
    std::fprintf(stderr, "\nusage:\n%s\n", kUsage);
    return kExitUsage;
}

int RunConvert(const std::vector<std::string>& args) {
    int from = -1, to = -1;
    bool haveFrom = false, haveTo = false;
    std::string path;
    bool havePath = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--from" || a == "--to") {
            if (i + 1 >= args.size()) return UsageError("%s needs a code", a);
            const int code = CodeFromArg(args[++i]);
            if (code < 0) return UsageError("unknown kanji code '%s'", args[i]);
            (a == "--from" ? from : to) = code;
            (a == "--from" ? haveFrom : haveTo) = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option '%s'", a);
        } else if (havePath) {
            return UsageError("more than one input given ('%s')", a);
        } else {
            path = a;
            havePath = true;
        }
    }
    if (!haveFrom || !haveTo) return UsageError("%s", "both --from and --to are needed");

    FILE* in = stdin;
    if (havePath && path != "-") {
        in = std::fopen(path.c_str(), "rb");
        if (!in) {
            std::fprintf(stderr, "marlo-cli convert: cannot open '%s': %s\n", path.c_str(),
                         std::strerror(errno));
            return kExitUsage;
        }
    }

    KanjiDecoder decoder;
    decoder.SetCode(from);
    KanjiEncoder encoder;
    encoder.SetCode(to);
    std::vector<uint8_t> buf(1 << 16);
    std::string sjis, line;
    bool ok = true;
    for (;;) {
        const size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0) break;
        sjis.clear();
        decoder.Decode(buf.data(), n, sjis);
        const std::string* result = &sjis;
        if (to != kShiftJis) {
            line.clear();
            encoder.Encode(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size(), line);
            result = &line;
        }
        if (std::fwrite(result->data(), 1, result->size(), stdout) != result->size()) {
            ok = false;
            break;
        }
    }
    const bool readFailed = std::ferror(in) != 0;
    if (in != stdin) std::fclose(in);
    if (readFailed) {
        std::fprintf(stderr, "marlo-cli convert: cannot read '%s'\n",
                     havePath ? path.c_str() : "-");
        return kExitUsage;
    }
    if (ok) {
        line.clear();
        encoder.Finish(line);
        ok = std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
    }
    if (std::fflush(stdout) != 0 || !ok) {
        std::fprintf(stderr, "marlo-cli convert: cannot write the result: %s\n",
                     std::strerror(errno));
        return kExitUsage;
    }
    if (decoder.HasPendingLead() || decoder.InSequence())
        std::fprintf(stderr, "marlo-cli convert: the input ends inside a character\n");
    return kExitOk;
}

MARLO_CLI_COMMAND("convert", kUsage, RunConvert);

}  // namespace
}  // namespace marlo::cli
