// The frame's transfer side headless: the start rules through the dialogs, one transfer at a time,
// the frame's reads paused, real XMODEM and YMODEM runs against our own engine on the other end of
// a socket pair, cancel and close with their questions, the end sounds, titles and extraction.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "app/TransferController.h"
#include "support/RecordingPlatform.h"
#include "support/TransferKit.h"
#include "text/Encoding.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

using namespace std::chrono_literals;
using test::RecordingPlatform;

class FakeWindow : public ITransferWindow {
  public:
    void Open() override {
        ++opened;
        open = true;
        fields.clear();
    }
    void Close() override { open = false; }
    void SetField(TransField f, const std::string& t) override { fields[f] = t; }
    void SetStatusTitle(const std::string& t) override { statusTitles.push_back(t); }
    void SetPercent(int p) override { percent = p; }
    void SetCancelEnabled(bool e) override { cancelEnabled = e; }

    int opened = 0;
    bool open = false;
    std::map<TransField, std::string> fields;
    std::vector<std::string> statusTitles;
    int percent = -1;
    bool cancelEnabled = true;
};

// A socket that says it is a serial line with settable parameters.
class SerialOnSocket : public StreamLine {
  public:
    explicit SerialOnSocket(int fd) : StreamLine(fd, fd) {}
    LineKind Kind() const override { return LineKind::Serial; }
    bool GetParams(LineParams& p) override {
        std::lock_guard lock(mutex);
        p = params;
        return true;
    }
    bool SetParams(const LineParams& p) override {
        std::lock_guard lock(mutex);
        if (failAfter-- == 0) return false;
        params = p;
        return true;
    }
    std::mutex mutex;
    LineParams params;
    int failAfter = -1;  // the SetParams call that fails (0 the first); -1 none
};

// Stands in for the frame: the controller's events come back to it.
struct ForwardEvents : IEventTarget {
    std::function<void(const Event&)> to;
    void OnEvent(const Event& e) override { to(e); }
};

class TransferControllerTest : public ::testing::Test {
  protected:
    TransferControllerTest() : settings(dir.Str()) {
        settings.DownlodDefPath = dir.Str();
        settings.UploadDefPath = dir.Str();
        settings.WaveFile[4] = "end.wav";
        settings.WaveFile[5] = "abort.wav";
        TransferFrameHooks hooks;
        hooks.line = [this]() -> ILineIo* { return line; };
        hooks.setRunning = [this](bool r) { runningCalls.push_back(r); };
        hooks.idleTitle = [] { return std::string("[未接続]"); };
        ctrl = std::make_unique<TransferController>(platform, settings, hooks);
        ctrl->SetWindow(&window);
        ctrl->extractLzh = [this](const std::string& p) { extracted.push_back(p); };
        forward.to = [this](const Event& e) { ctrl->OnEvent(e); };
        platform.SetEventTarget(&forward);
    }
    ~TransferControllerTest() override {
        ctrl.reset();
        platform.SetEventTarget(nullptr);
    }

    bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = 30s) {
        return platform.DispatchWait(done, std::chrono::steady_clock::now() + limit) ==
               WaitEnd::Condition;
    }
    bool Post(int id, const std::string& protocolUtf8, const std::string& file) {
        return ctrl->OnEvent(Event{id, 0, 0, Utf8ToSjis(protocolUtf8), file});
    }
    bool Played(const std::string& s) {
        return std::find(platform.sounds.begin(), platform.sounds.end(), s) !=
               platform.sounds.end();
    }

    test::TempDir dir;
    RecordingPlatform platform;
    Settings settings;
    test::SocketPair sp;
    StreamLine stream{sp.a, sp.a};
    ILineIo* line = &stream;
    FakeWindow window;
    std::vector<bool> runningCalls;
    std::vector<std::string> extracted;
    std::unique_ptr<TransferController> ctrl;
    ForwardEvents forward;
};

TEST_F(TransferControllerTest, StartRequestsFollowTheProtocolAndFileRules) {
    struct Case {
        const char* what;
        int id;
        const char* protocol;
        std::optional<int> listAnswer;
        std::optional<std::string> fileAnswer;
        bool listShown;
        bool started;
    };
    const std::string file = (dir.path / "up.bin").string();
    test::WriteFileBytes(file, {1, 2, 3});
    const Case cases[] = {
        {"menu upload, choice cancelled", WM_TRANS_UPLOAD, "", std::nullopt, std::nullopt, true,
         false},
        {"menu download, XMODEM chosen, file cancelled", WM_TRANS_DOWNLOAD, "", 0, std::nullopt,
         true, false},
        {"unknown name asks for the protocol", WM_TRANS_DOWNLOAD, "zmodem", std::nullopt,
         std::nullopt, true, false},
        // Which protocol goes which way is the start rules' table; one refusal here.
        {"XMODEM-1k cannot download", WM_TRANS_DOWNLOAD, "XMODEM-1k", {}, file, false, false},
        {"ZMODEM download names no file",
         WM_TRANS_DOWNLOAD,
         "ZMODEM",
         {},
         std::nullopt,
         false,
         true},
        {"menu upload, XMODEM and a file", WM_TRANS_UPLOAD, "", 1, file, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform.listsShown.clear();
        platform.listAnswers = {c.listAnswer};
        platform.fileAnswers = {c.fileAnswer};
        Post(c.id, c.protocol, "");
        EXPECT_EQ(!platform.listsShown.empty(), c.listShown);
        EXPECT_EQ(ctrl->Running(), c.started);
        if (c.listShown) {
            ASSERT_FALSE(platform.listsShown.empty());
            EXPECT_EQ(platform.listsShown[0].front(),
                      c.id == WM_TRANS_UPLOAD ? "無手順" : "XMODEM");
            EXPECT_EQ(platform.listsShown[0].size(), 7u);
        }
        if (ctrl->Running()) {
            EXPECT_TRUE(window.open);
            ctrl->Stop();
        }
        EXPECT_FALSE(window.open);
    }
    // The file given with the request is used without a dialog.
    platform.fileAnswers.clear();
    EXPECT_TRUE(ctrl->StartTransfer(kUpload, kProtoXmodem, file));
    EXPECT_EQ(ctrl->TransferPath(), file);
    ctrl->Stop();
}

TEST_F(TransferControllerTest, SecondRequestWhileRunningAsksNothingAndStartsNothing) {
    ASSERT_TRUE(ctrl->StartTransfer(kDownload, kProtoXmodem, (dir.path / "x").string()));
    EXPECT_EQ(runningCalls, std::vector<bool>{true});
    Post(WM_TRANS_UPLOAD, "", "");
    Post(WM_TRANS_DOWNLOAD, "YMODEM", "");
    EXPECT_FALSE(ctrl->TransExecute(kProtoZmodem));
    EXPECT_TRUE(platform.listsShown.empty());
    EXPECT_EQ(window.opened, 1);
    ctrl->Stop();
    EXPECT_EQ(runningCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(platform.title, "[未接続]");
}

TEST_F(TransferControllerTest, NoOpenLineIsReported) {
    line = nullptr;
    EXPECT_FALSE(ctrl->StartTransfer(kDownload, kProtoZmodem, ""));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, TransferController::kNoLine);
    EXPECT_TRUE(runningCalls.empty());
    EXPECT_EQ(window.opened, 0);
}

TEST_F(TransferControllerTest, XmodemUploadFillsTheWindowAndEndsWithSoundAndTitle) {
    auto data = test::RandomBytes(3000, 7);
    auto source = dir.path / "send.bin";
    test::WriteFileBytes(source, data);
    auto target = dir.path / "got.bin";

    StreamLine farLine(sp.b, sp.b);
    test::RecordingStatus farStatus;
    TransferSession far(farLine, &farStatus, nullptr);
    TransferRequest request;
    request.protocol = kProtoXmodemCrc;
    request.files = {target};
    ASSERT_EQ(far.Start(request, {}), StartResult::Started);

    ASSERT_TRUE(Post(WM_TRANS_UPLOAD, "XMODEM", source.string()));
    ASSERT_TRUE(ctrl->Running());
    ctrl->OnTick();
    EXPECT_EQ(window.fields[TransField::Elapsed].size(), 8u);
    ASSERT_TRUE(PumpUntil([&] { return !ctrl->Running(); }));
    ASSERT_TRUE(far.WaitEngine(10000));
    far.Finish();
    EXPECT_TRUE(far.Succeeded());

    auto got = test::ReadFileBytes(target);
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_FALSE(window.open);
    EXPECT_EQ(window.fields[TransField::Protocol], "XMODEM");
    EXPECT_NE(window.fields[TransField::File].find("send.bin"), std::string::npos);
    EXPECT_EQ(window.percent, 100);
    EXPECT_TRUE(Played("end.wav"));
    EXPECT_FALSE(Played("abort.wav"));
    EXPECT_EQ(platform.title, "[未接続]");
    // The window is gone; the status bar says how it ended.
    EXPECT_EQ(platform.statusText, "転送が終了しました (send.bin)");
    EXPECT_EQ(runningCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(extracted.empty());  // an upload is never extracted
}

TEST_F(TransferControllerTest, DownloadsOfAnArchiveAreExtractedOnlyWhenAsked) {
    // Quick-VAN keeps the transfer path as it was (first empty), but the file it received is the
    // one reported and extracted.
    // Senders lower-case the name; "a.lzh.txt" is no archive whatever the setting.
    struct Case {
        int protocol, unlha;
        const char *sent, *received;
        bool extracted;
    };
    for (auto [protocol, unlha, sent, name, extracts] :
         {Case{kProtoQuickVan, 1, "arc.lzh", "arc.lzh", true},
          {kProtoQuickVan, 0, "arc.lzh", "arc.lzh", false},
          {kProtoYmodem, 1, "X.LZH", "x.lzh", true},
          {kProtoZmodem, 1, "X.LZH", "x.lzh", true},
          {kProtoZmodem, 1, "a.lzh.txt", "a.lzh.txt", false},
          {kProtoYmodem, 1, "a.lzh.txt", "a.lzh.txt", false},
          {kProtoYmodem, 0, "arc.lzh", "arc.lzh", false}}) {
        SCOPED_TRACE(testing::Message() << protocol << " " << unlha << " " << sent);
        settings.Unlha = unlha;
        extracted.clear();
        const std::string before = ctrl->TransferPath();
        auto sendDir = dir.path / ("out" + std::to_string(unlha));
        std::filesystem::create_directories(sendDir);
        auto source = sendDir / sent;
        auto data = test::RandomBytes(5000, 3);
        test::WriteFileBytes(source, data);

        // A fresh pair each time: nothing of the last run is left on the line.
        test::SocketPair pair;
        StreamLine near(pair.a, pair.a), farLine(pair.b, pair.b);
        line = &near;
        TransferSession far(farLine, nullptr, nullptr);
        TransferRequest request;
        request.protocol = protocol;
        request.direction = kUpload;
        request.files = {source};
        ASSERT_EQ(far.Start(request, {}), StartResult::Started);

        ASSERT_TRUE(Post(WM_TRANS_DOWNLOAD, SjisToUtf8(ProtocolName(protocol)), ""));
        ASSERT_TRUE(PumpUntil([&] { return !ctrl->Running(); }));
        ASSERT_TRUE(far.WaitEngine(10000));
        far.Finish();
        auto received = dir.path / name;
        EXPECT_EQ(test::ReadFileBytes(received), data);
        EXPECT_EQ(ctrl->TransferPath(), protocol == kProtoQuickVan ? before : received.string());
        EXPECT_EQ(platform.statusText, std::string("転送が終了しました (") + name + ")");
        if (extracts)
            EXPECT_EQ(extracted, std::vector<std::string>{received.string()});
        else
            EXPECT_TRUE(extracted.empty());
        std::filesystem::remove(received);
    }
}

TEST_F(TransferControllerTest, CancelAsksAndStopsOnlyWhenConfirmed) {
    test::Peer peer(sp.b);
    auto source = dir.path / "send.bin";
    test::WriteFileBytes(source, test::RandomBytes(4000, 1));
    ASSERT_TRUE(ctrl->StartTransfer(kUpload, kProtoXmodem, source.string()));
    peer.Write(0x15);  // NAK: the sender starts with checksum blocks

    platform.answers = {MsgResult::Cancel};
    ctrl->RequestCancel();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, TransferController::kAskCancel);
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(ctrl->Running());
    EXPECT_TRUE(window.cancelEnabled);

    platform.answers = {MsgResult::Ok};
    ctrl->RequestCancel();
    EXPECT_FALSE(window.cancelEnabled);
    EXPECT_GE(test::CountCans(peer), 2);
    ASSERT_TRUE(PumpUntil([&] { return !ctrl->Running(); }));
    EXPECT_FALSE(window.open);
    EXPECT_TRUE(Played("abort.wav"));
    EXPECT_TRUE(Played("end.wav"));
    EXPECT_EQ(platform.title, "[未接続]");
}

TEST_F(TransferControllerTest, ClosingTheWindowAsksAndEndsWithoutAnEndReport) {
    ASSERT_TRUE(ctrl->StartTransfer(kDownload, kProtoXmodem, (dir.path / "x").string()));
    platform.answers = {MsgResult::Cancel};
    EXPECT_FALSE(ctrl->RequestClose());
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, TransferController::kAskClose);
    EXPECT_EQ(platform.boxes[0].icon, MsgIcon::Stop);
    EXPECT_TRUE(ctrl->Running());

    platform.answers = {MsgResult::Ok};
    EXPECT_TRUE(ctrl->RequestClose());
    EXPECT_FALSE(ctrl->Running());
    EXPECT_FALSE(window.open);
    EXPECT_EQ(runningCalls, (std::vector<bool>{true, false}));
    // Whatever the thread had queued is dropped: no end sound, nothing more in the window.
    platform.DispatchPending();
    EXPECT_FALSE(Played("end.wav"));
    EXPECT_EQ(platform.statusText, "転送を中止しました (x)");
    // A new transfer can start at once.
    EXPECT_TRUE(ctrl->StartTransfer(kDownload, kProtoXmodem, (dir.path / "y").string()));
    ctrl->Stop();
}

TEST_F(TransferControllerTest, SevenBitSerialLineSwitchesForTheRunAndReportsFailures) {
    SerialOnSocket serial(sp.a);
    serial.params = {9600, 7, 0, 2, 0};
    line = &serial;

    serial.failAfter = 0;  // the switch to 8 bits fails
    EXPECT_FALSE(ctrl->StartTransfer(kDownload, kProtoXmodem, (dir.path / "x").string()));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, TransferController::kEightBitFailed);
    EXPECT_EQ(window.opened, 0);
    EXPECT_EQ(runningCalls, (std::vector<bool>{true, false}));

    // The switch works, the way back fails: the end says so.
    serial.failAfter = 1;
    ASSERT_TRUE(ctrl->StartTransfer(kDownload, kProtoXmodem, (dir.path / "y").string()));
    EXPECT_EQ(serial.params.dataBits, 8);
    EXPECT_EQ(serial.params.parity, 0);
    platform.answers = {MsgResult::Ok};
    ctrl->RequestCancel();
    ASSERT_TRUE(PumpUntil([&] { return !ctrl->Running(); }));
    ASSERT_EQ(platform.boxes.size(), 3u);
    EXPECT_EQ(platform.boxes[2].text, TransferController::kRestoreFailed);
    EXPECT_EQ(serial.params.dataBits, 8);
}

}  // namespace
}  // namespace marlo
