#pragma once
// The logger's receiver: an owned callable taking one message by value. The binding makes one
// from a Python callable; whatever it throws propagates out of the engine operation that wrote
// the message.
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "kdcore/ext/kdlog/log_message.hpp"
#include "kdcore/utils/foreign_references.hpp"

namespace kdcore::ext::kdlog {

class LogCallbackEXT {
  public:
    using Function = std::move_only_function<void(LogMessageEXT) const>;

    // `foreign`, when not null, is the host object that `function` keeps alive (see
    // foreign_references.hpp).
    explicit LogCallbackEXT(Function function, void* foreign = nullptr)
        : function_(std::make_unique<Function>(std::move(function))), foreign_(foreign) {}

    LogCallbackEXT(LogCallbackEXT&&) noexcept = default;
    LogCallbackEXT& operator=(LogCallbackEXT&&) noexcept = default;

    void operator()(LogMessageEXT message) const { (*function_)(std::move(message)); }

    // The address of the held callable; stays the same when the callback is moved.
    const void* address() const { return function_.get(); }

    // LogCallbackEXT { 0: "0x7f3a5c0012a0" }
    std::string debug() const;

    // Shows the host object the callable keeps alive, if any, to `visit`.
    int visit_foreign(kdcore::utils::ForeignVisitFn visit, void* arg) const {
        return foreign_ != nullptr ? visit(foreign_, arg) : 0;
    }

  private:
    std::unique_ptr<Function> function_;
    void* foreign_ = nullptr;
};

}  // namespace kdcore::ext::kdlog
