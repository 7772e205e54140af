#include "platform/device_gate_table.h"

namespace ds {

std::shared_ptr<std::recursive_mutex> DeviceGateTable::GateFor(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<std::recursive_mutex>& gate = gates_[key];
  if (!gate)
    gate = std::make_shared<std::recursive_mutex>();
  return gate;
}

}  // namespace ds
