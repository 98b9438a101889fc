// Asking the network printer for its status: one "GetStatus;" datagram to
// the printer's status port, the answer awaited briefly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kpx {

constexpr std::string_view kStatusQuery = "GetStatus;";
constexpr int kPrinterStatusPort = 9101;
constexpr int kMonitorStatusPort = 9102;  // netmonitor's; never ours
constexpr int kStatusAnswerWaitMs = 1000;

// The printer's host in a socket:// device URI ("socket://192.168.1.20:9100"
// gives "192.168.1.20"); empty for other schemes or a URI without host.
std::string printerHostOf(std::string_view deviceUri);

// Sends the query from a port of our own to the printer's status port and
// returns the first answer that comes from the printer's address within
// the wait. Datagrams from elsewhere, and oversized ones, are passed over.
// Nothing when the printer does not answer, cannot be reached or a
// cancellation signal cut the wait short.
std::optional<std::string> queryPrinterStatus(const std::string &host, int port = kPrinterStatusPort,
                                              int waitMs = kStatusAnswerWaitMs);

}  // namespace kpx
