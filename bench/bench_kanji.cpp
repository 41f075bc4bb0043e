// Receive decoding throughput of each kanji code over about 50 MB of mixed Japanese text, beside
// glibc iconv converting the same bytes to Shift-JIS. Prints MB/s and the ratio ours / iconv.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kTargetSize = 50u << 20;
constexpr int kRounds = 3;

std::string IconvAll(const char* from, const char* to, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return {};
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

// Text as a BBS shows it: kanji and kana with ASCII words, numbers and CR LF line ends.
std::string MakeSjisText() {
    const char* const phrases[] = {
        "本日の電子会議室は、",
        "ニフティサーブ",
        "皆様からのご意見をお待ちしております。",
        "ダウンロード",
        "データライブラリに新しいファイルを登録しました",
        "ZMODEM",
        " 1995年12月24日 ",
        "パソコン通信",
        "漢字コードの変換",
        "ID: PXA01234 ",
        "ログオフしますか？（Ｙ／Ｎ）",
        "> ",
        "掲示板",
        "東京都千代田区",
        "http://www.example.co.jp/",
        "メッセージ番号 123 を読みました。",
        "電話番号 03-1234-5678",
        "ありがとうございました",
    };
    std::vector<std::string> sjis;
    for (const char* p : phrases) sjis.push_back(marlo::Utf8ToSjis(p));
    std::mt19937 rng(1995);
    std::string text;
    text.reserve(kTargetSize + 256);
    size_t lineStart = 0;
    while (text.size() < kTargetSize) {
        text += sjis[rng() % sjis.size()];
        if (text.size() - lineStart > 60) {
            text += "\r\n";
            lineStart = text.size();
        }
    }
    return text + "\r\n";
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    std::string out;
    out.reserve(s.size());
    size_t pos = 0;
    for (size_t hit; (hit = s.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(s, pos, hit - pos);
        out += to;
    }
    out.append(s, pos, std::string::npos);
    return out;
}

template <class Fn>
double BestMbPerSecond(size_t bytes, Fn fn) {
    double best = 0;
    for (int i = 0; i < kRounds; ++i) {
        const auto t0 = Clock::now();
        fn();
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        best = std::max(best, bytes / 1e6 / s);
    }
    return best;
}

// What the receive path does: one byte at a time through the sink interface.
class CountingSink : public marlo::IKanjiSink {
  public:
    void SingleByte(uint8_t b) override { sum += b; }
    void DoubleByte(uint8_t lead, uint8_t trail) override { sum += lead + trail; }
    unsigned long sum = 0;
};

}  // namespace

int main() {
    const std::string sjis = MakeSjisText();
    const std::string euc = IconvAll("SHIFT_JIS", "EUC-JP", sjis);
    const std::string newJis = IconvAll("SHIFT_JIS", "ISO-2022-JP", sjis);
    const std::string utf8 = IconvAll("SHIFT_JIS", "UTF-8", sjis);
    const std::string oldJis = Replace(Replace(newJis, "\x1b$B", "\x1b$@"), "\x1b(B", "\x1b(J");
    std::string nec;
    {
        marlo::KanjiEncoder e;
        e.SetCode(marlo::kNecKanji);
        e.Encode(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size(), nec);
        e.Finish(nec);
    }
    if (euc.empty() || newJis.empty() || utf8.empty()) {
        std::fprintf(stderr, "iconv could not prepare the input\n");
        return 1;
    }

    struct Row {
        const char* name;
        int code;
        const std::string* line;
        const char* iconvFrom;
        const std::string* iconvInput;  // NEC kanji has no iconv form: iconv reads new JIS
    };
    const Row rows[] = {
        {"Shift-JIS", marlo::kShiftJis, &sjis, "SHIFT_JIS", &sjis},
        {"old JIS", marlo::kOldJis, &oldJis, "ISO-2022-JP", &oldJis},
        {"new JIS", marlo::kNewJis, &newJis, "ISO-2022-JP", &newJis},
        {"NEC kanji", marlo::kNecKanji, &nec, "ISO-2022-JP", &newJis},
        {"EUC", marlo::kEuc, &euc, "EUC-JP", &euc},
        {"UTF-8", marlo::kUtf8, &utf8, "UTF-8", &utf8},
    };

    std::printf("kanji decoding, %.1f MB of mixed Japanese text per code (best of %d)\n",
                sjis.size() / 1e6, kRounds);
    std::printf("%-10s %10s %10s %10s %12s %12s\n", "code", "bytes", "Decode", "Feed", "iconv",
                "ours/iconv");
    std::string out;
    out.reserve(sjis.size() + 64);
    bool allMatch = true;
    for (const Row& r : rows) {
        const auto* p = reinterpret_cast<const uint8_t*>(r.line->data());
        const size_t n = r.line->size();
        const double bulk = BestMbPerSecond(n, [&] {
            marlo::KanjiDecoder d;
            d.SetCode(r.code);
            out.clear();
            d.Decode(p, n, out);
        });
        if (out != sjis) allMatch = false;
        CountingSink sink;
        const double perByte = BestMbPerSecond(n, [&] {
            marlo::KanjiDecoder d;
            d.SetCode(r.code);
            for (size_t i = 0; i < n; ++i) d.Feed(p[i], false, sink);
        });
        std::string ref;
        const double ic = BestMbPerSecond(
            r.iconvInput->size(), [&] { ref = IconvAll(r.iconvFrom, "SHIFT_JIS", *r.iconvInput); });
        std::printf("%-10s %10zu %10.0f %10.0f %12.0f %6.2f %5.2f\n", r.name, n, bulk, perByte, ic,
                    bulk / ic, perByte / ic);
        if (sink.sum == 0) std::printf("(empty)\n");
    }
    std::printf(
        "MB/s; ratios are Decode/iconv and Feed/iconv. NEC kanji is set beside iconv\n"
        "reading the same text as new JIS. Output identical to the text: %s\n",
        allMatch ? "yes" : "NO");
    return allMatch ? 0 : 1;
}
