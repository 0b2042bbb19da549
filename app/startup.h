#pragma once

class QApplication;

// The application-wide settings made before the main window is built.
void configureApplication(QApplication &app);
