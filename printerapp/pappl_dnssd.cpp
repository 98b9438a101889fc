// PAPPL 1.4.11 puts "TLS=1.2" and "mopria-certified=1.3" into the TXT
// record of every printer's _ipp._tcp and _ipps._tcp services, also when
// TLS is off (loopback), and adds the printer attribute mopria-certified.
// Registration and the attribute pass through here (--wrap, see
// printerapp/CMakeLists.txt) and lose what keepTxtEntry and
// isUnheldCertification refuse.
#include "pappl_dnssd.h"

#include <avahi-client/publish.h>
#include <avahi-common/strlst.h>
#include <cups/ipp.h>

#include <atomic>
#include <cstring>
#include <string_view>

#include "dnssdtxt.h"

extern "C" {
int __real_avahi_entry_group_add_service_strlst(AvahiEntryGroup *group, AvahiIfIndex interface,
                                                AvahiProtocol protocol, AvahiPublishFlags flags, const char *name,
                                                const char *type, const char *domain, const char *host,
                                                uint16_t port, AvahiStringList *txt);
ipp_attribute_t *__real_ippAddString(ipp_t *ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name,
                                     const char *language, const char *value);
}

namespace kpxapp {
namespace {

std::atomic<bool> g_tlsOffered{false};

bool isIppService(const char *type) {
  return type != nullptr && (std::strcmp(type, "_ipp._tcp") == 0 || std::strcmp(type, "_ipps._tcp") == 0);
}

}  // namespace

void setDnssdTlsOffered(bool offered) { g_tlsOffered = offered; }

}  // namespace kpxapp

extern "C" int __wrap_avahi_entry_group_add_service_strlst(AvahiEntryGroup *group, AvahiIfIndex interface,
                                                           AvahiProtocol protocol, AvahiPublishFlags flags,
                                                           const char *name, const char *type, const char *domain,
                                                           const char *host, uint16_t port, AvahiStringList *txt) {
  if (!kpxapp::isIppService(type))
    return __real_avahi_entry_group_add_service_strlst(group, interface, protocol, flags, name, type, domain, host,
                                                       port, txt);
  // Prepending while walking the list reverses it; reversed back, the copy
  // keeps PAPPL's order.
  const bool tls = kpxapp::g_tlsOffered;
  AvahiStringList *kept = nullptr;
  for (AvahiStringList *entry = txt; entry != nullptr; entry = avahi_string_list_get_next(entry)) {
    std::string_view text(reinterpret_cast<const char *>(avahi_string_list_get_text(entry)),
                          avahi_string_list_get_size(entry));
    if (kpxapp::keepTxtEntry(text, tls))
      kept = avahi_string_list_add_arbitrary(kept, avahi_string_list_get_text(entry), avahi_string_list_get_size(entry));
  }
  kept = avahi_string_list_reverse(kept);
  int result = __real_avahi_entry_group_add_service_strlst(group, interface, protocol, flags, name, type, domain,
                                                           host, port, kept);
  avahi_string_list_free(kept);
  return result;
}

// PAPPL adds mopria-certified to the driver's attributes of every printer
// (printer-driver.c) unless they have it already.
extern "C" ipp_attribute_t *__wrap_ippAddString(ipp_t *ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name,
                                                const char *language, const char *value) {
  if (group == IPP_TAG_PRINTER && name != nullptr && kpxapp::isUnheldCertification(name)) return nullptr;
  return __real_ippAddString(ipp, group, value_tag, name, language, value);
}
