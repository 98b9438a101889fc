#include <QApplication>
#include <QTextCodec>

#include "netipset.h"

int main(int argc, char *argv[]) {
  QTextCodec::setCodecForLocale(QTextCodec::codecForName("System"));
  QApplication app(argc, argv);
  netIpSet window;
  window.show();
  return app.exec();
}
