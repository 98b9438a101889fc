// Asking the network printer for its status: one "GetStatus;" datagram to
// the printer's status port (protocol::exchangeUdpStatus), the answer
// awaited briefly while watching for the job's cancellation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "printer_protocol.h"

namespace kpx {

constexpr int kStatusAnswerWaitMs = 1000;

// The printer's host in a socket:// device URI ("socket://192.168.1.20:9100"
// gives "192.168.1.20"); empty for other schemes or a URI without host.
std::string printerHostOf(std::string_view deviceUri);

// The printer's answer, or nothing when the printer does not answer,
// cannot be reached or a cancellation signal cut the wait short.
std::optional<std::string> queryPrinterStatus(const std::string &host, int port = protocol::kStatusPort,
                                              int waitMs = kStatusAnswerWaitMs);

}  // namespace kpx
