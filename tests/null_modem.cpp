// The simulated null-modem cable: one shared state guarded by a mutex, one device per open end.
#include "null_modem.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace null_modem {
namespace {

struct End {
  int index = -1;
  bool open = false;
  std::deque<uint8_t> incoming;
  bool dtr = false, rts = false;
  uint32_t errors = 0;
  SerialLineSettings settings;
};

struct Cable {
  std::mutex lock;
  End ends[2];
};

Cable& TheCable() {
  static Cable cable;
  return cable;
}

int EndOf(int index) {
  Cable& c = TheCable();
  if (c.ends[0].index == index) return 0;
  if (c.ends[1].index == index) return 1;
  return -1;
}

class CableDevice final : public SerialDevice {
 public:
  explicit CableDevice(int end) : me_(end) {}
  ~CableDevice() override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    mine().open = false;
    mine().dtr = mine().rts = false;
  }
  bool SaveTimeouts() override { return true; }
  bool RestoreTimeouts() override { return true; }
  bool SetImmediateReads() override { return true; }
  bool ReadSettings(SerialLineSettings& s) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    s = mine().settings;
    return true;
  }
  bool ApplySettings(const SerialLineSettings& s) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    mine().settings = s;
    mine().dtr = s.dtrControl != SerialControlDisable;
    mine().rts = s.rtsControl != SerialControlDisable;
    return true;
  }
  bool SetQueueSizes(uint32_t, uint32_t) override { return true; }
  bool ResetDevice() override { return true; }
  bool SetLine(SerialLine line, bool on) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    (line == SerialLine::Dtr ? mine().dtr : mine().rts) = on;
    return true;
  }
  bool SetBreak(bool on) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    if (on) other().errors |= SerialErrorBreak;
    return true;
  }
  bool ModemStatus(uint32_t& bits) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    bits = lines();
    return true;
  }
  bool LineStatus(SerialLineStatus& status) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    status.errors = mine().errors;
    mine().errors = 0;
    status.inQueue = static_cast<uint32_t>(mine().incoming.size());
    status.outQueue = 0;
    return true;
  }
  int Read(uint8_t* buffer, int max) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    int n = 0;
    for (; n < max && !mine().incoming.empty(); ++n) {
      buffer[n] = mine().incoming.front();
      mine().incoming.pop_front();
    }
    return n;
  }
  int Write(const uint8_t* bytes, int count, const std::atomic<bool>&) override {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    if (other().open) other().incoming.insert(other().incoming.end(), bytes, bytes + count);
    return count;
  }
  void WaitEvent(uint32_t mask, const std::atomic<bool>& cancel) override {
    uint32_t before = 0;
    ModemStatus(before);
    while (!cancel) {
      {
        std::lock_guard<std::mutex> hold(TheCable().lock);
        if ((mask & SerialEventRxChar) && !mine().incoming.empty()) return;
        const uint32_t changed = lines() ^ before;
        if (((mask & SerialEventDsr) && (changed & SerialModemDsr)) ||
            ((mask & SerialEventCts) && (changed & SerialModemCts)) ||
            ((mask & SerialEventRlsd) && (changed & SerialModemRlsd)))
          return;
        if ((mask & SerialEventBreak) && (mine().errors & SerialErrorBreak)) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  SerialFailure LastFailure() const override { return {}; }

 private:
  End& mine() { return TheCable().ends[me_]; }
  End& other() { return TheCable().ends[1 - me_]; }
  uint32_t lines() {
    uint32_t bits = 0;
    if (other().dtr) bits |= SerialModemDsr | SerialModemRlsd;
    if (other().rts) bits |= SerialModemCts;
    return bits;
  }
  int me_;
};

std::unique_ptr<SerialDevice> OpenEnd(int index, SerialFailure& failure) {
  std::lock_guard<std::mutex> hold(TheCable().lock);
  const int end = EndOf(index);
  if (end < 0 || TheCable().ends[end].open) {
    failure.code = end < 0 ? 2 : 5;
    failure.text = end < 0 ? "The system cannot find the file specified." : "Access is denied.";
    return nullptr;
  }
  End& e = TheCable().ends[end];
  e.open = true;
  e.incoming.clear();
  e.errors = 0;
  return std::make_unique<CableDevice>(end);
}

// What the port's end of the cable holds, or, for an index no end has, nothing set and a rate of 0.
template <typename T>
T Read(int index, T End::*field) {
  static const End absent{-1, false, {}, false, false, 0, SerialLineSettings{0}};
  std::lock_guard<std::mutex> hold(TheCable().lock);
  const int end = EndOf(index);
  return (end < 0 ? absent : TheCable().ends[end]).*field;
}

}  // namespace

void Install(int a, int b) {
  {
    std::lock_guard<std::mutex> hold(TheCable().lock);
    TheCable().ends[0] = End{};
    TheCable().ends[1] = End{};
    TheCable().ends[0].index = a;
    TheCable().ends[1].index = b;
  }
  SerialPortUseDevices(OpenEnd);
}

void Uninstall() { SerialPortUseDevices(nullptr); }

void InjectErrors(int index, uint32_t flags) {
  std::lock_guard<std::mutex> hold(TheCable().lock);
  const int end = EndOf(index);
  if (end >= 0) TheCable().ends[end].errors |= flags;
}

uint32_t Baud(int index) { return Read(index, &End::settings).baud; }
bool HardwareFlow(int index) { return Read(index, &End::settings).outCtsFlow; }
bool Dtr(int index) { return Read(index, &End::dtr); }
bool Rts(int index) { return Read(index, &End::rts); }
bool Open(int index) { return Read(index, &End::open); }

}  // namespace null_modem
