#include "transport/UdevHotPlug.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "transport/HotPlugHub.h"

#ifdef KALVORT_HAVE_UDEV
#include <libudev.h>
#endif

namespace kalvort {

namespace {

bool parseHex16(const std::string &s, uint16_t &v) {
  if (s.empty() || s.size() > 4) return false;
  uint32_t x = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    x = x * 16 + static_cast<uint32_t>(d);
  }
  v = static_cast<uint16_t>(x);
  return true;
}

}  // namespace

bool ParseUsbId(const std::string &text, TUsbId &id) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  TUsbId parsed;
  if (!parseHex16(text.substr(0, colon), parsed.vendor)) return false;
  if (!parseHex16(text.substr(colon + 1), parsed.product)) return false;
  id = parsed;
  return true;
}

bool TUdevHotPlugSource::ProductMatches(const char *product_property, TUsbId id) {
  if (!product_property) return false;
  const std::string p(product_property);
  const auto first = p.find('/');
  if (first == std::string::npos) return false;
  const auto second = p.find('/', first + 1);
  const std::string pid = p.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                         : second - first - 1);
  uint16_t vendor = 0, product = 0;
  return parseHex16(p.substr(0, first), vendor) && parseHex16(pid, product) &&
         vendor == id.vendor && product == id.product;
}

#ifdef KALVORT_HAVE_UDEV

struct TUdevHotPlugSource::Monitor {
  udev *context = nullptr;
  udev_monitor *monitor = nullptr;
  ~Monitor() {
    if (monitor) udev_monitor_unref(monitor);
    if (context) udev_unref(context);
  }
};

#else

struct TUdevHotPlugSource::Monitor {};

#endif

TUdevHotPlugSource::TUdevHotPlugSource(TUsbId id, const TGUID &class_guid)
    : id_(id), class_guid_(class_guid) {}

TUdevHotPlugSource::~TUdevHotPlugSource() { Stop(); }

bool TUdevHotPlugSource::Start(std::string &error) {
  if (thread_.joinable()) return true;
#ifdef KALVORT_HAVE_UDEV
  auto m = std::make_unique<Monitor>();
  m->context = udev_new();
  if (!m->context) {
    error = "udev is not available";
    return false;
  }
  m->monitor = udev_monitor_new_from_netlink(m->context, "udev");
  if (!m->monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(m->monitor, "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(m->monitor) < 0) {
    error = "the udev monitor for USB devices cannot be opened";
    return false;
  }
  wake_fd_ = eventfd(0, EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    error = std::string("eventfd: ") + std::strerror(errno);
    return false;
  }
  monitor_ = std::move(m);
  thread_ = std::thread([this] { Run(); });
  return true;
#else
  error = "this build has no udev support: USB plug events of a real driver are not seen";
  return false;
#endif
}

void TUdevHotPlugSource::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
    thread_.join();
  }
  if (wake_fd_ >= 0) {
    close(wake_fd_);
    wake_fd_ = -1;
  }
  monitor_.reset();
}

void TUdevHotPlugSource::Run() {
#ifdef KALVORT_HAVE_UDEV
  const int monitor_fd = udev_monitor_get_fd(monitor_->monitor);
  for (;;) {
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {monitor_fd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) continue;
    udev_device *dev = udev_monitor_receive_device(monitor_->monitor);
    if (!dev) continue;
    const char *action = udev_device_get_action(dev);
    const char *product = udev_device_get_property_value(dev, "PRODUCT");
    if (action && ProductMatches(product, id_)) {
      if (std::strcmp(action, "add") == 0)
        THotPlugHub::Instance().Broadcast(class_guid_, doInsert);
      else if (std::strcmp(action, "remove") == 0)
        THotPlugHub::Instance().Broadcast(class_guid_, doRemove);
    }
    udev_device_unref(dev);
  }
#endif
}

}  // namespace kalvort
