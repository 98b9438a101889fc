// Program entry of a status monitor: one instance per program and user,
// then the window and the event loop.
#include <QApplication>

#include "instance_guard.h"
#include "mainwindow.h"
#include "variant.h"

int main(int argc, char *argv[]) {
  QCoreApplication::setOrganizationName(QStringLiteral("ZUVA"));
  const kpxmon::MonitorVariant &variant = kpxmon::programVariant();
  kpxmon::InstanceGuard guard(QString::fromLatin1(variant.program));
  if (!guard.acquired()) return 0;

  kpxmon::prepareApplication();
  QApplication app(argc, argv);
  MainWindow window(variant);
  window.show();
  return app.exec();
}
