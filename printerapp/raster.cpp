#include "raster.h"

#include <cstdint>
#include <string>
#include <vector>

#include "appcore.h"
#include "jobcommon.h"
#include "pappl_guard.h"
#include "pappl_private.h"
#include "pclxl_writer.h"
#include "rasterpage.h"
#include "ticket.h"

namespace kpxapp {

namespace {

constexpr const char *kUel = "\x1b%-12345X";

struct RasterJob {
  kpxapp::JobPlan plan;
  std::string out;
  kpxapp::PclxlRasterWriter writer{out};
  bool sessionOpen = false;
  bool failed = false;  // a page could not be printed or sent
  kpxapp::RasterFormat page;      // the page being printed, as its lines come
  std::vector<uint8_t> row;       // one line as the printer takes it
};

// The job's raster data, from the start of the job to its end. Only the run
// that prints a job gets here (pappl_guard.h).
RasterJob *rasterJobOf(pappl_job_t *job) { return static_cast<RasterJob *>(papplJobGetData(job)); }

// Sends what the writer made; nothing more of a job once it is cancelled.
bool flushOut(pappl_job_t *job, pappl_device_t *device, RasterJob *rj) {
  bool ok = !jobCancelled(job) && writeAll(device, rj->out);
  rj->out.clear();
  if (!ok) rj->failed = true;
  return ok;
}

// A page as PAPPL describes it: the client's own header for streamed
// raster, else the job's page PAPPL renders PNG and JPEG into.
kpxapp::RasterFormat formatOf(const cups_page_header2_t &h) {
  kpxapp::RasterFormat f;
  f.width = h.cupsWidth;
  f.height = h.cupsHeight;
  f.bitsPerColor = h.cupsBitsPerColor;
  f.bitsPerPixel = h.cupsBitsPerPixel;
  f.bytesPerLine = h.cupsBytesPerLine;
  f.colorSpace = h.cupsColorSpace;
  f.colorOrder = h.cupsColorOrder;
  f.xdpi = h.HWResolution[0];
  f.ydpi = h.HWResolution[1];
  f.pageWidthPt = h.PageSize[0];
  f.pageHeightPt = h.PageSize[1];
  return f;
}

// Ends the job on a page it cannot print, with the reason in the job's
// state (document-format-error or document-unprintable-error).
bool refusePage(pappl_job_t *job, const kpxapp::PageCheck &check) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", check.reason.c_str());
  papplJobSetMessage(job, "%s", check.reason.c_str());
  papplJobSetReasons(job,
                     check.verdict == kpxapp::PageVerdict::FormatError ? PAPPL_JREASON_DOCUMENT_FORMAT_ERROR
                                                                       : PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                     PAPPL_JREASON_NONE);
  return false;
}

// Closes the session and the connection, and frees the job's data and
// its printer's gate.
bool endRasterJob(pappl_job_t *job, pappl_device_t *device) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return false;
  papplJobSetData(job, nullptr);
  bool ok = true;
  if (rj->sessionOpen) {
    bool cancelled = jobCancelled(job);
    if (!cancelled) {
      rj->writer.endSession();
      rj->out += kUel;
      ok = flushOut(job, device, rj);
    }
    finishJob(job, device, true, cancelled || rj->failed);
  }
  ok = ok && !rj->failed;
  delete rj;
  kpxapp::endJobRun(job, ok);
  return ok;
}

bool rStartJob(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device) {
  // A streamed page is checked before anything goes to the printer; its
  // resolution is the session's.
  const cups_page_header2_t *streamed = kpxapp::streamedPageHeader();
  kpxapp::RasterFormat first = formatOf(streamed != nullptr ? *streamed : o->header);
  kpxapp::PageCheck check = kpxapp::checkRasterPage(first);
  // The ticket names the resolution the pages come in.
  if (streamed != nullptr) o->printer_resolution[0] = o->printer_resolution[1] = static_cast<int>(first.xdpi);
  auto *rj = new RasterJob;
  if (check.verdict != kpxapp::PageVerdict::Printable) {
    refusePage(job, check);
  } else if (!jobCancelled(job) && planOrFail(job, o, rj->plan) && waitForLock(job, device)) {
    papplJobSetData(job, rj);
    rj->out = kpx::buildTicket(rj->plan.settings).text;
    rj->writer.beginSession(static_cast<int>(first.xdpi));
    rj->sessionOpen = true;
    return flushOut(job, device, rj);
  }
  kpxapp::endJobRun(job, false);
  delete rj;
  return false;
}

bool rStartPage(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device, unsigned page) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return false;
  if (!rj->sessionOpen) return false;
  const cups_page_header2_t *streamed = kpxapp::streamedPageHeader();
  kpxapp::RasterFormat f = formatOf(streamed != nullptr ? *streamed : o->header);
  kpxapp::PageCheck check = kpxapp::checkRasterPage(f);
  if (check.verdict == kpxapp::PageVerdict::Printable && static_cast<int>(f.xdpi) != rj->writer.sessionDpi())
    check = {kpxapp::PageVerdict::Unprintable, "The document's pages do not all have the same resolution."};
  if (check.verdict != kpxapp::PageVerdict::Printable) {
    rj->failed = true;
    return refusePage(job, check);
  }
  // PAPPL then reads the client's lines as they are and hands them on
  // unchanged: no cropping, padding or dithering of its own.
  if (streamed != nullptr) o->header = *streamed;
  rj->page = f;
  rj->row.assign((f.width + 7) / 8, 0);

  kpxapp::RasterPage p;
  p.dpi = static_cast<int>(f.xdpi);
  p.width = f.width;
  p.height = f.height;
  // The paper: the size the client's raster page says it is, else the job's.
  int widthHmm = o->media.size_width, lengthHmm = o->media.size_length;
  const char *mediaName = o->media.size_name;
  if (streamed != nullptr && f.pageWidthPt > 0 && f.pageHeightPt > 0) {
    widthHmm = static_cast<int>(f.pageWidthPt * 2540 / 72);
    lengthHmm = static_cast<int>(f.pageHeightPt * 2540 / 72);
    pwg_media_t *named = pwgMediaForSize(widthHmm, lengthHmm);
    mediaName = named != nullptr ? named->pwg : "";
  }
  const kpx::MediaSize *m = kpxapp::mediaByPwg(mediaName);
  p.mediaSizeEnum = m != nullptr ? m->pclxlMedia : kpx::kPclxlCustomMedia;
  p.mediaWidthIn = widthHmm / 2540.0;
  p.mediaHeightIn = lengthHmm / 2540.0;
  p.mediaSource = kpxapp::pclxlMediaSource(rj->plan.settings.inputSlot);
  p.duplex = rj->plan.duplex;
  p.backSide = rj->plan.duplex != kpx::Duplex::Simplex && (page % 2) == 0;
  if (!rj->writer.beginPage(p)) {
    rj->failed = true;
    return refusePage(job, {kpxapp::PageVerdict::Unprintable, "The page is too large for the printer."});
  }
  return flushOut(job, device, rj);
}

bool rWriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned y, const unsigned char *line) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return false;
  if (y >= rj->page.height) return true;
  kpxapp::toPrinterRow(rj->page, line, y, rj->row.data());
  rj->writer.writeLine(rj->row.data());
  return rj->out.size() < 65536 || flushOut(job, device, rj);
}

bool rEndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return false;
  rj->writer.endPage();
  kpx_job_set_media_sheets_completed(job, sheetsFor(rj->writer.pagesWritten(), rj->plan.duplex != kpx::Duplex::Simplex));
  return flushOut(job, device, rj);
}

bool rEndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) { return endRasterJob(job, device); }

}  // namespace

void setRasterCallbacks(pappl_pr_driver_data_t *d) {
  kpxapp::setGuardedRasterCallbacks(d, {rStartJob, rStartPage, rWriteLine, rEndPage, rEndJob});
}

}  // namespace kpxapp
