#pragma once

class QApplication;

// What must be chosen before the application object exists.
void prepareEventLoop();

// The application-wide settings made before the main window is built.
void configureApplication(QApplication &app);
