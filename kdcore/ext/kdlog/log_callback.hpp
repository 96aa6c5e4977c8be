#pragma once
// The logger's receiver: an owned callable taking one message by value. The binding makes one
// from a Python callable; whatever it throws propagates out of the engine operation that wrote
// the message.
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "kdcore/ext/kdlog/log_message.hpp"

namespace kdcore::ext::kdlog {

class LogCallbackEXT {
  public:
    using Function = std::move_only_function<void(LogMessageEXT) const>;

    explicit LogCallbackEXT(Function function)
        : function_(std::make_unique<Function>(std::move(function))) {}

    LogCallbackEXT(LogCallbackEXT&&) noexcept = default;
    LogCallbackEXT& operator=(LogCallbackEXT&&) noexcept = default;

    void operator()(LogMessageEXT message) const { (*function_)(std::move(message)); }

    // The address of the held callable; stays the same when the callback is moved.
    const void* address() const { return function_.get(); }

    // LogCallbackEXT { 0: "0x7f3a5c0012a0" }
    std::string debug() const;

  private:
    std::unique_ptr<Function> function_;
};

}  // namespace kdcore::ext::kdlog
