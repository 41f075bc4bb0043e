#include "ui/TerminalPanes.h"

#include <QCursor>
#include <QGuiApplication>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/CommandIds.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "terminal/PasteModel.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHost.h"
#include "terminal/ViewModel.h"
#include "text/Encoding.h"
#include "ui/SearchWindow.h"
#include "ui/TerminalWidget.h"

namespace marlo::ui {

namespace {

// Pacing without the frame's string wait: the pauses only.
class PauseOnly : public IEchoWait {
  public:
    explicit PauseOnly(IPlatform& platform) : platform_(platform) {}
    bool WaitForEcho(const std::string&, int) override { return false; }
    bool Pause(int ms) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        return platform_.DispatchWait([] { return false; }, deadline) != WaitEnd::Stopped;
    }

  private:
    IPlatform& platform_;
};

}  // namespace

const std::vector<ViewCommand>& EditMenuCommands() {
    static const std::vector<ViewCommand> commands = {
        {"ｺﾋﾟｰ(&C)", ID_EDIT_COPY, "Alt+C"},
        {"ﾌｧｲﾙにｺﾋﾟｰ(&F)...", ID_EDIT_COPY_FILE, ""},
        {"引用付きｺﾋﾟｰ(&Q)", ID_EDIT_COPY_QUOTE, ""},
        {"送信(&P)", ID_EDIT_PASTE, "Alt+V"},
        {nullptr, 0, ""},
        {"すべてを選択(&A)", ID_EDIT_SELECT_ALL, "Alt+A"},
        {"範囲指定(&R)", ID_EDIT_RANGE, "Alt+R"},
        {"ﾌｧｲﾙ名を送信(&N)...", ID_EDIT_SEND_NAME, ""},
        {nullptr, 0, ""},
        {"検索(&S)...", ID_EDIT_SEARCH, "Alt+F"},
        {"上方検索(&U)", ID_EDIT_SEARCH_UP, "Alt+P"},
        {"下方検索(&D)", ID_EDIT_SEARCH_DOWN, "Alt+N"},
        {nullptr, 0, ""},
        {"ｳｨﾝﾄﾞｳの分割(&S)", ID_SPLIT, "Alt+S"},
    };
    return commands;
}

TerminalPanes::TerminalPanes(Terminal& terminal, const Settings& settings, ITerminalHost& host,
                             IPlatform& platform, QWidget* parent)
    : QSplitter(Qt::Vertical, parent),
      terminal_(terminal),
      settings_(settings),
      host_(host),
      platform_(platform) {
    setChildrenCollapsible(false);
    AddPane(0);
}

TerminalPanes::~TerminalPanes() {
    if (search_) search_->onRequest = nullptr;
    for (auto* pane : panes_) delete pane;
    panes_.clear();
}

void TerminalPanes::AddPane(int viewIndex) {
    models_.push_back(std::make_unique<ViewModel>(terminal_, viewIndex, settings_, host_));
    auto* pane = new TerminalWidget(*models_.back(), settings_, this);
    panes_.push_back(pane);
    addWidget(pane);
    Wire(pane, viewIndex);
}

void TerminalPanes::Wire(TerminalWidget* pane, int index) {
    pane->isSplit = [this] { return IsSplit(); };
    pane->onCommand = [this](int id) {
        // The pane's own accelerators obey the same rule as the menus.
        if (!Enabled(id)) {
            platform_.Beep();
            return;
        }
        if (!RunCommand(id) && onCommand) onCommand(id);
    };
    pane->isEnabled = [this](int id) { return Enabled(id); };
    pane->isChecked = [this](int id) { return isChecked && isChecked(id); };
    pane->onFocus = [this, index] {
        active_ = index;
        terminal_.SetActiveView(index);
    };
    pane->onOutcome = [this, index](const KeyOutcome& out) {
        if (!IsSplit()) return;
        TerminalWidget* other = panes_[static_cast<size_t>(1 - index)];
        if (out.action == KeyAction::FocusOther) {
            other->setFocus(Qt::TabFocusReason);
        } else if (out.action == KeyAction::ScrollOther && out.key != TermKey::Home &&
                   out.key != TermKey::End) {
            other->Model().KeyDown(out.key, 0, true);
            other->viewport()->update();
        }
    };
}

const std::set<int>& TerminalPanes::RunCommandIds() {
    static const std::set<int> ids = {
        ID_EDIT_COPY,       ID_EDIT_COPY_FILE,   ID_EDIT_COPY_QUOTE, ID_EDIT_PASTE,
        ID_EDIT_SELECT_ALL, ID_EDIT_RANGE,       ID_EDIT_SEND_NAME,  ID_EDIT_SEARCH,
        ID_EDIT_SEARCH_UP,  ID_EDIT_SEARCH_DOWN, ID_SPLIT,
    };
    return ids;
}

TerminalWidget* TerminalPanes::ActivePane() const {
    return panes_[static_cast<size_t>(std::min(active_, PaneCount() - 1))];
}

ViewModel& TerminalPanes::ActiveModel() const {
    return ActivePane()->Model();
}

void TerminalPanes::ApplySettings() {
    for (auto* pane : panes_) pane->ApplySettings();
}

void TerminalPanes::ToggleSplit() {
    if (IsSplit()) {
        TerminalWidget* second = panes_.back();
        panes_.pop_back();
        delete second;
        models_.pop_back();
        terminal_.UnsplitView();
        active_ = 0;
        terminal_.SetActiveView(0);
        panes_[0]->setFocus();
        return;
    }
    terminal_.SplitView();
    AddPane(1);
    const int half = std::max(height() / 2, 1);
    setSizes({half, half});
    panes_[1]->setFocus();
    QCursor::setPos(mapToGlobal(rect().center()));
}

bool TerminalPanes::Enabled(int id) const {
    return (!RunCommandIds().count(id) || CommandEnabled(id)) && (!isEnabled || isEnabled(id));
}

bool TerminalPanes::CommandEnabled(int id) const {
    switch (id) {
        case ID_EDIT_COPY:
        case ID_EDIT_COPY_FILE:
        case ID_EDIT_COPY_QUOTE:
            return ActiveModel().CanCopy();
        case ID_EDIT_PASTE:
            return !pasting_ && !platform_.ClipboardText().empty();
        case ID_EDIT_SEARCH:
            return !search_;
        default:
            return RunCommandIds().count(id) != 0;
    }
}

bool TerminalPanes::RunCommand(int id) {
    if (!RunCommandIds().count(id)) return false;
    ViewModel& model = ActiveModel();
    switch (id) {
        case ID_EDIT_COPY:
        case ID_EDIT_COPY_QUOTE: {
            std::string text = model.Copy(id == ID_EDIT_COPY_QUOTE);
            if (!text.empty()) platform_.SetClipboardText(text);
            break;
        }
        case ID_EDIT_COPY_FILE:
            CopyToFile();
            break;
        case ID_EDIT_PASTE:
            Paste();
            break;
        case ID_EDIT_SELECT_ALL:
            model.SelectAll();
            break;
        case ID_EDIT_RANGE:
            model.ToggleRangeSelect();
            break;
        case ID_EDIT_SEND_NAME:
            SendFileName();
            break;
        case ID_EDIT_SEARCH:
            OpenSearch();
            break;
        case ID_EDIT_SEARCH_UP:
            model.SearchAgain(false);
            break;
        case ID_EDIT_SEARCH_DOWN:
            model.SearchAgain(true);
            break;
        case ID_SPLIT:
            ToggleSplit();
            break;
        default:
            return false;
    }
    for (auto* pane : panes_) pane->viewport()->update();
    return true;
}

void TerminalPanes::Paste() {
    if (pasting_) return;
    const std::vector<PasteStep> steps = PlanPaste(
        platform_.ClipboardPieces(), settings_.SndCRLF != 0, terminal_.Modes().bracketedPaste);
    if (steps.empty()) return;
    pasting_ = true;
    PauseOnly pauses(platform_);
    IEchoWait& wait = echoWait_ ? *echoWait_ : static_cast<IEchoWait&>(pauses);
    RunPaste(steps, host_, wait);
    pasting_ = false;
}

void TerminalPanes::CopyToFile() {
    std::string text = ActiveModel().CopyForFile();
    if (text.empty()) return;
    auto chosen = platform_.ChooseFile(true, "ファイルの選択",
                                       "ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt|すべてのﾌｧｲﾙ (*.*)|*.*||", "");
    if (!chosen) return;
    std::filesystem::path path(*chosen);
    if (!path.has_extension()) path += ".txt";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        platform_.MessageBox(path.string() + " に書き込めませんでした。", MsgIcon::Exclamation);
}

void TerminalPanes::SendFileName() {
    auto chosen = platform_.ChooseFile(false, "ファイルの選択", "すべてのﾌｧｲﾙ (*.*)|*.*||", "");
    if (!chosen) return;
    if (host_.TransferRunning()) {
        host_.Beep();
        return;
    }
    host_.WriteConverted(Utf8ToSjis(*chosen));
}

void TerminalPanes::OpenSearch() {
    if (search_) {
        search_->raise();
        search_->activateWindow();
        return;
    }
    search_ = new SearchWindow(this);
    search_->onRequest = [this](const std::string& text, int flags) {
        ActiveModel().SearchRequest(text, flags);
        ActivePane()->viewport()->update();
    };
    const auto& last = ActiveModel().Search().text;
    if (!last.empty()) search_->SetText(QString::fromStdString(SjisToUtf8(last)));
    search_->show();
}

}  // namespace marlo::ui

namespace marlo::ui {

SearchWindow* TerminalPanes::Search() const {
    return search_.data();
}

}  // namespace marlo::ui
