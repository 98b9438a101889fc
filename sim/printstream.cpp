#include "printstream.h"

#include "pjl.h"
#include "textutil.h"

namespace kpxsim {

namespace {

bool at(std::string_view data, size_t pos, std::string_view what) {
  return pos <= data.size() && data.size() - pos >= what.size() &&
         data.compare(pos, what.size(), what) == 0;
}

bool endsWith(std::string_view data, std::string_view what) {
  return data.size() >= what.size() &&
         data.compare(data.size() - what.size(), what.size(), what) == 0;
}

bool isPclxlHeader(std::string_view data, size_t pos) {
  return pos < data.size() && (data[pos] == '(' || data[pos] == ')' || data[pos] == '\'') &&
         at(data, pos + 1, " HP-PCL XL");
}

// Trailer or cancel sequence starting at pos: sets the end and returns its length.
size_t jobEndAt(std::string_view data, size_t pos, PrintStreamSummary &s) {
  if (at(data, pos, kEojTrailer)) {
    s.end = PrintStreamSummary::End::Trailer;
    s.endOffset = pos;
    return kEojTrailer.size();
  }
  if (at(data, pos, kCancelSequence)) {
    s.end = PrintStreamSummary::End::Cancel;
    s.endOffset = pos;
    return kCancelSequence.size();
  }
  return 0;
}

void recordPjl(const PjlLine &l, std::string_view raw, PrintStreamSummary &s) {
  if (l.kind == PjlLine::Kind::NotPjl) {
    ++s.badPjlLineCount;
    if (s.badPjlLines.size() < PrintStreamSummary::kMaxBadPjlLines) s.badPjlLines.emplace_back(raw);
    return;
  }
  s.pjlLines.emplace_back(raw);
  switch (l.kind) {
    case PjlLine::Kind::Set:
      s.setVars.emplace_back(l.name, l.value);
      if (l.name == "JOBTIME") s.jobTime = l.value;
      if (l.name == "HOLD") s.held = toUpper(l.value) == "STORE";
      if (l.name == "HOLDKEY") s.holdKey = l.value;
      break;
    case PjlLine::Kind::Default: s.defaultVars.emplace_back(l.name, l.value); break;
    case PjlLine::Kind::PrintLog: s.printLog[l.item] = l.value; break;
    case PjlLine::Kind::Job: s.jobName = l.value; break;
    case PjlLine::Kind::EnterLanguage: s.language = l.value; break;
    default: break;
  }
}

void takeScan(const PclxlScan &scan, size_t base, PrintStreamSummary &s) {
  switch (scan.status) {
    case PclxlScan::Status::Ok: s.pclxl = PrintStreamSummary::Pclxl::Ok; break;
    case PclxlScan::Status::Incomplete: s.pclxl = PrintStreamSummary::Pclxl::Incomplete; break;
    case PclxlScan::Status::Malformed: s.pclxl = PrintStreamSummary::Pclxl::Malformed; break;
  }
  s.pclxlOk = scan.status == PclxlScan::Status::Ok;
  s.pclxlError = s.pclxlOk ? std::string() : scan.error;
  s.pclxlErrorOffset = s.pclxlOk ? 0 : base + scan.errorOffset;
  s.pclxlOffset = base;
  s.pclxlBytes = scan.length;
  s.pclxlEndedByUel = scan.endedByUel;
  s.pages = scan.pages;
  s.pagesBegun = scan.pagesBegun;
  s.sessions = scan.sessions;
}

// What follows the page data: the trailer or cancel sequence, maybe more.
void readTail(std::string_view data, size_t pos, bool closed, PrintStreamSummary &s) {
  size_t n = jobEndAt(data, pos, s);
  if (n) {
    s.extraBytes = data.size() - pos - n;
    return;
  }
  // Something else first; a trailer at the very end still ends the job.
  for (std::string_view seq : {kEojTrailer, kCancelSequence}) {
    if (endsWith(data, seq) && data.size() - seq.size() >= pos) {
      jobEndAt(data, data.size() - seq.size(), s);
      s.extraBytes = data.size() - seq.size() - pos;
      return;
    }
  }
  s.extraBytes = data.size() - pos;
  s.end = closed ? PrintStreamSummary::End::Disconnect : PrintStreamSummary::End::Open;
}

}  // namespace

const std::string *PrintStreamSummary::setValue(std::string_view name) const {
  const std::string *found = nullptr;
  for (const auto &kv : setVars)
    if (kv.first == name) found = &kv.second;
  return found;
}

const std::string *PrintStreamSummary::defaultValue(std::string_view name) const {
  const std::string *found = nullptr;
  for (const auto &kv : defaultVars)
    if (kv.first == name) found = &kv.second;
  return found;
}

PrintStreamSummary analyzePrintStream(std::string_view data, bool connectionClosed) {
  PrintStreamSummary s;
  s.totalBytes = data.size();
  size_t pos = 0;
  while (at(data, pos, kLockQuery)) {
    ++s.lockQueries;
    pos += kLockQuery.size();
  }
  if (pos == data.size()) {
    s.lockOnly = s.lockQueries > 0;
    s.end = connectionClosed ? PrintStreamSummary::End::Disconnect : PrintStreamSummary::End::Open;
    return s;
  }
  s.hasTicket = at(data, pos, kTicketOpening);

  // PJL lines up to the language switch (or a PCL XL header, or the end).
  size_t pclStart = std::string_view::npos;
  while (pos < data.size()) {
    if (size_t n = jobEndAt(data, pos, s)) {
      s.extraBytes = data.size() - pos - n;
      return s;
    }
    size_t p = pos;
    if (at(data, p, kUel)) p += kUel.size();
    if (at(data, p, kPjlIntro)) p += kPjlIntro.size();
    if (isPclxlHeader(data, p)) {
      pclStart = p;
      break;
    }
    size_t eol = data.find('\n', p);
    if (eol == std::string_view::npos) break;  // a command counts once its line end came
    std::string_view raw = data.substr(p, eol - p);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    pos = eol + 1;
    if (raw.empty()) continue;
    PjlLine line = parsePjlLine(raw);
    recordPjl(line, raw, s);
    if (line.kind == PjlLine::Kind::EnterLanguage && line.value == "PCLXL") {
      pclStart = pos;
      break;
    }
  }
  if (pclStart == std::string_view::npos) {
    s.end = connectionClosed ? PrintStreamSummary::End::Disconnect : PrintStreamSummary::End::Open;
    return s;
  }

  std::string_view pcl = data.substr(pclStart);
  PclxlScan scan = scanPclxl(pcl);
  if (scan.endedByUel) {
    takeScan(scan, pclStart, s);
    size_t uelAt = pclStart + scan.length;
    // A UEL at a token boundary may be the first bytes of the trailer or of
    // the cancel sequence (page data cut between two tokens).
    if (jobEndAt(data, uelAt, s)) {
      readTail(data, uelAt, connectionClosed, s);
      return s;
    }
    readTail(data, uelAt + kUel.size(), connectionClosed, s);
    return s;
  }
  // No closing UEL: the stream was cut (inside a token, usually), then maybe
  // cancelled. Scan again without the sequence that ends the connection.
  for (std::string_view seq : {kCancelSequence, kEojTrailer}) {
    if (endsWith(data, seq) && data.size() - seq.size() >= pclStart) {
      size_t seqAt = data.size() - seq.size();
      takeScan(scanPclxl(data.substr(pclStart, seqAt - pclStart)), pclStart, s);
      jobEndAt(data, seqAt, s);
      s.extraBytes = 0;
      return s;
    }
  }
  takeScan(scan, pclStart, s);
  s.end = connectionClosed ? PrintStreamSummary::End::Disconnect : PrintStreamSummary::End::Open;
  return s;
}

const char *endName(PrintStreamSummary::End e) {
  switch (e) {
    case PrintStreamSummary::End::Open: return "open";
    case PrintStreamSummary::End::Trailer: return "trailer";
    case PrintStreamSummary::End::Cancel: return "cancel";
    case PrintStreamSummary::End::Disconnect: return "disconnect";
  }
  return "?";
}

const char *pclxlName(PrintStreamSummary::Pclxl p) {
  switch (p) {
    case PrintStreamSummary::Pclxl::None: return "none";
    case PrintStreamSummary::Pclxl::Ok: return "ok";
    case PrintStreamSummary::Pclxl::Incomplete: return "incomplete";
    case PrintStreamSummary::Pclxl::Malformed: return "malformed";
  }
  return "?";
}

std::string formatSummary(const PrintStreamSummary &s) {
  std::string out;
  auto kv = [&out](std::string_view k, std::string_view v) {
    out.append(k);
    out += '=';
    out += escapeText(v);
    out += '\n';
  };
  auto num = [&kv](std::string_view k, size_t v) { kv(k, std::to_string(v)); };
  auto yes = [&kv](std::string_view k, bool v) { kv(k, v ? "yes" : "no"); };
  num("bytes", s.totalBytes);
  num("lock_queries", static_cast<size_t>(s.lockQueries));
  yes("ticket", s.hasTicket);
  kv("end", endName(s.end));
  num("end_offset", s.endOffset);
  num("extra_bytes", s.extraBytes);
  kv("pclxl", pclxlName(s.pclxl));
  kv("pclxl_error", s.pclxlError);
  num("pclxl_error_offset", s.pclxlErrorOffset);
  num("pclxl_offset", s.pclxlOffset);
  num("pclxl_bytes", s.pclxlBytes);
  yes("pclxl_uel", s.pclxlEndedByUel);
  num("pages", static_cast<size_t>(s.pages));
  num("pages_begun", static_cast<size_t>(s.pagesBegun));
  num("sessions", static_cast<size_t>(s.sessions));
  kv("language", s.language);
  yes("held", s.held);
  kv("holdkey", s.holdKey);
  kv("jobname", s.jobName);
  kv("jobtime", s.jobTime);
  num("pjl_lines", s.pjlLines.size());
  num("bad_pjl_lines", s.badPjlLineCount);
  // Names come from the stream as much as values do.
  for (const auto &v : s.setVars) kv("set." + escapeText(v.first), v.second);
  for (const auto &v : s.defaultVars) kv("default." + escapeText(v.first), v.second);
  for (const auto &v : s.printLog) kv("printlog." + std::to_string(v.first), v.second);
  for (const auto &v : s.badPjlLines) kv("bad_pjl", v);
  return out;
}

}  // namespace kpxsim
