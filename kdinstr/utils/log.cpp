#include "kdinstr/utils/log.hpp"

#include <atomic>

namespace kdinstr::utils::log {

namespace {
std::atomic<Receiver> installed{nullptr};
}  // namespace

Receiver set_receiver(Receiver r) { return installed.exchange(r, std::memory_order_acq_rel); }

Receiver receiver() { return installed.load(std::memory_order_acquire); }

}  // namespace kdinstr::utils::log
