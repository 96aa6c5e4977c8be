#pragma once
// One function of a loaded module, with its analysis; read-only once its module is published.
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "kdcore/utils/compact_shared_mutex.hpp"
#include "kdinstr/analysis/function_analysis.hpp"
#include "kdinstr/modules/function.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdcore::base::module {

// A record that later work attaches to a loaded function; nothing attaches any in this system.
struct AttachedFunction {};

// A shared, lock-protected attached record.
struct LockedAttachedFunction {
    mutable std::shared_mutex mutex;
    AttachedFunction value;
};

// The attached records of one function behind their own reader-writer lock (a compact one:
// every loaded function has a list). Moving is only meant for a context no other thread can
// see yet.
struct AttachedList {
    mutable kdcore::utils::CompactSharedMutex mutex;
    std::vector<std::shared_ptr<LockedAttachedFunction>> functions;

    AttachedList() = default;
    AttachedList(AttachedList&& other) noexcept : functions(std::move(other.functions)) {}
    AttachedList& operator=(AttachedList&& other) noexcept {
        functions = std::move(other.functions);
        return *this;
    }
};

struct FunctionContext {
    kdinstr::analysis::FunctionAnalysis analysis;
    std::shared_ptr<const kdinstr::modules::Function> function;  // the one the module holds
    kdinstr::utils::Uuid uuid;                                   // the function's own uuid
    AttachedList attached;                                       // always empty
};

}  // namespace kdcore::base::module
