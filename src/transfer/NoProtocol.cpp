#include "transfer/NoProtocol.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "transfer/FileNames.h"
#include "transfer/ProgressText.h"

namespace marlo {

namespace {

using Clock = std::chrono::steady_clock;

std::string CpsText(long cps) {
    char text[48];
    std::snprintf(text, sizeof text, "%ld cps", cps);
    return text;
}

}  // namespace

bool CNoProtocol::Upload() {
    if (ctx_.files.empty()) {
        ShowMessage("ファイルのオープンに失敗しました.", MsgIcon::Stop);
        return false;
    }
    const auto path = WithDefaultDir(ctx_.files.front(), true);
    ctx_.files.front() = path;
    struct stat st {};
    int fd = OpenForSending(path, st);
    if (fd < 0) return false;
    const long size = static_cast<long>(st.st_size);
    ShowTitles(kTextUploading, FormatTitlePercent(true, 0));
    ShowField(TransField::Size, FormatBytes(size));
    ShowField(TransField::File, FileNameToUtf8(path.filename().string()));
    ShowField(TransField::Elapsed, FormatElapsed(0));
    ShowField(TransField::Bytes, FormatBytes(0, true));
    ShowField(TransField::Speed, CpsText(0));
    if (ctx_.status) ctx_.status->SetPercent(0);

    // The speed counts from the moment the file is open.
    const auto start = Clock::now();
    auto nextShow = start;
    long sent = 0;
    auto show = [&] {
        ShowField(TransField::Bytes, FormatBytes(sent));
        ProgressFigures f = ComputeProgress(
            sent, size,
            static_cast<long>(
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()));
        if (f.percent >= 0 && ctx_.status) {
            ctx_.status->SetPercent(f.percent);
            ctx_.status->SetTitle(FormatTitlePercent(true, f.percent));
        }
        if (f.cps > 0) ShowField(TransField::Speed, CpsText(f.cps));
        if (f.remaining >= 0) ShowField(TransField::Remaining, FormatRemaining(f.remaining));
    };
    uint8_t buf[4096];
    bool ok = true;
    for (;;) {
        const long got = ReadFull(fd, buf, sizeof buf);
        if (got < 0) {
            ShowFileMessage("ファイルの読み込みに失敗しました.", path, errno);
            ok = false;
            break;
        }
        if (got == 0) break;
        if (Aborted()) {
            if (ctx_.abort.load()) NoteUserAbort();
            ok = false;
            break;
        }
        SendBlock(buf, static_cast<size_t>(got));
        if (!Flush()) {
            ok = false;
            break;
        }
        sent += got;
        if (Clock::now() >= nextShow) {
            show();
            nextShow = Clock::now() + std::chrono::milliseconds(kShowEveryMs);
        }
    }
    ::close(fd);
    if (ok) show();
    return ok;
}

}  // namespace marlo
