#include "terminal/ViewModel.h"

#include <algorithm>

#include "settings/Settings.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHost.h"

namespace marlo {

ViewModel::ViewModel(Terminal& terminal, int viewIndex, const Settings& settings,
                     ITerminalHost& host)
    : terminal_(terminal),
      viewIndex_(viewIndex),
      settings_(settings),
      host_(host),
      keyboard_(settings, host) {}

TerminalView& ViewModel::View() {
    return terminal_.View(viewIndex_);
}

const TerminalView& ViewModel::View() const {
    return const_cast<Terminal&>(terminal_).View(viewIndex_);
}

bool ViewModel::VtMode() const {
    return settings_.EmulationMode() != 0;
}

KeyOutcome ViewModel::KeyDown(TermKey key, int modifiers, bool split) {
    if (const char* typed = TypedKeyText(key, settings_.EmulationMode()))
        return TypeText(typed, modifiers, split);
    KeyViewState state;
    {
        const TerminalView& v = View();
        state.modes.applicationCursor = terminal_.Modes().applicationCursor;
        state.scrollBack = v.ScrollBack();
        state.rangeSelect = selection_.rangeMode;
        state.split = split;
        state.visibleRows = v.VisibleRows();
        state.visibleColumns = v.VisibleColumns();
        state.leftColumn = v.LeftColumn();
    }
    KeyOutcome out = keyboard_.KeyDown(key, modifiers, state);
    Apply(out);
    return out;
}

KeyOutcome ViewModel::TypeText(const std::string& sjis, int modifiers, bool split) {
    return TypePieces({TextPiece{sjis}}, modifiers, split);
}

KeyOutcome ViewModel::TypePieces(const std::vector<TextPiece>& pieces, int modifiers, bool split) {
    KeyOutcome out;
    {
        // The lock is recursive: the local echo takes it again inside the receive path.
        auto lock = terminal_.Buffer().Lock();
        const TerminalView& v = View();
        KeyViewState state;
        state.scrollBack = v.ScrollBack();
        state.rangeSelect = selection_.rangeMode;
        state.split = split;
        v.GetCursor(state.cursorLine, state.cursorColumn);
        for (const TextPiece& piece : pieces) {
            out = piece.utf8 ? keyboard_.Unheld(piece.bytes, state)
                             : keyboard_.Text(piece.bytes, modifiers, state, terminal_.Buffer());
            if (out.action != KeyAction::None) break;
        }
    }
    Apply(out);
    return out;
}

void ViewModel::SetVisibleSize(int rows, int columns) {
    View().SetVisibleSize(rows, columns);
    host_.ScreenSizeChanged(terminal_.State().ScreenRows(), terminal_.State().ScreenColumns());
}

void ViewModel::Apply(const KeyOutcome& outcome) {
    TerminalView& v = View();
    switch (outcome.action) {
        case KeyAction::ScrollLines:
            v.ScrollBy(outcome.amount);
            break;
        case KeyAction::ScrollColumns:
            v.SetLeftColumn(std::clamp(v.LeftColumn() + outcome.amount, 0,
                                       kBufferColumns - v.VisibleColumns()));
            break;
        case KeyAction::ScrollHome:
            v.ScrollTo(0);
            break;
        case KeyAction::ScrollEnd:
            v.ScrollTo(v.BottomTop());
            break;
        case KeyAction::MoveSelection: {
            auto lock = terminal_.Buffer().Lock();
            const CellPos from = selection_.End();
            CellPos at = from;
            switch (outcome.key) {
                case TermKey::Up:
                    --at.line;
                    break;
                case TermKey::Down:
                    ++at.line;
                    break;
                case TermKey::Left:
                    --at.column;
                    break;
                case TermKey::Right:
                    ++at.column;
                    break;
                case TermKey::PageUp:
                    at.line -= v.VisibleRows();
                    break;
                case TermKey::PageDown:
                    at.line += v.VisibleRows();
                    break;
                default:
                    break;
            }
            at.line = std::clamp(at.line, 0, terminal_.Buffer().LastLine());
            at.column = std::clamp(at.column, 0, kBufferColumns);
            if (outcome.extend) {
                if (!selection_.Active()) selection_.Start(from);
                selection_.Extend(at);
            } else
                selection_.Start(at);
            scrollIntoView(at.line);
            v.Repaint();
            break;
        }
        case KeyAction::CancelMode:
            CancelMode();
            break;
        default:
            break;
    }
}

bool ViewModel::CancelMode() {
    TerminalView& v = View();
    if (search_.highlighted) {
        search_.highlighted = false;
    } else if (!selection_.Empty() || selection_.dragging) {
        selection_.Clear();
        selection_.dragging = false;
    } else if (selection_.rangeMode) {
        selection_.rangeMode = false;
        selection_.Clear();
    } else if (v.ScrollBack()) {
        v.ScrollTo(v.BottomTop());
    } else {
        return false;
    }
    v.Repaint();
    return true;
}

void ViewModel::MouseDown(CellPos at) {
    selection_.Start(at);
    selection_.dragging = true;
    View().Repaint();
}

void ViewModel::MouseMove(CellPos at) {
    if (!selection_.dragging) return;
    auto lock = terminal_.Buffer().Lock();
    at.line = std::clamp(at.line, 0, terminal_.Buffer().Lines() - 1);
    at.column = std::clamp(at.column, 0, kBufferColumns);
    selection_.Extend(at);
    scrollIntoView(at.line);
    View().Repaint();
}

void ViewModel::MouseUp() {
    selection_.dragging = false;
}

void ViewModel::SelectAll() {
    auto lock = terminal_.Buffer().Lock();
    selection_.SelectAll(terminal_.Buffer());
    View().Repaint();
}

void ViewModel::ToggleRangeSelect() {
    selection_.rangeMode = !selection_.rangeMode;
    if (selection_.rangeMode) {
        // The keyboard selection starts at the top-left of the view.
        const TerminalView& v = View();
        selection_.Start({v.TopLine(), v.LeftColumn()});
    } else {
        selection_.Clear();
    }
    View().Repaint();
}

std::string ViewModel::Copy(bool quoted) {
    std::string text;
    {
        auto lock = terminal_.Buffer().Lock();
        text = CopyText(terminal_.Buffer(), selection_, VtMode(), quoted ? settings_.Quote : "");
    }
    if (!quoted && !text.empty()) {
        selection_.Clear();
        View().Repaint();
    }
    return text;
}

std::string ViewModel::CopyForFile() const {
    auto lock = terminal_.Buffer().Lock();
    return FileCopyText(terminal_.Buffer(), selection_, VtMode());
}

void ViewModel::scrollIntoView(int line) {
    TerminalView& v = View();
    if (line < v.TopLine())
        v.ScrollTo(line);
    else if (line >= v.TopLine() + v.VisibleRows())
        v.ScrollTo(line - v.VisibleRows() + 1);
}

bool ViewModel::runSearch(bool down) {
    bool found;
    {
        auto lock = terminal_.Buffer().Lock();
        found = SearchBuffer(terminal_.Buffer(), search_, down, !VtMode());
    }
    if (!found) {
        host_.Beep();
        return false;
    }
    scrollIntoView(search_.match.line);
    View().Repaint();
    return true;
}

bool ViewModel::SearchRequest(const std::string& text, int flags) {
    if (flags == kSearchRemoveHighlight) {
        search_.highlighted = false;
        View().Repaint();
        return true;
    }
    if (text != search_.text) search_.highlighted = false;
    search_.text = text;
    search_.flags = flags;
    return runSearch((flags & kSearchDown) != 0);
}

bool ViewModel::SearchAgain(bool down) {
    if (!selection_.Empty()) {
        // The selected text (on its first line) is searched for from where it is.
        auto lock = terminal_.Buffer().Lock();
        CellPos first, last;
        selection_.Ordered(terminal_.Buffer(), first, last);
        const uint8_t* chars = terminal_.Buffer().Chars(first.line);
        int to = last.line == first.line ? last.column : kBufferColumns;
        std::string text;
        for (int c = first.column; c < to && chars[c] != 0; ++c)
            text += static_cast<char>(chars[c]);
        if (!text.empty()) {
            search_.text = text;
            search_.hasMatch = true;
            search_.match = first;
            selection_.Clear();
        }
    }
    if (search_.text.empty()) {
        host_.Beep();
        return false;
    }
    return runSearch(down);
}

bool ViewModel::Highlighted(int line, int column) const {
    return search_.highlighted && line == search_.match.line && column >= search_.match.column &&
           column < search_.match.column + search_.length;
}

}  // namespace marlo
