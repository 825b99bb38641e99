// Peakfold: opens the main window and runs until "Exit" or the window's
// close control ends the program. A file named on the command line opens
// right after start-up.
#include <QApplication>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/command_line.h"
#include "ui/main_window.h"
#include "ui/qt/file_opening.h"
#include "ui/qt/qt_toolkit.h"

namespace {

constexpr const char* kRunWithoutDisplay = "on a machine without a display, run: xvfb-run ./run";

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Without a display the window system would stop the program with a long
// report; one line saying what is missing serves the user better.
bool displayMissing() {
#if defined(__unix__) && !defined(__APPLE__)
    return !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

// Qt's messages while it starts, held back: when a display is named but
// cannot be reached, start-up ends with a fatal message and a screenful of
// advice; one line with the first reason serves the user better.
QStringList& startUpNotes() {
    static QStringList notes;
    return notes;
}

void startUpMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        startUpNotes().append(message);
        return;
    }
    const QString reason = startUpNotes().isEmpty() ? message : startUpNotes().first();
    std::fprintf(stderr, "Peakfold cannot open its window (%s); %s\n",
                 reason.section('\n', 0, 0).trimmed().toLocal8Bit().constData(),
                 kRunWithoutDisplay);
    std::fflush(stderr);
    std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    using peakfold::CommandLine;
    // Answered before anything of the window starts, so they work without a
    // display.
    const CommandLine line =
        peakfold::readCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
        case CommandLine::Action::Help:
            std::fputs(peakfold::kWindowUsage, stdout);
            return 0;
        case CommandLine::Action::Version:
            std::printf("peakfold %s\n", peakfold::kVersion);
            return 0;
        case CommandLine::Action::Wrong:
            std::fputs(peakfold::kWindowUsage, stderr);
            return 2;
        case CommandLine::Action::Run:
            break;
    }
    if (displayMissing()) {
        std::fprintf(stderr,
                     "Peakfold needs a display and none is set (DISPLAY, WAYLAND_DISPLAY); %s\n",
                     kRunWithoutDisplay);
        return 2;
    }
    const QtMessageHandler previous = qInstallMessageHandler(startUpMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    for (const QString& note : startUpNotes()) qWarning("%s", qPrintable(note));
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName("peakfold");
    // Qt takes the user's locale for the C library; numbers in files and on
    // screen are always written with a point, so keep the C rules for them.
    std::setlocale(LC_NUMERIC, "C");

    peakfold::QtApp program;
    program.start();
    peakfold::openWhenStarted(program, line.file);
    return app.exec();
}
