// Test helper: performs plain libusb-1.0 calls against the emulated printer,
// one operation per argument, and prints one line per operation:
//
//   find                 -> "find count=N addr=A,B"   (devices 7b4f:005c)
//   open                 -> "open rc=R"
//   kda                  -> "kda rc=R"                 libusb_kernel_driver_active(0)
//   detach | attach      -> "detach rc=R"
//   claim | release      -> "claim rc=R"
//   write:HEX[:TIMEOUT]  -> "write rc=R n=N"
//   read:LEN[:TIMEOUT]   -> "read rc=R n=N hex=..."
//   devid                -> "devid rc=R id=TEXT"       printer-class GET_DEVICE_ID
//   close                -> "close rc=0"
//   sleep:MS             -> "sleep rc=0"
//
// Run it with UMOCKDEV_DIR=<testbed> LD_PRELOAD=libumockdev-preload.so.0.
#include <libusb.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string hex(const unsigned char *p, int n) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

bool unhex(const std::string &h, std::string &out) {
  if (h.size() % 2) return false;
  out.clear();
  for (size_t i = 0; i < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return true;
}

std::string field(const std::string &op, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = op.find(':', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  size_t end = op.find(':', start);
  return op.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

int main(int argc, char **argv) {
  libusb_context *ctx = nullptr;
  if (libusb_init(&ctx) != 0) {
    std::printf("init failed\n");
    return 1;
  }
  libusb_device_handle *h = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string op = argv[i];
    std::string name = field(op, 0);
    if (name == "find" || name == "open") {
      libusb_device **list = nullptr;
      ssize_t n = libusb_get_device_list(ctx, &list);
      int count = 0;
      std::string addrs;
      libusb_device *first = nullptr;
      for (ssize_t k = 0; k < n; ++k) {
        libusb_device_descriptor d{};
        libusb_get_device_descriptor(list[k], &d);
        if (d.idVendor == 0x7b4f && d.idProduct == 0x005c) {
          if (!first) first = list[k];
          ++count;
          addrs += (addrs.empty() ? "" : ",") + std::to_string(libusb_get_device_address(list[k]));
        }
      }
      if (name == "find") {
        std::printf("find count=%d addr=%s\n", count, addrs.c_str());
      } else {
        int rc = first ? libusb_open(first, &h) : LIBUSB_ERROR_NOT_FOUND;
        std::printf("open rc=%d\n", rc);
      }
      if (n >= 0) libusb_free_device_list(list, 1);
    } else if (!h && name != "sleep") {
      std::printf("%s rc=no-device\n", name.c_str());
    } else if (name == "kda") {
      std::printf("kda rc=%d\n", libusb_kernel_driver_active(h, 0));
    } else if (name == "detach") {
      std::printf("detach rc=%d\n", libusb_detach_kernel_driver(h, 0));
    } else if (name == "attach") {
      std::printf("attach rc=%d\n", libusb_attach_kernel_driver(h, 0));
    } else if (name == "claim") {
      std::printf("claim rc=%d\n", libusb_claim_interface(h, 0));
    } else if (name == "release") {
      std::printf("release rc=%d\n", libusb_release_interface(h, 0));
    } else if (name == "write") {
      std::string data;
      if (!unhex(field(op, 1), data)) {
        std::printf("write rc=bad-hex\n");
        continue;
      }
      std::string t = field(op, 2);
      int n = 0;
      int rc = libusb_bulk_transfer(h, 0x01, reinterpret_cast<unsigned char *>(&data[0]),
                                    static_cast<int>(data.size()), &n, t.empty() ? 1000 : std::atoi(t.c_str()));
      std::printf("write rc=%d n=%d\n", rc, n);
    } else if (name == "read") {
      int len = std::atoi(field(op, 1).c_str());
      std::string t = field(op, 2);
      unsigned char buf[4096];
      if (len <= 0 || len > static_cast<int>(sizeof buf)) len = 512;
      int n = 0;
      int rc = libusb_bulk_transfer(h, 0x82, buf, len, &n, t.empty() ? 1000 : std::atoi(t.c_str()));
      std::printf("read rc=%d n=%d hex=%s\n", rc, n, hex(buf, n).c_str());
    } else if (name == "devid") {
      unsigned char buf[1024];
      int n = libusb_control_transfer(h, 0xa1, 0, 0, 0, buf, sizeof buf, 1000);
      std::string id = n > 2 ? std::string(reinterpret_cast<char *>(buf) + 2, static_cast<size_t>(n - 2)) : "";
      std::printf("devid rc=%d id=%s\n", n < 0 ? n : 0, id.c_str());
    } else if (name == "close") {
      libusb_close(h);
      h = nullptr;
      std::printf("close rc=0\n");
    } else if (name == "sleep") {
      usleep(static_cast<useconds_t>(std::atoi(field(op, 1).c_str())) * 1000);
      std::printf("sleep rc=0\n");
    } else {
      std::printf("%s rc=unknown-op\n", name.c_str());
    }
    std::fflush(stdout);
  }
  if (h) libusb_close(h);
  libusb_exit(ctx);
  return 0;
}
