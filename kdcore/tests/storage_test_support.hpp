#pragma once
// What the storage tests share: an instance whose log lines they read, and whether two compiled
// module storages hold the same file names, functions, external functions and types.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/tests/test_support.hpp"

namespace kdtest {

// An instance whose log lines from `level` up land in `captured`, with the creation lines
// already dropped.
struct LoggedInstance {
    std::shared_ptr<Captured> captured = std::make_shared<Captured>();
    std::shared_ptr<InstanceContext> instance;

    explicit LoggedInstance(LogLevelEXT level = LogLevelEXT::Trace) {
        auto info = make_info({LOGGER});
        info.ext.push_back(capture_to(captured, level));
        auto created = kdcore::base::api::create_instance(std::move(info));
        if (!created) {
            ADD_FAILURE() << created.error().message();
            return;
        }
        instance = *created;
        clear();
    }

    void clear() {
        std::lock_guard lock(captured->mutex);
        captured->messages.clear();
    }

    std::vector<LogMessageEXT> take() {
        std::lock_guard lock(captured->mutex);
        return std::exchange(captured->messages, {});
    }
};

inline void expect_same_content(const kdcore::compiler::CompiledModuleStorage& got,
                                const kdcore::compiler::CompiledModuleStorage& want) {
    EXPECT_EQ(got.source_names, want.source_names);
    ASSERT_EQ(got.module.functions.size(), want.module.functions.size());
    for (const auto& [key, function] : want.module.functions) {
        auto found = got.module.functions.find(key);
        ASSERT_NE(found, got.module.functions.end());
        EXPECT_TRUE(*found->second == *function);
    }
    EXPECT_EQ(got.module.external_functions, want.module.external_functions);
    EXPECT_EQ(got.type_registry.read().types(), want.type_registry.read().types());
}

}  // namespace kdtest
