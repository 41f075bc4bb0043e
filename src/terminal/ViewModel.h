// One terminal pane's behaviour apart from drawing: its keyboard, the selection (mouse and
// range-selection mode), copy, search with the highlight, and the local key actions (scrolling,
// leaving a mode with ESC). A front end forwards its input here and draws what the state says.
#pragma once

#include <string>
#include <vector>

#include "terminal/KeyMap.h"
#include "terminal/Search.h"
#include "terminal/Selection.h"
#include "text/Encoding.h"

namespace marlo {

struct Settings;
class Terminal;
class TerminalView;
class ITerminalHost;

class ViewModel {
  public:
    ViewModel(Terminal& terminal, int viewIndex, const Settings& settings, ITerminalHost& host);

    Terminal& Term() { return terminal_; }
    TerminalView& View();
    const TerminalView& View() const;
    int ViewIndex() const { return viewIndex_; }
    Selection& Sel() { return selection_; }
    const Selection& Sel() const { return selection_; }
    const SearchState& Search() const { return search_; }
    Keyboard& Keys() { return keyboard_; }
    bool VtMode() const;

    // Keys. The outcome is what is left for the front end (FocusOther, ScrollOther, Default, Beep);
    // the view's own actions are carried out here.
    KeyOutcome KeyDown(TermKey key, int modifiers, bool split);
    KeyOutcome TypeText(const std::string& sjis, int modifiers, bool split);
    // Typed desktop text (an input method's, a key's): each piece in turn until one is refused.
    KeyOutcome TypePieces(const std::vector<TextPiece>& pieces, int modifiers, bool split);
    // The pane shows this many rows and columns now; the host hears the screen's size.
    void SetVisibleSize(int rows, int columns);
    // Carries out a local action (also what the other pane's Ctrl+key asks of this one).
    void Apply(const KeyOutcome& outcome);
    // ESC in the dumb terminal: leaves the innermost mode; false when there was none.
    bool CancelMode();

    // Selection.
    void MouseDown(CellPos at);
    void MouseMove(CellPos at);
    void MouseUp();
    void SelectAll();
    void ToggleRangeSelect();
    bool CanCopy() const { return !selection_.Empty(); }
    // The copy text (Shift-JIS, CR LF); a plain copy drops the selection. Empty: nothing to copy.
    std::string Copy(bool quoted);
    std::string CopyForFile() const;

    // Search: a request of the search window (flags kSearchMatchCase | kSearchDown, or
    // kSearchRemoveHighlight), and the search again up or down. False (after a beep) when
    // nothing was found.
    bool SearchRequest(const std::string& text, int flags);
    bool SearchAgain(bool down);
    bool Highlighted(int line, int column) const;

  private:
    void scrollIntoView(int line);
    bool runSearch(bool down);

    Terminal& terminal_;
    int viewIndex_;
    const Settings& settings_;
    ITerminalHost& host_;
    Keyboard keyboard_;
    Selection selection_;
    SearchState search_;
};

}  // namespace marlo
