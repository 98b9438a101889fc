// The real netIpSet window, offscreen, with no printer on USB: the form, the
// two modes, the validation messages, and the queue installation with
// stand-in tools that only record how they were called.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QGroupBox>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "window_util.h"

using niptest::WindowRig;

namespace {

QString q(const char *utf8) { return QString::fromUtf8(utf8); }

const char kNotFound[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kAddOk[] = "添加网络打印机成功！";
const char kAddFailed[] = "添加网络打印机失败！";

struct WidgetRow {
  const char *name;
  const char *type;
  const char *parent;
  QRect geometry;  // null: not checked
  const char *text;
};

// The form as the window is built, in creation order.
const WidgetRow kForm[] = {
    {"centralWidget", "QWidget", "netIpSet", QRect(), nullptr},
    {"IDCANCEL", "QPushButton", "centralWidget", QRect(500, 330, 85, 27), "取消"},
    {"informationAdmin", "QLabel", "centralWidget", QRect(20, 20, 531, 20), nullptr},
    {"groupBox", "QGroupBox", "centralWidget", QRect(10, 50, 251, 191), "打印机IP"},
    {"layoutWidget", "QWidget", "groupBox", QRect(90, 70, 141, 111), nullptr},
    {"Ip_label", "QLabel", "layoutWidget", QRect(), ""},
    {"Mask_label", "QLabel", "layoutWidget", QRect(), ""},
    {"Port_label", "QLabel", "layoutWidget", QRect(), ""},
    {"layoutWidget1", "QWidget", "groupBox", QRect(20, 70, 54, 111), nullptr},
    {"label", "QLabel", "layoutWidget1", QRect(), "IP地址"},
    {"label_3", "QLabel", "layoutWidget1", QRect(), "子网掩码"},
    {"label_2", "QLabel", "layoutWidget1", QRect(), "默认网关"},
    {"findPrinter", "QPushButton", "groupBox", QRect(20, 30, 85, 27), "查找打印机"},
    {"groupBox_2", "QGroupBox", "centralWidget", QRect(260, 50, 291, 191), "网络打印机IP设置"},
    {"layoutWidget2", "QWidget", "groupBox_2", QRect(10, 70, 54, 111), nullptr},
    {"label_4", "QLabel", "layoutWidget2", QRect(), "IP地址"},
    {"label_5", "QLabel", "layoutWidget2", QRect(), "子网掩码"},
    {"label_6", "QLabel", "layoutWidget2", QRect(), "默认网关"},
    {"layoutWidget3", "QWidget", "groupBox_2", QRect(80, 70, 201, 111), nullptr},
    {"ipEdit", "QLineEdit", "layoutWidget3", QRect(), ""},
    {"maskEdit", "QLineEdit", "layoutWidget3", QRect(), ""},
    {"portEdit", "QLineEdit", "layoutWidget3", QRect(), ""},
    {"IDOK", "QPushButton", "groupBox_2", QRect(20, 30, 85, 27), "设置打印机IP"},
    {"clearBtn", "QPushButton", "groupBox_2", QRect(200, 30, 85, 27), "清空"},
    {"groupBox_3", "QGroupBox", "centralWidget", QRect(20, 250, 451, 80), "添加网络打印机"},
    {"addPrinter", "QPushButton", "groupBox_3", QRect(330, 30, 111, 27), "添加网络打印机"},
    {"layoutWidget4", "QWidget", "groupBox_3", QRect(20, 30, 281, 29), nullptr},
    {"label_7", "QLabel", "layoutWidget4", QRect(), "打印机IP"},
    {"netIp", "QLineEdit", "layoutWidget4", QRect(), ""},
    // The main window's own layout places the menu bar (an empty one gets
    // no height), so only its place in the form is checked.
    {"menuBar", "QMenuBar", "netIpSet", QRect(), nullptr},
    {"mainToolBar", "QToolBar", "netIpSet", QRect(), nullptr},
    {"statusBar", "QStatusBar", "netIpSet", QRect(), nullptr},
};

QString textOf(QWidget *w) {
  if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
  if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
  if (auto *e = qobject_cast<QLineEdit *>(w)) return e->text();
  if (auto *g = qobject_cast<QGroupBox *>(w)) return g->title();
  return QString();
}

}  // namespace

// ------------------------------------------------------------------ form

TEST(Form, WidgetsNamesNestingGeometryAndTexts) {
  WindowRig rig;
  netIpSet &w = rig.open();
  EXPECT_EQ(w.objectName(), "netIpSet");
  EXPECT_EQ(w.windowTitle(), "netIpSet");
  EXPECT_EQ(w.size(), QSize(600, 424));

  // Creation order: the form's widgets appear depth first in the order
  // they were made.
  QStringList expected, created;
  for (const WidgetRow &row : kForm) expected << row.name;
  for (QObject *o : w.findChildren<QWidget *>())
    if (expected.contains(o->objectName())) created << o->objectName();
  EXPECT_EQ(created, expected);

  for (const WidgetRow &row : kForm) {
    SCOPED_TRACE(row.name);
    QWidget *widget = w.findChild<QWidget *>(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), row.type);
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), row.parent);
    if (!row.geometry.isNull()) {
      EXPECT_EQ(widget->geometry(), row.geometry);
    }
    if (row.text) {
      EXPECT_EQ(textOf(widget), q(row.text));
    }
  }
  EXPECT_EQ(w.centralWidget()->objectName(), "centralWidget");
  EXPECT_EQ(w.menuBar()->objectName(), "menuBar");
  EXPECT_EQ(w.menuBar()->geometry().topLeft(), QPoint(0, 0));
  EXPECT_EQ(w.menuBar()->width(), 600);
  EXPECT_EQ(w.statusBar()->objectName(), "statusBar");
  EXPECT_EQ(w.toolBarArea(w.findChild<QToolBar *>("mainToolBar")), Qt::TopToolBarArea);

  QLineEdit *ip = rig.edit("ipEdit");
  EXPECT_EQ(ip->focusPolicy(), Qt::StrongFocus);
  EXPECT_EQ(ip->echoMode(), QLineEdit::Normal);
}

TEST(Form, LayoutsHoldTheirWidgetsInOrder) {
  WindowRig rig;
  netIpSet &w = rig.open();
  struct {
    const char *layout, *holder;
    QStringList widgets;
    bool vertical;
  } layouts[] = {
      {"verticalLayout_4", "layoutWidget", {"Ip_label", "Mask_label", "Port_label"}, true},
      {"verticalLayout", "layoutWidget1", {"label", "label_3", "label_2"}, true},
      {"verticalLayout_3", "layoutWidget2", {"label_4", "label_5", "label_6"}, true},
      {"verticalLayout_2", "layoutWidget3", {"ipEdit", "maskEdit", "portEdit"}, true},
      {"horizontalLayout", "layoutWidget4", {"label_7", "netIp"}, false},
  };
  for (const auto &l : layouts) {
    SCOPED_TRACE(l.layout);
    QBoxLayout *box = w.findChild<QBoxLayout *>(l.layout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget()->objectName(), l.holder);
    EXPECT_EQ(box->direction(), l.vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    EXPECT_EQ(box->spacing(), 6);
    EXPECT_EQ(box->contentsMargins(), QMargins(0, 0, 0, 0));
    QStringList held;
    for (int i = 0; i < box->count(); ++i)
      if (QWidget *c = box->itemAt(i)->widget()) held << c->objectName();
    EXPECT_EQ(held, l.widgets);
  }
}

TEST(Form, StatusLineIsRed) {
  WindowRig rig;
  rig.open();
  QLabel *s = rig.label("informationAdmin");
  EXPECT_EQ(s->styleSheet(), "color: rgb(255, 0, 0);");
  EXPECT_EQ(s->font().weight(), 50);
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    EXPECT_EQ(s->palette().color(g, QPalette::WindowText), QColor(Qt::red)) << g;
  // What a user sees: the label's pixels hold red once a message is shown.
  QImage img = s->grab().toImage();
  bool red = false;
  for (int y = 0; y < img.height() && !red; ++y)
    for (int x = 0; x < img.width() && !red; ++x) {
      QColor c = img.pixelColor(x, y);
      red = c.red() > 200 && c.green() < 80 && c.blue() < 80;
    }
  EXPECT_TRUE(red) << "status: " << s->text().toStdString();
}

TEST(Form, LanguageChangeRetranslatesAndEmptiesTheStatus) {
  WindowRig rig;
  netIpSet &w = rig.open();
  rig.label("Ip_label")->setText("1.2.3.4");
  rig.label("Mask_label")->setText("255.0.0.0");
  rig.label("Port_label")->setText("1.2.3.1");
  rig.button("IDOK")->setText("x");
  rig.type("netIp", "9.9.9.9");
  ASSERT_FALSE(rig.status().isEmpty());
  QEvent change(QEvent::LanguageChange);
  QApplication::sendEvent(&w, &change);
  EXPECT_EQ(rig.status(), "");
  EXPECT_EQ(rig.label("Ip_label")->text(), "");
  EXPECT_EQ(rig.label("Mask_label")->text(), "");
  EXPECT_EQ(rig.label("Port_label")->text(), "");
  EXPECT_EQ(rig.button("IDOK")->text(), q("设置打印机IP"));
  EXPECT_EQ(rig.edit("netIp")->text(), "9.9.9.9");
}

// ------------------------------------------------------------- modes

TEST(Modes, StartWithoutPrinterIsNetworkMode) {
  WindowRig rig;
  rig.open();
  EXPECT_TRUE(niptest::debugLines().contains("device disattach")) << niptest::debugLines().join('|').toStdString();
  EXPECT_EQ(rig.status(), q(kNotFound));
  EXPECT_FALSE(rig.window().findChild<QGroupBox *>("groupBox_2")->isVisible());
  EXPECT_TRUE(rig.window().findChild<QGroupBox *>("groupBox_3")->isVisible());
  EXPECT_TRUE(rig.edit("netIp")->isEnabled());
  EXPECT_TRUE(rig.button("addPrinter")->isEnabled());
  EXPECT_TRUE(rig.button("findPrinter")->isEnabled());
  EXPECT_FALSE(rig.button("IDOK")->isEnabled());
}

TEST(Modes, EnableChangeSwitchesBothForms) {
  WindowRig rig;
  netIpSet &w = rig.open();
  auto check = [&](bool usb) {
    for (const char *n : {"IDOK", "clearBtn"}) EXPECT_EQ(rig.button(n)->isEnabled(), usb) << n;
    for (const char *n : {"ipEdit", "maskEdit", "portEdit"})
      EXPECT_EQ(rig.edit(n)->isEnabled(), usb) << n;
    EXPECT_EQ(rig.button("addPrinter")->isEnabled(), !usb);
    EXPECT_EQ(rig.edit("netIp")->isEnabled(), !usb);
    EXPECT_EQ(w.findChild<QGroupBox *>("groupBox_2")->isVisible(), usb);
    EXPECT_EQ(w.findChild<QGroupBox *>("groupBox_3")->isVisible(), !usb);
  };
  w.enableChange(true);
  check(true);
  w.enableChange(false);
  check(false);
  // findPrinter: enabled by USB mode, left alone by network mode.
  rig.button("findPrinter")->setEnabled(false);
  w.enableChange(false);
  EXPECT_FALSE(rig.button("findPrinter")->isEnabled());
  w.enableChange(true);
  EXPECT_TRUE(rig.button("findPrinter")->isEnabled());
  w.enableChange(false);
  EXPECT_TRUE(rig.button("findPrinter")->isEnabled());
}

TEST(Modes, FindPrinterWithoutPrinterStaysInNetworkMode) {
  WindowRig rig;
  netIpSet &w = rig.open();
  w.enableChange(true);
  niptest::clearLog();
  rig.click("findPrinter");
  EXPECT_EQ(niptest::debugLines(), (QStringList{"on_findPrinter_clicked", "on_findPrinter_clicked",
                                                "device disattach"}));
  EXPECT_EQ(rig.status(), q(kNotFound));
  EXPECT_FALSE(w.findChild<QGroupBox *>("groupBox_2")->isVisible());
}

// --------------------------------------------------------- validation

TEST(Validation, SetAddressMessagesInOrder) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups");
  netIpSet &w = rig.open();
  w.enableChange(true);
  rig.edit("netIp")->setText("7.7.7.7");
  struct {
    const char *ip, *mask, *gateway, *message;
  } cases[] = {
      {"", "", "", "请输入IP地址"},
      {"", "255.255.255.0", "192.168.1.1", "请输入IP地址"},
      {"192.168.1", "", "", "请检查IP地址是否正确"},
      {"a.b.c.d", "255.255.255.0", "192.168.1.1", "请检查IP地址是否正确"},
      {"192.168.1.256", "255.255.255.0", "192.168.1.1", "请检查IP地址是否正确"},
      {"-1.168.1.10", "255.255.255.0", "192.168.1.1", "请检查IP地址是否正确"},
      {"192.168.1.10", "", "", "请输入子网掩码"},
      {"192.168.1.10", "", "x", "请输入子网掩码"},
      {"192.168.1.10", "255.255.255", "192.168.1.1", "请检查子网掩码是否正确"},
      {"192.168.1.10", "255..255.0", "", "请检查子网掩码是否正确"},
      {"192.168.1.10", "255.255.255.0", "", "请输入默认网关"},
      {"192.168.1.10", "255.255.255.0", "192.168.1.1.1", "请检查默认网关是否正确"},
      {"192.168.1.10", "255.255.255.0", "192.168.1.x", "请检查默认网关是否正确"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.ip) + " / " + c.mask + " / " + c.gateway);
    rig.label("informationAdmin")->clear();
    rig.type("ipEdit", c.ip);
    rig.type("maskEdit", c.mask);
    rig.type("portEdit", c.gateway);
    rig.click("IDOK");
    EXPECT_EQ(rig.status(), q(c.message));
  }
  // Nothing happened beyond the message.
  EXPECT_EQ(rig.edit("netIp")->text(), "7.7.7.7");
  EXPECT_TRUE(rig.calls().isEmpty());
  EXPECT_TRUE(w.findChild<QGroupBox *>("groupBox_2")->isVisible());
}

TEST(Validation, AddPrinterMessagesKeepTheWindow) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups");
  netIpSet &w = rig.open();
  for (auto c : {std::make_pair("", "请输入IP地址"), std::make_pair("a.b.c.d", "请检查IP地址是否正确"),
                 std::make_pair("10.0.0.256", "请检查IP地址是否正确"),
                 std::make_pair("10..0.1", "请检查IP地址是否正确")}) {
    rig.type("netIp", c.first);
    rig.click("addPrinter");
    EXPECT_EQ(rig.status(), q(c.second)) << c.first;
    EXPECT_TRUE(w.isVisible());
  }
  EXPECT_TRUE(rig.calls().isEmpty());
}

TEST(Validation, ClearEmptiesTheSetFormOnly) {
  WindowRig rig;
  netIpSet &w = rig.open();
  w.enableChange(true);
  rig.edit("netIp")->setText("10.0.0.9");
  rig.type("ipEdit", "1.2.3.4");
  rig.type("maskEdit", "255.0.0.0");
  rig.type("portEdit", "1.2.3.1");
  rig.click("clearBtn");
  EXPECT_EQ(rig.edit("ipEdit")->text(), "");
  EXPECT_EQ(rig.edit("maskEdit")->text(), "");
  EXPECT_EQ(rig.edit("portEdit")->text(), "");
  EXPECT_EQ(rig.edit("netIp")->text(), "10.0.0.9");
}

TEST(Validation, CancelOnlyCloses) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups");
  netIpSet &w = rig.open();
  w.enableChange(true);
  rig.type("ipEdit", "192.168.1.10");
  rig.type("maskEdit", "255.255");
  rig.click("IDCANCEL");
  EXPECT_EQ(rig.status(), q(kNotFound));  // no validation either
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(rig.calls().isEmpty());
}

// ------------------------------------------- queue installation, stand-ins

namespace {
const QString kCreate = "lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd -v socket://192.168.1.10:9100 -E";
const QString kDefault = "lpadmin -d KPX7720MW-net";
}  // namespace

TEST(Install, StepsInOrderAndNetIpInfo) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups");
  rig.standIn("service");
  netIpSet &w = rig.open();
  // Leading zeros dropped: every reader takes the same host.
  rig.type("netIp", "192.168.001.010");
  rig.click("addPrinter");
  EXPECT_EQ(rig.calls(), (QStringList{kCreate, kDefault, "cups restart"}));
  EXPECT_EQ(rig.edit("netIp")->text(), "192.168.1.10");
  QByteArray info;
  ASSERT_TRUE(rig.netIpInfo(&info));
  EXPECT_EQ(info, "192.168.1.10");
  EXPECT_EQ(rig.status(), q(kAddOk));
  EXPECT_FALSE(w.isVisible());  // the add-printer button closes the window

  // A second installation replaces the file.
  EXPECT_TRUE(w.addPrinter("10.0.0.7"));
  ASSERT_TRUE(rig.netIpInfo(&info));
  EXPECT_EQ(info, "10.0.0.7");
}

TEST(Install, ServiceWhenThereIsNoInitScript) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("service");
  netIpSet &w = rig.open();
  EXPECT_TRUE(w.addPrinter("192.168.1.10"));
  EXPECT_EQ(rig.calls(), (QStringList{kCreate, kDefault, "service cups restart"}));
  EXPECT_EQ(rig.status(), q(kAddOk));
}

TEST(Install, FailingRestartStillCounts) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups", 1);
  netIpSet &w = rig.open();
  EXPECT_TRUE(w.addPrinter("192.168.1.10"));
  EXPECT_EQ(rig.calls(), (QStringList{kCreate, kDefault, "cups restart"}));
  QByteArray info;
  EXPECT_TRUE(rig.netIpInfo(&info));
  EXPECT_EQ(rig.status(), q(kAddOk));

  // Nor does a restart command that cannot be started at all.
  WindowRig rig2;
  rig2.standIn("lpadmin");
  netIpSet &w2 = rig2.open();
  EXPECT_TRUE(w2.addPrinter("192.168.1.10"));
  EXPECT_TRUE(rig2.netIpInfo(&info));
  EXPECT_EQ(rig2.status(), q(kAddOk));
}

TEST(Install, FailingLpadminStopsTheInstallationAndSaysWhy) {
  // A stand-in lpadmin (bash run before its exit status), whether it was
  // called, how far the installation got, and the reason shown.
  struct {
    const char *lpadmin;  // null: there is none
    int status;
    int calls;
    const char *reason;   // after "添加网络打印机失败！"; "%D" is the stand-ins' directory
  } cases[] = {
      {"", 1, 1, "lpadmin 退出状态 1"},
      {"[ \"$1\" = -d ] && exit 3", 0, 2, "lpadmin 退出状态 3"},
      {"printf '\\n  lpadmin: Forbidden\\r\\n(more)\\n' >&2", 1, 1, "lpadmin: Forbidden"},
      {nullptr, 0, 0, "无法运行 %D/lpadmin"},
      {"kill -9 $$", 0, 1, "lpadmin 异常终止"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.reason);
    WindowRig rig;
    if (c.lpadmin) rig.standIn("lpadmin", c.status, c.lpadmin);
    rig.standIn("cups");
    netIpSet &w = rig.open();
    rig.type("netIp", "192.168.1.10");
    rig.click("addPrinter");
    EXPECT_EQ(rig.calls(), (QStringList{kCreate, kDefault}).mid(0, c.calls));
    QByteArray info;
    EXPECT_FALSE(rig.netIpInfo(&info));
    EXPECT_EQ(rig.status(), q(kAddFailed) + q(c.reason).replace("%D", rig.dir() + "/bin"));
    EXPECT_TRUE(w.isVisible());
  }
  // A flood on standard error is cut to one short line.
  WindowRig rig;
  rig.standIn("lpadmin", 1, "head -c 20000000 /dev/zero | tr '\\0' x >&2");
  netIpSet &w = rig.open();
  EXPECT_FALSE(w.addPrinter("192.168.1.10"));
  EXPECT_TRUE(rig.status().startsWith(q(kAddFailed) + "xxx"));
  EXPECT_LE(rig.status().size(), 140);
}

TEST(Install, MissingConfigDirectoryIsOnlyLogged) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups");
  ASSERT_TRUE(QDir(rig.dir() + "/root/KPX7720MW_net/config").removeRecursively());
  netIpSet &w = rig.open();
  niptest::clearLog();
  EXPECT_TRUE(w.addPrinter("192.168.1.10"));
  EXPECT_TRUE(niptest::debugLines().contains("open file failed"));
  EXPECT_EQ(rig.calls(), (QStringList{kCreate, kDefault, "cups restart"}));
  EXPECT_EQ(rig.status(), q(kAddOk));
  EXPECT_FALSE(QDir(rig.dir() + "/root/KPX7720MW_net/config").exists());
}

TEST(Install, SetAddressWithoutPrinterInstallsNothing) {
  WindowRig rig;
  rig.standIn("lpadmin");
  rig.standIn("cups");
  netIpSet &w = rig.open();
  w.enableChange(true);
  rig.type("ipEdit", "192.168.1.10");
  rig.type("maskEdit", "255.255.255.0");
  rig.type("portEdit", "192.168.1.1");
  niptest::clearLog();
  rig.click("IDOK");
  // The printer was not found for the set: network mode, no queue for an
  // address the printer does not have.
  EXPECT_TRUE(niptest::debugLines().contains("device disattach"));
  EXPECT_FALSE(w.findChild<QGroupBox *>("groupBox_2")->isVisible());
  EXPECT_EQ(rig.edit("netIp")->text(), "192.168.1.10");
  EXPECT_TRUE(rig.calls().isEmpty());
  QByteArray info;
  EXPECT_FALSE(rig.netIpInfo(&info));
  EXPECT_EQ(rig.status(), q(kNotFound));
  EXPECT_TRUE(w.isVisible());
}
