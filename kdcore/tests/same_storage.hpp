#pragma once
// Whether two compiled module storages hold the same file names, functions, external functions
// and types, for the tests that write a storage and read it back.
#include <gtest/gtest.h>

#include "kdcore/compiler/compiled_module_storage.hpp"

namespace kdtest {

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
