// Time to save and load the settings file with every setting and a large host table (1000 hosts
// of 40 values each, Shift-JIS names and texts), and to load the settings from the store.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsIo.h"

using Clock = std::chrono::steady_clock;

static double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

int main() {
    std::string dir = (std::filesystem::temp_directory_path() / "marlo-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return 1;
    marlo::SettingsFile store(dir);
    marlo::Settings s("/data");
    marlo::SaveSettings(store, s, true);
    for (int h = 0; h < 1000; ++h) {
        std::string key = "Host\\\x83\x7a\x83\x58\x83\x67" + std::to_string(h);  // ホスト<n>
        for (int v = 0; v < 20; ++v) store.SetNumber(key, "Num" + std::to_string(v), h * v);
        for (int v = 0; v < 20; ++v)
            store.SetText(key, "Text" + std::to_string(v),
                          "\x8a\xbf\x8e\x9a text " + std::to_string(v));
    }
    auto t0 = Clock::now();
    if (!store.Save()) return 1;
    auto t1 = Clock::now();
    marlo::SettingsFile back(dir);
    if (!back.Load(nullptr)) return 1;
    auto t2 = Clock::now();
    marlo::Settings loaded("/data");
    const int rounds = 100;
    for (int i = 0; i < rounds; ++i) marlo::LoadSettings(back, loaded, "");
    auto t3 = Clock::now();
    std::printf("file size: %ju bytes\n",
                static_cast<uintmax_t>(std::filesystem::file_size(store.FilePath())));
    std::printf("save (1000 hosts x 40 values + settings): %.1f ms\n", Ms(t0, t1));
    std::printf("load and parse the same file: %.1f ms\n", Ms(t1, t2));
    std::printf("LoadSettings from the store: %.3f ms each\n", Ms(t2, t3) / rounds);
    std::filesystem::remove_all(dir);
    return 0;
}
