// The waits that keep windows painted: slices of a pause, or a helper thread that the caller pumps beside.
#include "appbase/painted_wait.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <thread>

namespace {

PaintPump installedPump = nullptr;

}  // namespace

void SetPaintPump(PaintPump pump) { installedPump = pump; }

void PauseKeepingWindowsPainted(std::chrono::milliseconds pause) {
  if (installedPump == nullptr) {
    std::this_thread::sleep_for(pause);
    return;
  }
  const auto end = std::chrono::steady_clock::now() + pause;
  for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
    installedPump();
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(PaintPumpInterval, end - now));
  }
}

int RunKeepingWindowsPainted(const std::function<int()>& work) {
  if (installedPump == nullptr) return work();
  std::packaged_task<int()> task(work);
  std::future<int> result = task.get_future();
  std::thread helper;
  try {
    helper = std::thread(std::move(task));
  } catch (const std::system_error&) {
    return work();  // no thread to be had: the plain wait, with the windows unpainted meanwhile
  }
  while (result.wait_for(PaintPumpInterval) != std::future_status::ready) installedPump();
  helper.join();
  return result.get();
}
