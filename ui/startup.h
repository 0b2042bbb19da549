#pragma once

class QApplication;

// What must be chosen before the application object exists.
void prepareEventLoop();

// The application-wide settings made before the main window is built.
void configureApplication(QApplication &app);

// Raises the soft limit of open files to the hard one: every TCP/IP printer
// takes a descriptor.
void raiseOpenFileLimit();

// SIGTERM and SIGHUP (logout, shutdown) end the event loop as a normal close
// does, so that the window is destroyed and saves the settings.
void quitOnTerminationSignals();
