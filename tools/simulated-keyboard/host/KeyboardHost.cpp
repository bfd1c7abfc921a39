#include "KeyboardHost.h"

#include <dlfcn.h>
#include <sys/un.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <umockdev.h>

#include "DescriptorTableLock.h"
#include "DeviceNode.h"
#include "SysfsRecord.h"

namespace simkbd {
namespace {

constexpr unsigned kBusNumber = 1;
constexpr unsigned kFirstAddress = 2;  // address 1 is the root hub's
constexpr unsigned kLastAddress = 127;

void complain(const std::string& message) { std::fprintf(stderr, "simulated-keyboard: %s\n", message.c_str()); }

}  // namespace

struct KeyboardHost::Impl final : DeviceNode::Owner {
  struct Keyboard {
    Keyboard(int id, const KeyboardConfig& config, Clock::time_point now)
        : id(id), model(config, now), port(config.port.value_or(static_cast<unsigned>(id))) {}
    const int id;
    SimulatedKeyboard model;
    std::shared_ptr<DeviceNode> node;  // its current appearance; null while off the bus
    bool unplugged = false;
    // The root-hub port: each keyboard has one of its own, numbered as its
    // id unless configured, and keeps it when it re-enumerates, unless told
    // to move.
    unsigned port;
    unsigned arrivals = 0;
    // Control requests the keyboard left unanswered, and how many of them
    // ended: cancelled by the program that sent them, or by the keyboard
    // leaving the bus. The others are pending still, or were when the
    // program that sent them closed the node or exited.
    unsigned unanswered = 0;
    unsigned cancelled = 0;
    unsigned endedByLeaving = 0;
  };

  // Test-bed work, done in order by the host thread because umockdev's calls
  // must not run on its own worker thread, where the bus changes are decided.
  struct Action {
    enum Kind { Arrive, Depart } kind;
    std::shared_ptr<DeviceNode> node;
  };

  GObjectPtr<UMockdevTestbed> testbed;
  mutable std::mutex lock;
  std::condition_variable wake;      // wakes the host thread
  std::condition_variable executed;  // an action was done
  std::map<int, std::unique_ptr<Keyboard>> keyboards;
  std::deque<Action> actions;
  std::uint64_t actionsQueued = 0;
  std::uint64_t actionsDone = 0;
  std::set<const DeviceNode*> published;  // nodes the test bed shows now
  unsigned nextAddress = kFirstAddress;
  int nextId = 1;
  bool stopping = false;
  std::thread thread;
  // Host thread only: every node whose ioctl handler is attached, by path.
  // A departed node stays attached so that programs holding it open get
  // ENODEV rather than a vanished socket.
  std::map<std::string, std::shared_ptr<DeviceNode>> attached;

  // DeviceNode::Owner, called with `lock` held.
  std::mutex& mutex() override { return lock; }

  ControlResult control(int keyboardId, const Setup& setup, std::span<std::uint8_t> data) override {
    Keyboard* keyboard = find(keyboardId);
    if (keyboard == nullptr || keyboard->unplugged) return {ControlResult::Gone, 0};
    const Clock::time_point now = Clock::now();
    const ControlResult result = keyboard->model.control(setup, data, now);
    if (result.kind == ControlResult::Unanswered) ++keyboard->unanswered;
    settle(*keyboard, now);
    return result;
  }

  void cancelled(int keyboardId) override {
    if (Keyboard* keyboard = find(keyboardId)) ++keyboard->cancelled;
  }

  bool reset(int keyboardId) override {
    Keyboard* keyboard = find(keyboardId);
    if (keyboard == nullptr || keyboard->unplugged) return false;
    const Clock::time_point now = Clock::now();
    const bool done = keyboard->model.usbReset(now);
    settle(*keyboard, now);
    return done;
  }

  Keyboard* find(int id) const {
    auto it = keyboards.find(id);
    return it == keyboards.end() ? nullptr : it->second.get();
  }

  // Brings the bus in line with what the keyboard wants at `now`: every
  // change it reports in order, then whatever presence it has.
  void settle(Keyboard& keyboard, Clock::time_point now) {
    if (keyboard.unplugged) return;
    for (BusChange change : keyboard.model.advance(now)) {
      depart(keyboard);
      if (change == BusChange::Arrived) arrive(keyboard);
    }
    if (keyboard.node && !keyboard.model.onBus()) depart(keyboard);
    if (!keyboard.node && keyboard.model.onBus()) arrive(keyboard);
    wake.notify_one();  // the keyboard may have scheduled a change
  }

  // Every arrival gets an address no device on the bus holds, as the kernel
  // hands them out: counting up and wrapping.
  unsigned allocateAddress() {
    for (unsigned tries = kFirstAddress; tries <= kLastAddress; ++tries) {
      const unsigned address = nextAddress;
      nextAddress = nextAddress == kLastAddress ? kFirstAddress : nextAddress + 1;
      bool taken = false;
      for (const auto& [id, keyboard] : keyboards) {
        if (keyboard->node && keyboard->node->record().devnum() == address) taken = true;
      }
      if (!taken) return address;
    }
    return 0;
  }

  // Whether a keyboard other than `keyboard` is on the bus at `port`.
  bool portTaken(const Keyboard& keyboard, unsigned port) const {
    for (const auto& [id, other] : keyboards) {
      if (other.get() != &keyboard && other->node && other->node->record().port() == port) return true;
    }
    return false;
  }

  void arrive(Keyboard& keyboard) {
    if (keyboard.arrivals > 0 && keyboard.model.config().reenumeratePort) {
      keyboard.port = *keyboard.model.config().reenumeratePort;
    }
    ++keyboard.arrivals;
    // Two devices on one port would share one sysfs path: the second is kept
    // off the bus, as no hub could hold it.
    if (portTaken(keyboard, keyboard.port)) {
      complain("keyboard " + std::to_string(keyboard.id) + " cannot arrive: port " +
               std::to_string(keyboard.port) + " is taken");
      return;
    }
    const unsigned address = allocateAddress();
    std::string error = "no free address on the bus";
    std::optional<SysfsRecord> record;
    if (address != 0) record = SysfsRecord::build(keyboard.model, kBusNumber, address, keyboard.port, error);
    if (!record) {
      complain("keyboard " + std::to_string(keyboard.id) + " cannot arrive: " + error);
      return;
    }
    keyboard.node = std::make_shared<DeviceNode>(*this, keyboard.id, std::move(*record));
    queue({Action::Arrive, keyboard.node});
  }

  void depart(Keyboard& keyboard) {
    if (!keyboard.node) return;
    keyboard.endedByLeaving += keyboard.node->leave();
    queue({Action::Depart, std::move(keyboard.node)});
    keyboard.node.reset();
  }

  void queue(Action action) {
    actions.push_back(std::move(action));
    ++actionsQueued;
    wake.notify_one();
  }

  // Host thread, without `lock`.
  void execute(const Action& action) {
    const SysfsRecord& record = action.node->record();
    if (action.kind == Action::Depart) {
      bool shown = false;
      {
        std::lock_guard guard(lock);
        shown = published.erase(action.node.get()) > 0;
      }
      // Removing a device does not announce it: the uevent must come first,
      // while the device is still there to be described.
      if (shown) {
        umockdev_testbed_uevent(testbed.get(), record.syspath().c_str(), "remove");
        umockdev_testbed_remove_device(testbed.get(), record.syspath().c_str());
      }
      return;
    }

    GError* error = nullptr;
    auto previous = attached.find(record.devnode());
    if (previous != attached.end()) {
      umockdev_testbed_detach_ioctl(testbed.get(), record.devnode().c_str(), nullptr);
      attached.erase(previous);
    }
    // The handler goes first: adding the device announces it, and a client
    // that opens the node at once must find the handler there.
    bool added = umockdev_testbed_attach_ioctl(testbed.get(), record.devnode().c_str(), action.node->handler(), &error);
    if (added) {
      attached.emplace(record.devnode(), action.node);
      added = umockdev_testbed_add_from_string(testbed.get(), record.text().c_str(), &error);
    }
    if (error != nullptr) {
      complain("umockdev refused " + record.devnode() + ": " + error->message);
      g_clear_error(&error);
    }
    std::lock_guard guard(lock);
    if (added) {
      published.insert(action.node.get());
    } else if (Keyboard* keyboard = find(action.node->keyboardId()); keyboard && keyboard->node == action.node) {
      keyboard->node->leave();
      keyboard->node.reset();
    }
  }

  void run() {
    std::unique_lock guard(lock);
    for (;;) {
      if (!actions.empty()) {
        const Action action = std::move(actions.front());
        actions.pop_front();
        guard.unlock();
        execute(action);
        guard.lock();
        ++actionsDone;
        executed.notify_all();
        continue;
      }
      if (stopping) break;

      const Clock::time_point now = Clock::now();
      for (auto& [id, keyboard] : keyboards) {
        const std::optional<Clock::time_point> change = keyboard->model.nextBusChange();
        if (!keyboard->unplugged && change && *change <= now) settle(*keyboard, now);
      }
      if (!actions.empty()) continue;

      std::optional<Clock::time_point> next;
      for (const auto& [id, keyboard] : keyboards) {
        const std::optional<Clock::time_point> change = keyboard->model.nextBusChange();
        if (change && !keyboard->unplugged && (!next || *change < *next)) next = change;
      }
      if (next) {
        wake.wait_until(guard, *next);
      } else {
        wake.wait(guard);
      }
    }
  }

  void waitFor(std::unique_lock<std::mutex>& guard, std::uint64_t action) {
    executed.wait(guard, [&] { return actionsDone >= action; });
  }
};

KeyboardHost::KeyboardHost(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

// umockdev_in_mock_environment() answers FALSE even under umockdev-wrapper
// (umockdev 0.17.16), so ask the dynamic linker whether the preload library
// is loaded instead.
bool KeyboardHost::underPreloadLibrary() {
  void* library = dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return false;
  dlclose(library);
  return true;
}

std::unique_ptr<KeyboardHost> KeyboardHost::create(std::string& error) {
  if (!underPreloadLibrary()) {
    error = "not running under umockdev's preload library; start the program with umockdev-wrapper";
    return nullptr;
  }
  // Linked into this program, the locked functions stand in front of every
  // preloaded library; a program that does not export them would leave its
  // threads to umockdev's unlocked tables.
  if (!descriptorTablesLocked()) {
    error = "umockdev's descriptor tables are not locked in this process (DescriptorTableLock.h)";
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->testbed.reset(umockdev_testbed_new());
  if (!impl->testbed) {
    error = "umockdev could not create its test bed";
    return nullptr;
  }
  // umockdev serves each node through a Unix socket under the test bed's
  // folder (umockdev 0.17.16: <root>/ioctl/dev/bus/usb/BBB/DDD); a path that
  // does not fit a socket address fails only when a client opens the node.
  gchar* root = umockdev_testbed_get_root_dir(impl->testbed.get());
  const std::string socketPath = std::string(root) + "/ioctl/dev/bus/usb/001/001";
  g_free(root);
  if (socketPath.size() >= sizeof(sockaddr_un::sun_path)) {
    error = "umockdev's test bed folder is too deep for its sockets (" + socketPath +
            "); set TMPDIR to a shorter folder";
    return nullptr;
  }
  impl->thread = std::thread([host = impl.get()] { host->run(); });
  return std::unique_ptr<KeyboardHost>(new KeyboardHost(std::move(impl)));
}

KeyboardHost::~KeyboardHost() {
  Impl& host = *m_impl;
  {
    std::lock_guard guard(host.lock);
    for (auto& [id, keyboard] : host.keyboards) {
      keyboard->unplugged = true;
      host.depart(*keyboard);
    }
    host.stopping = true;
    host.wake.notify_one();
  }
  host.thread.join();
  for (const auto& [path, node] : host.attached) {
    umockdev_testbed_detach_ioctl(host.testbed.get(), path.c_str(), nullptr);
  }
  host.testbed.reset();
  host.attached.clear();
}

int KeyboardHost::plug(const KeyboardConfig& config) {
  Impl& host = *m_impl;
  std::unique_lock guard(host.lock);
  const int id = host.nextId++;
  const Clock::time_point now = Clock::now();
  auto owned = std::make_unique<Impl::Keyboard>(id, config, now);
  Impl::Keyboard& keyboard = *owned;
  host.keyboards.emplace(id, std::move(owned));
  host.settle(keyboard, now);
  host.waitFor(guard, host.actionsQueued);
  if (keyboard.model.onBus() && !(keyboard.node && host.published.count(keyboard.node.get()))) {
    keyboard.unplugged = true;
    host.depart(keyboard);
    host.waitFor(guard, host.actionsQueued);
    host.keyboards.erase(id);
    return -1;
  }
  return id;
}

bool KeyboardHost::plugIn(int id) {
  Impl& host = *m_impl;
  std::unique_lock guard(host.lock);
  Impl::Keyboard* keyboard = host.find(id);
  const Clock::time_point now = Clock::now();
  if (keyboard == nullptr || keyboard->unplugged || !keyboard->model.plugIn(now)) return false;
  host.settle(*keyboard, now);
  host.waitFor(guard, host.actionsQueued);
  return keyboard->node && host.published.count(keyboard->node.get()) > 0;
}

void KeyboardHost::unplug(int id) {
  Impl& host = *m_impl;
  std::unique_lock guard(host.lock);
  Impl::Keyboard* keyboard = host.find(id);
  if (keyboard == nullptr || keyboard->unplugged) return;
  keyboard->unplugged = true;
  host.depart(*keyboard);
  host.waitFor(guard, host.actionsQueued);
}

nlohmann::json KeyboardHost::report(int id) const {
  std::lock_guard guard(m_impl->lock);
  const Impl::Keyboard* keyboard = m_impl->find(id);
  if (keyboard == nullptr) return nlohmann::json();
  nlohmann::json report = keyboard->model.report();
  report["requestsCancelled"] = keyboard->cancelled;
  report["requestsLeftPending"] = keyboard->unanswered - keyboard->cancelled - keyboard->endedByLeaving;
  return report;
}

bool KeyboardHost::onBus(int id) const {
  std::lock_guard guard(m_impl->lock);
  const Impl::Keyboard* keyboard = m_impl->find(id);
  return keyboard && keyboard->node && keyboard->node->present() && m_impl->published.count(keyboard->node.get());
}

std::string KeyboardHost::devnode(int id) const {
  std::lock_guard guard(m_impl->lock);
  const Impl::Keyboard* keyboard = m_impl->find(id);
  return keyboard && keyboard->node ? keyboard->node->record().devnode() : std::string();
}

std::string KeyboardHost::description(int id) const {
  std::lock_guard guard(m_impl->lock);
  const Impl::Keyboard* keyboard = m_impl->find(id);
  if (keyboard == nullptr) return {};
  const SimulatedKeyboard& model = keyboard->model;
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", model.vendorId(), model.productId());
  const std::string& serial = model.config().serial;
  return model.product() + " (" + ids + ", " + (serial.empty() ? std::string("no serial") : "serial " + serial) + ")";
}

}  // namespace simkbd
