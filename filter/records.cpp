#include "records.h"

namespace kpx {

const char kStatePrinting[] = "CODE=10023";
const char kStateReady[] = "CODE=10001";
const char kStatePasswdError[] = "CODE=99999";
const char kLogCompleted[] = "\n打印任务完成\n";
const char kLogCancelled[] = "\n打印任务被用户取消\n";
const char kKeyReason[] = "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";

RecordPaths recordPathsFor(const FilterVariant &v, const std::string &root) {
  RecordPaths p;
  const std::string dir = root + "/" + v.installSubdir;
  p.printerInfo = dir + "/config/printerInfo";
  if (v.writesStateFile) p.printerState = dir + "/config/printerState";
  p.printLog = dir + "/print_log";
  // Both queues use the interpreter installed with the USB queue.
  p.interpreter = root + "/KPX7720MW/kpx7720mw/bin/gs";
  return p;
}

std::string formatPrinterInfo(const JobSettings &job) {
  return "resolution:" + job.resolution + ";\n" +
         "papersize:" + job.pageSize + ";\n" +
         "inputslot:" + job.inputSlot + ";\n" +
         "mediatype:" + job.mediaType + ";\n" +
         "duplex:" + job.duplex + ";\n";
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
  if (job.duplex == "None") b += "duplex:单面打印\n";
  else if (job.duplex == "DuplexTumble") b += "duplex:短边翻转\n";
  else if (job.duplex == "DuplexNoTumble") b += "duplex:长边翻转\n";
  return b;
}

}  // namespace kpx
