#pragma once

#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <memory>

// A test folder and a main window of their own for each test function. A test
// class inherits it beside QObject and calls openFixture() in init() and
// closeFixture() in cleanup().
class WindowFixture
{
protected:
    void openFixture()
    {
        openFolder();
        startWindow();
    }
    // A new test folder and no notices yet, without the window.
    void openFolder()
    {
        folder = std::make_unique<TestFolder>();
        notifier = RecordingNotifier();
    }

    // Closes the window, which saves settings.txt, and builds a new one as the
    // program does at its start.
    void startWindow()
    {
        closeWindow();
        openWindow();
    }
    void closeWindow()
    {
        t.reset();
        window.reset();
    }
    void openWindow()
    {
        window = std::make_unique<MainWindow>(&notifier);
        t = std::make_unique<MainWindowTester>(*window);
    }

    // Closes the window and removes the folder: neither may notify anything.
    void closeFixture()
    {
        closeWindow();
        folder.reset();
        KELM_EXPECT_NO_NOTICE(notifier);
    }

    std::unique_ptr<TestFolder> folder;
    RecordingNotifier notifier;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowTester> t;
};
