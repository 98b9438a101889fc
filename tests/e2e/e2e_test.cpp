// The whole print path through real CUPS: a private cupsd with both
// queues, the built filters, Ghostscript, CUPS's socket backend and the
// printer simulator. Every check is on what the simulated printer
// received (and on the records the filters left), not on logs.
#include <cups/ppd.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "status_codes.h"

namespace {

std::string run(const std::string &command) {
  std::string out;
  FILE *p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string valueOf(const std::string &text, const std::string &key) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return "";
}

using Job = std::map<std::string, std::string>;

// The simulator's job list: blocks of key=value lines, one block a job.
std::vector<Job> parseJobs(const std::string &text) {
  std::vector<Job> jobs;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    if (key == "job") jobs.emplace_back();
    if (!jobs.empty()) jobs.back()[key] = line.substr(eq + 1);
  }
  return jobs;
}

std::string textDocument(int pages) {
  std::ostringstream ps;
  ps << "%!PS-Adobe-3.0\n%%Pages: " << pages << "\n%%EndComments\n/Helvetica findfont 12 scalefont setfont\n";
  for (int p = 1; p <= pages; ++p) {
    ps << "%%Page: " << p << " " << p << "\n";
    for (int l = 0; l < 40; ++l) ps << "72 " << 760 - 17 * l << " moveto (Page " << p << " line " << l << ") show\n";
    ps << "showpage\n";
  }
  ps << "%%EOF\n";
  return ps.str();
}

class PrintPath : public ::testing::Test {
 protected:
  std::string dir, sim, cupsEnv, root, server;

  virtual std::string simOptions() { return "--lock free"; }

  void SetUp() override {
    char tmpl[] = "/tmp/kpxe2e.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    chmod(dir.c_str(), 0755);  // CUPS runs filters as lp when we are root
    sim = std::string(KPX_SIM) + " ctl --socket " + dir + "/sim/ctl.sock ";
    std::string started = run(std::string(KPX_SIM_START) + " " + dir + "/sim " + simOptions());
    std::string tcp = valueOf(started, "tcp");
    ASSERT_FALSE(tcp.empty()) << started;
    std::string cups = run(std::string(KPX_SOURCE_DIR) + "/scripts/private-cups.sh start " + dir + "/cups --build " +
                           KPX_BUILD_DIR + " --printer " + tcp);
    server = valueOf(cups, "CUPS_SERVER");
    cupsEnv = "CUPS_SERVER=" + server + " ";
    root = valueOf(cups, "ZUVA_PRINTERS_ROOT");
    ASSERT_FALSE(root.empty()) << cups;
    std::ofstream(dir + "/doc.ps") << textDocument(3);
  }

  void TearDown() override {
    run(std::string(KPX_SOURCE_DIR) + "/scripts/private-cups.sh stop " + dir + "/cups");
    run(sim + "quit");
    if (!HasFailure()) run("rm -rf " + dir);
  }

  std::string lp(const std::string &queue, const std::string &options, const std::string &file = "") {
    std::string out = run(cupsEnv + "lp -d " + queue + " -t e2e " + options + " " + (file.empty() ? dir + "/doc.ps" : file));
    size_t dash = out.find(queue + "-");
    return dash == std::string::npos ? "" : out.substr(dash, out.find(' ', dash) - dash);
  }

  std::vector<Job> waitJobs(int count, int seconds) {
    run(sim + "wait-jobs " + std::to_string(count) + " " + std::to_string(seconds));
    return parseJobs(run(sim + "jobs"));
  }

  // Waits until CUPS has no unfinished job left.
  bool waitIdle(int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
      if (run(cupsEnv + "lpstat -o").empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string jobState(const std::string &id) {
    return run(cupsEnv + "lpstat -W all -l -o " + id + " 2>/dev/null; " + cupsEnv + "lpstat -W completed -o");
  }

  std::string errorLog() { return readFile(dir + "/cups/log/error_log"); }
};

}  // namespace

TEST_F(PrintPath, OptionsReachThePrinterOnBothQueuesAndTheRecordsHoldTheJobs) {
  ASSERT_FALSE(lp("KPX7720MW", "-o Resolution=300dpi -o InputSlot=TRAY1 -o MediaType=BOND -o Duplex=DuplexTumble "
                               "-o Sleep=5minutes -o PageSize=Letter").empty());
  ASSERT_FALSE(lp("KPX7720MW-net", "-o Resolution=1200dpi -o TonerSaveMode=ON -o QuiteMode=ON").empty());
  std::vector<Job> jobs = waitJobs(2, 60);
  ASSERT_EQ(jobs.size(), 2u) << errorLog();
  ASSERT_TRUE(waitIdle(20));

  const Job *usb = nullptr, *net = nullptr;
  for (const Job &j : jobs) (j.at("lock_queries") == "0" ? usb : net) = &j;
  ASSERT_TRUE(usb && net);
  for (const Job *j : {usb, net}) {
    EXPECT_EQ(j->at("end"), "trailer");
    EXPECT_EQ(j->at("pclxl"), "ok");
    EXPECT_EQ(j->at("pages"), "3");
    EXPECT_EQ(j->at("held"), "no");
    EXPECT_EQ(j->at("set.JOBNAME"), "e2e");
  }
  EXPECT_EQ(usb->at("set.RESOLUTION"), "300");
  EXPECT_EQ(usb->at("set.SOURCETRAY"), "TRAY1");
  EXPECT_EQ(usb->at("set.PCLT1FIX"), "ON");
  EXPECT_EQ(usb->at("set.MEDIATYPE"), "BOND");
  EXPECT_EQ(usb->at("set.TIMEOUTSLEEP"), "5");
  EXPECT_EQ(usb->at("default.TIMEOUTSLEEP"), "5");
  EXPECT_EQ(net->at("lock_queries"), "1");
  EXPECT_EQ(net->at("set.RESOLUTION"), "TR1200");
  EXPECT_EQ(net->at("set.ECONOMODE"), "ON");
  EXPECT_EQ(net->at("set.QUIETMODE"), "ON");

  EXPECT_EQ(readFile(root + "/KPX7720MW/config/printerInfo"),
            "resolution:300dpi;\npapersize:Letter;\ninputslot:TRAY1;\nmediatype:BOND;\nduplex:DuplexTumble;\n");
  EXPECT_EQ(readFile(root + "/KPX7720MW/config/printerState"), "CODE=10001");
  std::string usbLog = readFile(root + "/KPX7720MW/print_log");
  EXPECT_NE(usbLog.find("文件名：e2e\n打印份数：1\n文档页数：3\n"), std::string::npos) << usbLog;
  EXPECT_NE(usbLog.find("duplex:短边翻转\n\n打印任务完成\n"), std::string::npos) << usbLog;
  std::string netLog = readFile(root + "/KPX7720MW_net/print_log");
  EXPECT_NE(netLog.find("打印机名称：KPX7720MW-net\n"), std::string::npos);
  EXPECT_NE(netLog.find("resolution:1200dpi\n"), std::string::npos);
}

TEST_F(PrintPath, SecurePrintArrivesAsAHeldJob) {
  ASSERT_FALSE(lp("KPX7720MW", "-o Passwd1=9 -o Passwd2=3 -o Passwd3=0 -o Passwd4=5").empty());
  std::vector<Job> jobs = waitJobs(1, 60);
  ASSERT_EQ(jobs.size(), 1u) << errorLog();
  EXPECT_EQ(jobs[0].at("held"), "yes");
  EXPECT_EQ(jobs[0].at("holdkey"), "9305");
  EXPECT_EQ(jobs[0].at("set.HOLDTYPE"), "PRIVATE");
  EXPECT_EQ(jobs[0].at("end"), "trailer");
}

TEST_F(PrintPath, NetworkQueueWaitsWhileThePrinterIsBusy) {
  run(sim + "lock busy");
  ASSERT_FALSE(lp("KPX7720MW-net", "").empty());
  // The filter keeps asking; nothing but lock queries reaches the printer.
  std::this_thread::sleep_for(std::chrono::seconds(4));
  EXPECT_TRUE(parseJobs(run(sim + "jobs")).empty());
  run(sim + "lock free");
  std::vector<Job> jobs = waitJobs(1, 60);
  ASSERT_EQ(jobs.size(), 1u) << errorLog();
  EXPECT_GE(std::stoi(jobs[0].at("lock_queries")), 2);
  EXPECT_EQ(jobs[0].at("end"), "trailer");
  EXPECT_EQ(jobs[0].at("pages"), "3");
}

TEST_F(PrintPath, CancelInTheQueueSendsTheCancelSequenceAndLogsIt) {
  run(sim + "lock busy");
  std::string id = lp("KPX7720MW-net", "");
  ASSERT_FALSE(id.empty());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  run(cupsEnv + "cancel " + id);
  std::vector<Job> jobs = waitJobs(1, 30);
  ASSERT_EQ(jobs.size(), 1u) << errorLog();
  EXPECT_EQ(jobs[0].at("end"), "cancel");
  EXPECT_EQ(jobs[0].at("ticket"), "no");
  ASSERT_TRUE(waitIdle(20));
  std::string log = readFile(root + "/KPX7720MW_net/print_log");
  EXPECT_NE(log.find("\n打印任务被用户取消\n"), std::string::npos) << log;
}

TEST_F(PrintPath, AStalledPrinterGetsTheJobCancelled) {
  // Enough page data that the stalled connection backs up into the filter.
  {
    std::ostringstream ps;
    ps << "%!PS-Adobe-3.0\n%%Pages: 30\n%%EndComments\n";
    for (int p = 1; p <= 30; ++p)
      ps << "%%Page: " << p << " " << p << "\n/row 600 string def /y 0 def gsave 36 36 translate 523 770 scale "
         << "600 600 8 [600 0 0 -600 0 600] { /y y 1 add def 0 1 599 { row exch dup dup y add " << p
         << " mul 7 mod 40 mul exch 255 mul 600 idiv add 255 and put } for row } image grestore showpage\n";
    ps << "%%EOF\n";
    std::ofstream(dir + "/big.ps") << ps.str();
  }
  run(sim + "stall on");
  std::string id = lp("KPX7720MW", "", dir + "/big.ps");
  ASSERT_FALSE(id.empty());
  // Eleven failed drains two seconds apart, then the filter gives up.
  bool cancelled = false;
  for (int i = 0; i < 150 && !cancelled; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cancelled = readFile(root + "/KPX7720MW/print_log").find("打印任务被用户取消") != std::string::npos;
  }
  EXPECT_TRUE(cancelled) << errorLog().substr(0, 4000);
  EXPECT_NE(errorLog().find("cancel job=14;"), std::string::npos);
  run(sim + "stall off");
  std::vector<Job> jobs = waitJobs(1, 30);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_NE(jobs[0].at("end"), "trailer");
  EXPECT_EQ(readFile(root + "/KPX7720MW/config/printerState"), "CODE=10001");
}

namespace {

// The printer on an address of its own, so that its status port can be the
// real one (9101) without meeting another test's printer.
class PrinterStatus : public PrintPath {
 protected:
  std::string simOptions() override {
    unsigned seed = static_cast<unsigned>(getpid()) * 2654435761u ^ static_cast<unsigned>(time(nullptr));
    std::string host = "127." + std::to_string(100 + seed % 100) + "." + std::to_string((seed >> 8) % 250) + "." +
                       std::to_string(1 + (seed >> 16) % 250);
    return "--lock free --tcp " + host + ":0 --udp " + host + ":9101";
  }

  std::string printerAttributes(const std::string &queue) {
    return run("ipptool -tv ipp://" + server + "/printers/" + queue + " get-printer-attributes.test");
  }
  // The value of an attribute in ipptool's listing, "" when it is not there.
  static std::string attribute(const std::string &listing, const std::string &name) {
    size_t at = listing.find("        " + name + " (");
    if (at == std::string::npos) return "";
    size_t eq = listing.find(") = ", at);
    return listing.substr(eq + 4, listing.find('\n', eq) - eq - 4);
  }
  std::string reasons(const std::string &queue) {
    return attribute(printerAttributes(queue), "printer-state-reasons");
  }
  std::string jobAttribute(const std::string &id, const std::string &name) {
    return attribute(run("ipptool -tv ipp://" + server + "/jobs/" + id.substr(id.rfind('-') + 1) +
                         " get-job-attributes.test"),
                     name);
  }
  // Runs a CUPS command file on a queue and waits for it to end.
  void command(const std::string &queue, const std::string &name) {
    std::ofstream(dir + "/cmd") << "#CUPS-COMMAND\n" << name << "\n";
    ASSERT_FALSE(lp(queue, "-o document-format=application/vnd.cups-command", dir + "/cmd").empty());
    ASSERT_TRUE(waitIdle(20));
  }
  bool waitFor(const std::function<bool()> &ready, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
      if (ready()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
};

std::string localizedReason(const std::string &ppdPath, const std::string &reason) {
  ppd_file_t *ppd = ppdOpenFile(ppdPath.c_str());
  if (ppd == nullptr) return "(no PPD)";
  char text[2048];
  const char *got = ppdLocalizeIPPReason(ppd, reason.c_str(), nullptr, text, sizeof text);
  std::string result = got != nullptr ? got : "";
  ppdClose(ppd);
  return result;
}

}  // namespace

TEST_F(PrinterStatus, AJamDuringAJobReachesCupsWithItsChineseTextAndReadyClearsIt) {
  run(sim + "backstatus 'CODE=44114\\r'");
  ASSERT_FALSE(lp("KPX7720MW", "").empty());
  ASSERT_EQ(waitJobs(1, 60).size(), 1u) << errorLog();
  ASSERT_TRUE(waitIdle(20));
  const std::string jam = "com.zuva.kpx7720mw-44114-error";
  EXPECT_NE(reasons("KPX7720MW").find(jam), std::string::npos) << reasons("KPX7720MW") << errorLog();
  EXPECT_NE(reasons("KPX7720MW").find("media-jam-error"), std::string::npos);
  // The message outlives the job (and the backend's last words).
  EXPECT_EQ(attribute(printerAttributes("KPX7720MW"), "printer-state-message"), kpx::statusCode(44114)->title);

  // The queue's PPD describes the reason with the printer's own words.
  setenv("LANG", "zh_CN.UTF-8", 1);
  std::optional<kpx::StatusCode> row = kpx::statusCode(44114);
  std::string text = row->text;
  std::replace(text.begin(), text.end(), '\n', ' ');
  EXPECT_EQ(localizedReason(dir + "/cups/conf/ppd/KPX7720MW.ppd", jam), row->title + "：" + text);
  unsetenv("LANG");

  // The printer is ready again: a status refresh takes our reasons back.
  run(sim + "backstatus off");
  run(sim + "status 10001");
  command("KPX7720MW", "ReportStatus");
  EXPECT_EQ(reasons("KPX7720MW"), "none") << errorLog().substr(errorLog().size() > 3000 ? errorLog().size() - 3000 : 0);
  EXPECT_EQ(attribute(printerAttributes("KPX7720MW"), "printer-state-message"), "");
}

TEST_F(PrinterStatus, ReportLevelsOnEachQueueUpdatesTheTonerWithoutPrinting) {
  for (const std::string queue : {"KPX7720MW", "KPX7720MW-net"}) {
    struct Step {
      const char *code;
      const char *level;
      const char *reason;
    } steps[] = {{"10209", "5", "toner-low-warning"}, {"40309", "0", "toner-empty-error"}, {"10001", "-3", "none"}};
    for (const Step &st : steps) {
      run(sim + "status " + st.code);
      command(queue, "ReportLevels");
      EXPECT_EQ(attribute(printerAttributes(queue), "marker-levels"), st.level) << queue << " " << st.code;
      EXPECT_NE(reasons(queue).find(st.reason), std::string::npos) << queue << " " << st.code << " " << reasons(queue);
    }
  }
  EXPECT_TRUE(parseJobs(run(sim + "jobs")).empty());
}

TEST_F(PrinterStatus, PagesCountAsTheyLeaveForThePrinter) {
  run("ps2pdf " + dir + "/doc.ps " + dir + "/doc.pdf");
  std::ofstream(dir + "/doc.txt") << "one page of plain text\n";
  run("convert -size 300x200 xc:white -fill black -draw 'rectangle 20,20 120,80' " + dir + "/doc.png");
  std::string pdf = lp("KPX7720MW", "-n 2", dir + "/doc.pdf");
  std::string ps = lp("KPX7720MW-net", "-n 2");
  std::string text = lp("KPX7720MW", "", dir + "/doc.txt");
  std::string image = lp("KPX7720MW", "", dir + "/doc.png");
  ASSERT_EQ(waitJobs(4, 120).size(), 4u) << errorLog();
  ASSERT_TRUE(waitIdle(20));
  EXPECT_EQ(jobAttribute(pdf, "job-impressions-completed"), "6");
  EXPECT_EQ(jobAttribute(ps, "job-impressions-completed"), "6");
  // The job log counts the pages sent, whatever the document was.
  const std::string usbLog = readFile(root + "/KPX7720MW/print_log");
  for (const auto &[id, pages] : {std::pair{pdf, 3}, std::pair{text, 1}, std::pair{image, 1}}) {
    const size_t block = usbLog.find("任务ID：" + id.substr(id.rfind('-') + 1) + "\n");
    ASSERT_NE(block, std::string::npos) << id << "\n" << usbLog;
    EXPECT_EQ(usbLog.compare(usbLog.find("文档页数：", block), std::string("文档页数：").size() + 2,
                             "文档页数：" + std::to_string(pages) + "\n"),
              0)
        << id << "\n" << usbLog.substr(block, 300);
  }

  // A short first page, then one far bigger than every buffer on the way:
  // with the printer taking nothing, only the first page leaves.
  {
    std::ofstream big(dir + "/big.ps");
    big << "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n%%Page: 1 1\n/Helvetica findfont 12 scalefont setfont "
           "72 700 moveto (one) show showpage\n%%Page: 2 2\n/src 6007 string def 0 1 6006 { /i exch def src i i i mul 31 "
           "mul i 7 mul add 255 and put } for /off 0 def gsave 36 36 translate 523 770 scale 3000 3000 8 "
           "[3000 0 0 -3000 0 3000] { src off 3000 getinterval /off off 13 add 3000 mod def } image grestore "
           "showpage\n%%EOF\n";
  }
  run(sim + "stall on");
  std::string id = lp("KPX7720MW", "", dir + "/big.ps");
  ASSERT_FALSE(id.empty());
  const std::string jobTag = "[Job " + id.substr(id.rfind('-') + 1) + "] ";
  ASSERT_TRUE(waitFor([&] { return errorLog().find(jobTag + "PAGE: 1 1") != std::string::npos; }, 60));
  run(cupsEnv + "cancel " + id);
  ASSERT_TRUE(waitIdle(30));
  EXPECT_EQ(errorLog().find(jobTag + "PAGE: 2"), std::string::npos);
  EXPECT_EQ(errorLog().find("could not be converted"), std::string::npos);  // page 2 was real
  EXPECT_EQ(jobAttribute(id, "job-impressions-completed"), "1");
  run(sim + "stall off");
}

// A PDF goes from pdftopdf to the filter and through one interpreter run:
// pdftopdf's page ranges, N-up and collated copies, the printer's own page
// copies, the paper and a secure-print key all reach the printer, with the
// pages counted as sent. PostScript keeps pstops, and streams the same
// whether it comes through a pipe or by name. A cancelled PDF leaves no copy
// behind.
TEST_F(PrinterStatus, PdfReachesTheFilterStraightFromPdftopdf) {
  std::ofstream(dir + "/doc4.ps") << textDocument(4);
  run("ps2pdf " + dir + "/doc4.ps " + dir + "/doc.pdf");
  const struct {
    const char *options;
    int pages, impressions;  // page descriptions at the printer; with copies
    const char *render;      // in every page of the simulator's rendering
  } cases[] = {
      {"", 4, 4, "media=A4"},
      {"-o page-ranges=2-3", 2, 2, "copies=1"},
      {"-n 2", 4, 8, "copies=2"},
      {"-n 2 -o collate=true", 8, 8, "copies=1"},
      {"-o number-up=2", 2, 2, "media=A4"},
      {"-o media=Letter", 4, 4, "media=Letter"},
      {"-o job-password=2468", 4, 4, "copies=1"},
  };
  std::vector<std::string> ids;
  for (const auto &c : cases) ids.push_back(lp("KPX7720MW", c.options, dir + "/doc.pdf"));
  const std::string viaPipe = lp("KPX7720MW", "", dir + "/doc4.ps");
  const std::string byName = lp("KPX7720MW", "-o document-format=application/vnd.cups-postscript", dir + "/doc4.ps");
  const int count = static_cast<int>(std::size(cases)) + 2;
  std::vector<Job> jobs = waitJobs(count, 180);
  ASSERT_EQ(jobs.size(), static_cast<size_t>(count)) << errorLog();
  ASSERT_TRUE(waitIdle(30));
  std::map<std::string, Job> byId;
  for (Job &j : jobs) byId[j["job"]] = j;
  const std::string log = errorLog(), printLog = readFile(root + "/KPX7720MW/print_log");
  auto number = [](const std::string &id) { return id.substr(id.rfind('-') + 1); };
  auto filters = [&](const std::string &id) {
    std::string names, tag = "[Job " + number(id) + "] Started filter ";
    for (size_t at = log.find(tag); at != std::string::npos; at = log.find(tag, at + 1)) {
      const size_t slash = log.rfind('/', log.find(" (PID", at));
      names += log.substr(slash + 1, log.find(" (PID", at) - slash - 1) + " ";
    }
    return names;
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    SCOPED_TRACE(c.options);
    Job &job = byId[number(ids[i])];
    EXPECT_EQ(filters(ids[i]), "pdftopdf pstopxl_7720mw ");
    EXPECT_EQ(job["ticket"], "yes");
    EXPECT_EQ(job["end"], "trailer");
    EXPECT_EQ(job["pages"], std::to_string(c.pages));
    EXPECT_EQ(jobAttribute(ids[i], "job-impressions-completed"), std::to_string(c.impressions));
    EXPECT_EQ(job["held"], std::string(c.options).find("job-password") != std::string::npos ? "yes" : "no");
    const std::string pages = run(std::string(KPX_SIM) + " render " + job["file"]);
    EXPECT_EQ(std::count(pages.begin(), pages.end(), '\n'), c.pages) << pages;
    std::istringstream in(pages);
    for (std::string page; std::getline(in, page);) EXPECT_NE(page.find(c.render), std::string::npos) << page;
    // The job log counts the pages sent.
    const std::string mark = "文档页数：";
    const size_t block = printLog.find("任务ID：" + number(ids[i]) + "\n");
    ASSERT_NE(block, std::string::npos) << printLog;
    EXPECT_EQ(std::atoi(printLog.c_str() + printLog.find(mark, block) + mark.size()), c.pages);
  }
  EXPECT_EQ(filters(viaPipe), "pstops pstopxl_7720mw ");
  EXPECT_EQ(filters(byName), "pstopxl_7720mw ");
  auto pclxl = [&](const std::string &id) {
    Job &j = byId[number(id)];
    return readFile(j["file"]).substr(std::stoul(j["pclxl_offset"]));
  };
  EXPECT_EQ(pclxl(viaPipe), pclxl(byName));

  // Cancelled while the printer takes nothing: the filter's copy goes too.
  run(sim + "stall on");
  const std::string big = lp("KPX7720MW", "", dir + "/doc.pdf");
  const std::string tmp = dir + "/cups/spool/tmp";
  EXPECT_TRUE(waitFor([&] { return run("ls " + tmp).find("kpx7720mw-") != std::string::npos; }, 30));
  run(cupsEnv + "cancel " + big);
  ASSERT_TRUE(waitIdle(30));
  run(sim + "stall off");
  EXPECT_EQ(run("ls -A " + tmp), "");
}

TEST_F(PrinterStatus, JobPasswordHoldsTheJobAndAKeyThatIsNotFourDigitsIsRejected) {
  std::string held = lp("KPX7720MW", "-o job-password=2026");
  std::vector<Job> jobs = waitJobs(1, 60);
  ASSERT_EQ(jobs.size(), 1u) << errorLog();
  EXPECT_EQ(jobs[0].at("held"), "yes");
  EXPECT_EQ(jobs[0].at("holdkey"), "2026");
  ASSERT_TRUE(waitIdle(20));
  EXPECT_EQ(run("ipptool -tv ipp://" + server + "/jobs/" + held.substr(held.rfind('-') + 1) +
                " get-job-attributes.test").find("job-password"),
            std::string::npos);

  std::string bad = lp("KPX7720MW-net", "-o job-password=12a4");
  const std::string keyReason = "com.zuva.kpx7720mw-99999-error";
  EXPECT_TRUE(waitFor([&] { return reasons("KPX7720MW-net").find(keyReason) != std::string::npos; }, 30))
      << reasons("KPX7720MW-net");
  EXPECT_EQ(attribute(printerAttributes("KPX7720MW-net"), "printer-state-message"),
            kpx::statusCode(kpx::state::kKeyRejected)->title);
  run(cupsEnv + "cancel " + bad);
  ASSERT_TRUE(waitIdle(30));
  EXPECT_EQ(reasons("KPX7720MW-net").find(keyReason), std::string::npos);
  // Nothing of the rejected job is printed. Its cancel sequence reaches the
  // printer when the backend outlives the filter's cancel (timing).
  const std::string list = run(sim + "jobs");
  jobs = parseJobs(list);
  ASSERT_LE(jobs.size(), 2u) << list;
  if (jobs.size() == 2) {
    EXPECT_EQ(jobs[1].at("ticket"), "no") << list;
    EXPECT_EQ(jobs[1].at("end"), "cancel") << list;
  }
}

namespace {

// The desktop's own programs against the private CUPS: GTK's print dialog
// (its CUPS print backend, from a small C program under Xvfb), the way
// system-config-printer finds a reason's text (python3-cups), and CUPS's
// web interface in headless Chromium.
class DesktopClients : public PrinterStatus {
 protected:
  void SetUp() override {
    if (std::string(KPX_GTK_PRINTERS).empty()) GTEST_SKIP() << "GTK 3 development files missing (libgtk-3-dev)";
    for (const char *tool : {"xvfb-run", "chromium"})
      if (run(std::string("command -v ") + tool).empty()) GTEST_SKIP() << tool << " missing";
    if (run("/usr/bin/python3 -c 'import cups' && echo ok") != "ok\n") GTEST_SKIP() << "python3-cups missing";
    PrinterStatus::SetUp();
    // The clients keep their settings and caches in the test's directory.
    clientEnv = cupsEnv + "HOME=" + dir + " XDG_CONFIG_HOME=" + dir + "/config XDG_CACHE_HOME=" + dir + "/cache ";
  }

  // GTK's icon name and state message of a printer.
  std::pair<std::string, std::string> gtkState(const std::string &queue) {
    std::istringstream lines(run("(" + clientEnv + "xvfb-run -a " + KPX_GTK_PRINTERS + " 2 2>/dev/null)"));
    std::string line;
    while (std::getline(lines, line))
      if (line.rfind(queue + "\t", 0) == 0) {
        std::string rest = line.substr(queue.size() + 1);
        size_t tab = rest.find('\t');
        return {rest.substr(0, tab), tab == std::string::npos ? "" : rest.substr(tab + 1)};
      }
    return {"(not listed)", ""};
  }

  // system-config-printer's text of each reason: "reason<TAB>text" lines.
  std::string reasonTexts(const std::string &queue, const std::string &lang) {
    return run(clientEnv + "LANG=" + lang + " /usr/bin/python3 " + KPX_SOURCE_DIR + "/tests/e2e/reason_texts.py " + queue);
  }

  // A page of CUPS's web interface as the browser built it; with a shot
  // name, a screenshot too (into SHOT_DIR when set).
  std::string webPage(const std::string &path, const std::string &shot = "") {
    const std::string browser = "(" + clientEnv + "chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--disable-background-networking --disable-component-update --disable-sync "
                                "--user-data-dir=" + dir + "/chromium --window-size=1200,700 ";
    const std::string url = " http://" + server + path;
    if (!shot.empty()) {
      const char *shots = std::getenv("SHOT_DIR");
      run(browser + "--screenshot=" + (shots ? std::string(shots) : dir) + "/" + shot + url + " 2>/dev/null)");
    }
    return run(browser + "--dump-dom" + url + " 2>/dev/null)");
  }

  std::string clientEnv;
};

}  // namespace

TEST_F(DesktopClients, EveryStateFamilyHasWordsAndTheRightIconAndReadyLeavesNothingStale) {
  struct Family {
    const char *name;
    int code;
    const char *icon;  // GTK's
  } families[] = {
      {"jam", 44114, "printer-error"},           {"cover open", 40021, "printer-error"},
      {"paper out", 65003, "printer-error"},     {"no paper of the size", 11213, "printer-warning"},
      {"tray missing", 12201, "printer-error"},  {"toner low", 10209, "printer-warning"},
      {"toner empty", 40409, "printer-error"},   {"drum worn out", 10305, "printer-warning"},
      {"drum failure", 40305, "printer-error"},  {"waste toner full", 40141, "printer-error"},
      {"fuser worn out", 10316, "printer-warning"}, {"ready", 10001, "printer"},
  };
  const std::string queue = "KPX7720MW";
  auto check = [&](const std::string &family, const std::string &title, const std::string &icon) {
    SCOPED_TRACE(family);
    const std::string message = attribute(printerAttributes(queue), "printer-state-message");
    EXPECT_EQ(message, title);
    const auto [gtkIcon, gtkMessage] = gtkState(queue);
    EXPECT_EQ(gtkIcon, icon);
    EXPECT_EQ(gtkMessage.empty(), title.empty()) << gtkMessage;
    EXPECT_EQ(gtkMessage.find(title), 0u) << gtkMessage;
    std::cout << family << ": message \"" << message << "\"; GTK " << gtkIcon << " \"" << gtkMessage << "\"\n";
    for (const char *lang : {"C", "zh_CN.UTF-8"}) {
      const std::string texts = reasonTexts(queue, lang);
      EXPECT_EQ(texts.empty(), title.empty()) << texts;
      EXPECT_EQ(texts.find("\t-\n"), std::string::npos) << lang << "\n" << texts;
      std::cout << "  system-config-printer (" << lang << "):\n" << texts;
    }
  };
  for (const Family &f : families) {
    run(sim + "status " + std::to_string(f.code));
    command(queue, "ReportStatus");
    check(f.name, f.code == kpx::state::kReady ? "" : kpx::statusCode(f.code)->title, f.icon);
  }

  // A secure-print key that is not four digits: the job waits in the queue.
  const std::string bad = lp(queue, "-o job-password=12a4");
  ASSERT_TRUE(waitFor([&] { return reasons(queue).find("-99999-error") != std::string::npos; }, 30));
  check("key rejected", kpx::statusCode(kpx::state::kKeyRejected)->title, "printer-error");
  run(cupsEnv + "cancel " + bad);
  ASSERT_TRUE(waitIdle(30));
  EXPECT_EQ(reasons(queue), "none");

  // CUPS's web interface: the printer list carries the message while the
  // printer reports a jam, and drops it once the printer is ready.
  run(cupsEnv + "cupsctl WebInterface=yes");
  ASSERT_TRUE(waitFor([&] { return run(cupsEnv + "lpstat -r").find("is running") != std::string::npos; }, 20));
  const std::string jam = kpx::statusCode(44114)->title;
  run(sim + "status 44114");
  command(queue, "ReportStatus");
  if (const char *shots = std::getenv("SHOT_DIR"))
    run("(" + clientEnv + "xvfb-run -a -s '-screen 0 1000x640x24' sh -c '" + KPX_GTK_PRINTERS +
        " --dialog 6 & sleep 5; import -window root " + shots + "/gtk-print-dialog-jam.png; wait' 2>/dev/null)");
  std::string page = webPage("/printers/", "cups-web-jam.png");
  EXPECT_NE(page.find("Idle - \"" + jam + "\""), std::string::npos) << page.substr(0, 3000);
  webPage("/printers/" + queue, "cups-web-printer-jam.png");
  run(sim + "status 10001");
  command(queue, "ReportStatus");
  page = webPage("/printers/", "cups-web-ready.png");
  EXPECT_NE(page.find(queue), std::string::npos) << page.substr(0, 3000);
  EXPECT_EQ(page.find(jam), std::string::npos);
}
