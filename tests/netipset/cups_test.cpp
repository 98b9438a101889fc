// The queue installation against a real, private CUPS scheduler
// (scripts/private-cups.sh, own port on 127.0.0.1). The window runs
// offscreen in this process; KPX_COMMAND_DIR points at a directory whose
// "lpadmin" runs the real /usr/sbin/lpadmin against the private scheduler
// and whose "cups" init script only records that it was called.
//
// lpadmin's "-m KPX7720MW-net.ppd" names a model that cups-driverd must
// find among the installed models (DataDir/model, /usr/share/ppd); a
// private scheduler shares the system's DataDir, where the package's PPD
// is not installed, so the wrapper hands the same PPD over as a file
// ("-P <repo>/ppd/KPX7720MW-net.ppd").
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "window_util.h"

using niptest::WindowRig;

namespace {

QString q(const char *utf8) { return QString::fromUtf8(utf8); }

struct Run {
  int status = -1;
  QString out;
};

Run run(const QString &program, const QStringList &args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  Run r;
  if (!p.waitForStarted(10000)) return r;
  p.waitForFinished(60000);
  r.out = QString::fromUtf8(p.readAll());
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return r;
}

// A private scheduler for one test.
class PrivateCups {
 public:
  explicit PrivateCups(const QString &dir) : dir_(dir) {
    Run r = run(KPX_PRIVATE_CUPS, {"start", dir_, "--build", KPX_BUILD_DIR, "--printer",
                                   "127.0.0.1:9", "--no-queues"});
    QRegularExpressionMatch m =
        QRegularExpression("CUPS_SERVER=(127\\.0\\.0\\.1:\\d+)").match(r.out);
    if (r.status == 0 && m.hasMatch())
      server_ = m.captured(1);
    else
      error_ = "private cupsd did not start: " + r.out;
  }
  ~PrivateCups() { run(KPX_PRIVATE_CUPS, {"stop", dir_}); }

  const QString &error() const { return error_; }
  const QString &server() const { return server_; }

  Run lpstat(const QStringList &args) const { return run("lpstat", QStringList{"-h", server_} + args); }
  Run lpadmin(const QStringList &args) const {
    return run("/usr/sbin/lpadmin", QStringList{"-h", server_} + args);
  }

 private:
  QString dir_, server_, error_;
};

// The "lpadmin" of KPX_COMMAND_DIR: records its call, then runs the real
// lpadmin against `server` (the model given as a file when `modelAsFile`).
void lpadminWrapper(WindowRig &rig, const QString &server, bool modelAsFile) {
  QString body = QString(
      "args=()\n"
      "while [ $# -gt 0 ]; do\n"
      "  if [ \"$1\" = -m ] && [ %1 = 1 ]; then args+=(-P \"%2/$2\"); shift 2\n"
      "  else args+=(\"$1\"); shift; fi\n"
      "done\n"
      "/usr/sbin/lpadmin -h %3 \"${args[@]}\"\n"
      "exit $?")
                     .arg(modelAsFile ? 1 : 0)
                     .arg(KPX_PPD_DIR, server);
  rig.standIn("lpadmin", 0, body);
}

const char kAddOk[] = "添加网络打印机成功！";
const char kAddFailed[] = "添加网络打印机失败！";

#define START_CUPS(var, rig)                           \
  PrivateCups var((rig).dir() + "/cups");              \
  ASSERT_EQ(var.error().toStdString(), std::string())

}  // namespace

TEST(CupsInstall, CreatesTheDefaultQueueAndRecordsTheAddress) {
  WindowRig rig;
  START_CUPS(cups, rig);
  lpadminWrapper(rig, cups.server(), true);
  rig.standIn("cups");
  // Another queue is the default before.
  ASSERT_EQ(cups.lpadmin({"-p", "Other", "-E", "-v", "socket://127.0.0.1:9",
                          "-P", KPX_PPD_DIR "/KPX7720MW.ppd"}).status, 0);
  ASSERT_EQ(cups.lpadmin({"-d", "Other"}).status, 0);

  netIpSet &w = rig.open();
  rig.type("netIp", "192.168.1.10");
  rig.click("addPrinter");

  EXPECT_EQ(rig.status(), q(kAddOk));
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(rig.calls(),
            (QStringList{"lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd -v "
                         "socket://192.168.1.10:9100 -E",
                         "lpadmin -d KPX7720MW-net", "cups restart"}));
  EXPECT_EQ(cups.lpstat({"-v", "KPX7720MW-net"}).out.trimmed(),
            "device for KPX7720MW-net: socket://192.168.1.10:9100");
  EXPECT_EQ(cups.lpstat({"-d"}).out.trimmed(), "system default destination: KPX7720MW-net");
  EXPECT_TRUE(cups.lpstat({"-a", "KPX7720MW-net"}).out.startsWith("KPX7720MW-net accepting requests"));
  EXPECT_TRUE(cups.lpstat({"-p", "KPX7720MW-net"}).out.contains("enabled"));
  // The queue carries the network PPD.
  QFile ppd(rig.dir() + "/cups/conf/ppd/KPX7720MW-net.ppd");
  ASSERT_TRUE(ppd.open(QIODevice::ReadOnly));
  EXPECT_TRUE(ppd.readAll().contains("pstopxl_7720mw_net"));
  QByteArray info;
  ASSERT_TRUE(rig.netIpInfo(&info));
  EXPECT_EQ(info, "192.168.1.10");
}

TEST(CupsInstall, SecondInstallReplacesTheQueue) {
  WindowRig rig;
  START_CUPS(cups, rig);
  lpadminWrapper(rig, cups.server(), true);
  rig.standIn("cups");
  netIpSet &w = rig.open();
  ASSERT_TRUE(w.addPrinter("192.168.1.10"));
  ASSERT_TRUE(w.addPrinter("10.0.0.7"));
  EXPECT_EQ(rig.status(), q(kAddOk));
  EXPECT_EQ(cups.lpstat({"-v"}).out.trimmed(), "device for KPX7720MW-net: socket://10.0.0.7:9100");
  EXPECT_EQ(cups.lpstat({"-a"}).out.count("accepting requests"), 1);
  EXPECT_EQ(cups.lpstat({"-d"}).out.trimmed(), "system default destination: KPX7720MW-net");
  QByteArray info;
  ASSERT_TRUE(rig.netIpInfo(&info));
  EXPECT_EQ(info, "10.0.0.7");
  EXPECT_EQ(rig.calls().count("cups restart"), 2);
}

TEST(CupsInstall, LpadminFailureShowsTheFailure) {
  WindowRig rig;
  START_CUPS(cups, rig);
  // The model handed over by name, which this scheduler cannot find: the
  // real lpadmin fails to create the queue.
  lpadminWrapper(rig, cups.server(), false);
  rig.standIn("cups");
  netIpSet &w = rig.open();
  rig.type("netIp", "192.168.1.10");
  rig.click("addPrinter");
  // With lpadmin's own reason.
  const QString refused = rig.status();
  EXPECT_TRUE(refused.startsWith(q(kAddFailed) + "lpadmin: ")) << refused.toStdString();
  EXPECT_TRUE(w.isVisible());
  // Nothing after the failed step: no default, no restart, no netIpInfo.
  EXPECT_EQ(rig.calls(), QStringList{"lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd -v "
                                     "socket://192.168.1.10:9100 -E"});
  EXPECT_FALSE(cups.lpstat({"-v"}).out.contains("KPX7720MW-net"));
  QByteArray info;
  EXPECT_FALSE(rig.netIpInfo(&info));

  // A scheduler that does not answer at all fails the same way.
  lpadminWrapper(rig, "127.0.0.1:1", true);
  rig.click("addPrinter");
  EXPECT_TRUE(rig.status().startsWith(q(kAddFailed) + "lpadmin: ")) << rig.status().toStdString();
  EXPECT_NE(rig.status(), refused);
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(rig.netIpInfo(&info));
  EXPECT_FALSE(rig.calls().contains("cups restart"));
}
