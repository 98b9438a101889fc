#include "records.h"

#include <iterator>

#include "printer_description.h"
#include "status_codes.h"

namespace kpx {

namespace {
const std::string kPrintingLine = statusLine(state::kPrinting);
const std::string kReadyLine = statusLine(state::kReady);
const std::string kKeyRejectedLine = statusLine(state::kKeyRejected);
}  // namespace

const char *const kStatePrinting = kPrintingLine.c_str();
const char *const kStateReady = kReadyLine.c_str();
const char *const kStatePasswdError = kKeyRejectedLine.c_str();
const char kLogCompleted[] = "\n打印任务完成\n";
const char kLogCancelled[] = "\n打印任务被用户取消\n";
const char kKeyReason[] = "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";

RecordPaths recordPathsFor(const FilterVariant &v, const std::string &root) {
  RecordPaths p;
  const std::string dir = root + "/" + v.installSubdir;
  p.printerInfo = dir + "/" + records::kPrinterInfo;
  if (v.writesStateFile) p.printerState = dir + "/" + records::kPrinterState;
  p.printLog = dir + "/" + records::kPrintLog;
  // Both queues use the interpreter installed with the USB queue.
  p.interpreter = root + "/" + records::kInterpreter;
  return p;
}

std::string formatPrinterInfo(const JobSettings &job) {
  const std::string *values[] = {&job.resolution, &job.pageSize, &job.inputSlot, &job.mediaType, &job.duplex};
  static_assert(std::size(records::kJobInfoKeys) == std::size(values));
  std::string info;
  for (size_t i = 0; i < std::size(values); ++i)
    info += std::string(records::kJobInfoKeys[i]) + ":" + *values[i] + ";\n";
  return info;
}

std::string formatLogBlock(const FilterVariant &v, const JobSettings &job, int copies, int pages) {
  std::string b;
  b += std::string(51, '*') + "\n";
  b += std::string("打印机名称：") + v.queueName + "\n";
  b += "日期:" + job.logDate + "\n";
  b += "任务ID：" + withoutControlBytes(job.jobId) + "\n";
  b += "用户名：" + withoutControlBytes(job.user) + "\n";
  b += "文件名：" + withoutControlBytes(job.title) + "\n";
  b += "打印份数：" + std::to_string(copies) + "\n";
  b += "文档页数：" + std::to_string(pages) + "\n";
  b += "resolution:" + job.resolution + "\n";
  b += "papersize:" + job.pageSize + ";\n";
  b += "inputslot:" + job.inputSlot + ";\n";
  b += "mediatype:" + job.mediaType + ";\n";
  if (const DuplexMode *d = findDuplexMode(job.duplex)) b += std::string("duplex:") + d->logText + "\n";
  return b;
}

}  // namespace kpx
