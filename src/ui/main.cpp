// marlo: the desktop program.
#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MarloApp.h"
#include "ui/GuiShell.h"
#include "ui/QtPlatform.h"

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it needs no display.
    if (marlo::ParseCommandLine({argv + 1, argv + argc}).showVersion) {
        std::printf("marlo %s\n", MARLO_VERSION_TEXT);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("marlo"));
    // The installed desktop entry and icon (the icon is missing when run from the build tree).
    QGuiApplication::setDesktopFileName(QStringLiteral(MARLO_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(MARLO_APP_ID)));
    // The program speaks Japanese whatever the desktop's language, so Qt's own dialogs (files,
    // fonts, message-box buttons) do too.
    QTranslator qtText;
    if (qtText.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                    QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtText);
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
