// A link that was never opened: transfers fail with their codes and the
// usual log lines, without any USB access (so this runs in every build,
// sanitizers included).
#include <gtest/gtest.h>

#include <QDebug>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "usb_communicate.h"

namespace {

std::vector<std::string> captured;

void capture(QtMsgType, const QMessageLogContext &, const QString &msg) {
  captured.push_back(msg.toStdString());
}

class ClosedLink : public ::testing::Test {
 protected:
  void SetUp() override {
    captured.clear();
    previous_ = qInstallMessageHandler(capture);
  }
  void TearDown() override { qInstallMessageHandler(previous_); }

 private:
  QtMessageHandler previous_ = nullptr;
};

}  // namespace

TEST_F(ClosedLink, TransfersFailAndReleaseHasNothingToDo) {
  for (bool monitor : {true, false}) {
    captured.clear();
    usb_communicate link(monitor ? usb_communicate::kMonitorConfig : usb_communicate::kSetupConfig,
                         [](const std::string &line) { qDebug().noquote() << QString::fromStdString(line); });
    unsigned char command[] = "CheckStatus?";
    unsigned char buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), 0x5A);
    EXPECT_EQ(link.SendCmd(command, 12), UsbStatus::WriteFailed);
    EXPECT_EQ(link.ReadCmd(buffer, 16).status, UsbStatus::ReadFailed);
    for (unsigned char b : buffer) EXPECT_EQ(b, 0x5A);
    EXPECT_EQ(link.releaseDevice(), UsbStatus::Ok);
    EXPECT_EQ(link.releaseDevice(), UsbStatus::Ok);
    std::vector<std::string> expected = {"Cannot Claim Interface", "Cannot Claim Interface"};
    if (monitor) expected.insert(expected.end(), {"release Device", "release Device"});
    EXPECT_EQ(captured, expected) << (monitor ? "monitor" : "setup");
  }
}
