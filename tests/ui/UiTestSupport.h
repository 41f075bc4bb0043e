// Helpers of the Qt window tests: a platform that records message boxes and answers them from a
// script, a way to act on the next modal dialog (they run their own event loop), named children
// and dialog buttons, and a picture of a window when MARLO_UI_SHOTS names a folder.
#pragma once

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "support/PtyPair.h"
#include "ui/GuiShell.h"
#include "ui/QtPlatform.h"

namespace marlo::test {

class TestPlatform : public ui::QtPlatform {
  public:
    MsgResult MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override {
        if (!OnUiThread()) {  // a box from the macro thread is shown by the window's thread
            MsgResult result{};
            QMetaObject::invokeMethod(
                qApp, [&] { result = MessageBox(text, icon, buttons, title); },
                Qt::BlockingQueuedConnection);
            return result;
        }
        boxes.push_back(text);
        if (answers.empty()) return MsgResult::Ok;
        MsgResult a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> ChooseFile(bool, const std::string& title, const std::string&,
                                          const std::string& initial) override {
        fileTitles.push_back(title);
        fileInitial = initial;
        return fileAnswer;
    }
    void Beep() override { ++beeps; }
    // Programs are recorded, not started.
    bool StartProcess(const std::vector<std::string>& argv, const std::string& workDir) override {
        processes.push_back(argv);
        workDirs.push_back(workDir);
        return startSucceeds;
    }

    std::deque<MsgResult> answers;
    std::vector<std::vector<std::string>> processes;
    std::vector<std::string> workDirs;
    bool startSucceeds = true;
    std::vector<std::string> boxes;
    std::vector<std::string> fileTitles;
    std::string fileInitial;
    std::optional<std::string> fileAnswer;
    int beeps = 0;
};

// Runs `act` on the modal dialog that is open next. `act` closes it before it schedules an action
// for the dialog after it. A dialog that never comes gives up after a generous bound and sets
// `*missed`; dialogs left open then are closed, so no test waits forever.
inline void OnNextModal(std::function<void(QWidget*)> act, bool* missed = nullptr) {
    auto* timer = new QTimer;
    const auto start = std::chrono::steady_clock::now();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
            return;
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
            timer->stop();
            timer->deleteLater();
            if (missed) *missed = true;
            while (QWidget* open = QApplication::activeModalWidget()) open->close();
        }
    });
    timer->start(5);
}

// The child widget called `name`; a missing one ends the test run at once.
template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no child %s", name);
    return w;
}
template <typename T>
T* Child(QWidget& parent, const char* name) {
    return Child<T>(&parent, name);
}

inline void Press(QWidget& dialog, QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok) {
    dialog.findChild<QDialogButtonBox*>()->button(which)->click();
}

inline void SaveShot(QWidget* w, const QString& name) {
    const QByteArray dir = qgetenv("MARLO_UI_SHOTS");
    if (dir.isEmpty()) return;
    QApplication::processEvents();  // pending layout requests
    w->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name + QStringLiteral(".png")));
}

// A picture of each page of a tabbed sheet, named `prefix` and the page number; the first page is
// shown again afterwards.
inline void SaveShotsOfPages(QWidget* sheet, QTabWidget* pages, const QString& prefix) {
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        SaveShot(sheet, prefix + QString::number(i + 1));
    }
    pages->setCurrentIndex(0);
}

// The desktop program with a pty as its serial port: the frame and the real main window around it,
// in a folder of its own. `adjust` sets what else the settings need before the frame is made.
struct PtyWindow {
    explicit PtyWindow(const std::function<void(Settings&)>& adjust = {}) {
        const std::string d = Dir();
        std::ofstream(d + "/ports.conf") << pty.SlavePath() << "\n";
        Settings s(d);
        s.Port = 1;
        s.Flow = 0;
        s.HistoryDefPath = d;
        if (adjust) adjust(s);
        frame = std::make_unique<CMainFrame>(platform, s, CMainFrame::Paths{d, d, {}}, nullptr);
        shell = std::make_unique<ui::GuiShell>(platform, false);
        shell->Attach(*frame);
        shell->Show();
        portOpen = frame->OpenConfiguredPort();
    }
    std::string Dir() const { return dir.path().toStdString(); }

    QTemporaryDir dir;
    PtyPair pty;
    TestPlatform platform;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<ui::GuiShell> shell;
    bool portOpen = false;
};

}  // namespace marlo::test
