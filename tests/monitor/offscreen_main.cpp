// GoogleTest main for window tests: a QApplication on the offscreen platform
// unless a display platform was chosen, and no waiting for a system tray.
#include <gtest/gtest.h>

#include <QApplication>

#include "mainwindow.h"

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setOrganizationName(QStringLiteral("ZUVA"));
  kpxmon::prepareApplication();
  QApplication app(argc, argv);
  MainWindow::setTrayWaitRounds(0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
