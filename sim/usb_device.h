// The emulated USB printer: a umockdev testbed holding one device 7b4f:005c
// on bus 250 whose usbdevfs ioctls are answered here, on umockdev's worker
// thread. Printer logic lives in model.h; this file only speaks usbdevfs.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "logger.h"
#include "model.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace kpxsim {

class UsbEmulator {
 public:
  UsbEmulator(std::mutex &stateMutex, PrinterState &state, Logger &log);
  ~UsbEmulator();
  UsbEmulator(const UsbEmulator &) = delete;
  UsbEmulator &operator=(const UsbEmulator &) = delete;

  // Creates the testbed and, unless the state says unplugged, the device.
  bool start(std::string &err);
  std::string rootDir() const { return rootDir_; }

  // Called from the control loop (not the handler thread).
  bool unplug(std::string &err);
  bool replug(std::string &err);

 private:
  struct Urb {
    uint64_t client = 0;
    UMockdevIoctlData *data = nullptr;  // the client's URB, resolved
    unsigned long clientAddr = 0;
    uint8_t type = 0;
    uint8_t endpoint = 0;
    int bufferLength = 0;
    bool done = false;
    int status = 0;
    std::string reply;   // IN and control data to hand back
    bool answered = false;  // an IN answer was already taken from the model
  };
  struct Client {
    std::string devnode;
    bool claimed = false;
  };

  static int handleIoctlThunk(UMockdevIoctlBase *, UMockdevIoctlClient *, void *self);
  static void clientFinalized(void *note, void *object);
  // Hands each ioctl to the handler of its request.
  int handleIoctl(UMockdevIoctlClient *client);
  // One ioctl being handled: the lock on the shared state is held on entry.
  struct Ioctl {
    UMockdevIoctlClient *client;
    UMockdevIoctlData *arg;
    uint64_t id;
    unsigned long req;
    std::unique_lock<std::mutex> &lock;
    Client &cl;
    // Completes the ioctl with a result and errno; returns 1 (handled).
    int done(long res, int err) const;
  };
  int onGetCapabilities(Ioctl &c);
  int onGetSpeed(Ioctl &c);
  int onConnectInfo(Ioctl &c);
  int onGetDriver(Ioctl &c);
  int onDriverIoctl(Ioctl &c);
  int onDisconnectClaim(Ioctl &c);
  int onClaimOrReleaseInterface(Ioctl &c);
  int onAccepted(Ioctl &c);
  int onSubmitUrb(Ioctl &c);
  int onDiscardUrb(Ioctl &c);
  int onReapUrb(Ioctl &c);
  int onUnsupported(Ioctl &c);
  uint64_t clientId(UMockdevIoctlClient *client);
  void clientGone(uint64_t id);
  void forgetGoneClients();
  std::string devnode(int devnum) const;
  std::string deviceDescription(int devnum) const;
  bool addDevice(std::string &err);
  void completeControl(Urb &urb, const std::string &setupAndData);
  // Hands the first finished URB of this client back; false when none.
  bool reapOne(UMockdevIoctlClient *client, uint64_t id);

  std::mutex &mutex_;
  PrinterState &st_;
  Logger &log_;
  UMockdevTestbed *testbed_ = nullptr;
  UMockdevIoctlBase *handler_ = nullptr;
  std::string rootDir_;
  std::string attachedPaths_;  // devnodes that already have the handler
  uint64_t nextClient_ = 1;
  std::map<uint64_t, Client> clients_;
  std::list<Urb> urbs_;  // submitted and not yet reaped
  std::mutex goneMutex_;
  std::vector<uint64_t> gone_;  // clients closed since the last ioctl
};

}  // namespace kpxsim
