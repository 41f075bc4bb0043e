// marlo: the desktop program.
#include <QApplication>
#include <QFontDatabase>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MarloApp.h"
#include "ui/GuiShell.h"
#include "ui/QtPlatform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("marlo"));
    std::vector<std::string> args(argv + 1, argv + argc);
    marlo::ui::QtPlatform platform;
    marlo::ui::GuiShell shell(platform, marlo::ParseCommandLine(args).trace);
    marlo::CMarloApp marlo(platform);
    if (!marlo.InitInstance(args, [&](marlo::CMainFrame& frame) {
            shell.Attach(frame);
            shell.Show();
        }))
        return 0;
    int code = QApplication::exec();
    return code;
}
