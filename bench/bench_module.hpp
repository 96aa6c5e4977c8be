#pragma once
// Functions and modules of a given size for the benchmarks, typed against a real registry so the
// checker accepts them.
#include <cstdint>
#include <vector>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdbench {

using namespace kdinstr::tests;

inline kdinstr::types::Typeref i64_in(kdinstr::types::TypeRegistry& registry) {
    return registry.search_or_insert(kdinstr::types::primary::IType{64});
}

// `blocks` blocks of `per_block` additions, each using the previous result and a constant.
inline kdinstr::modules::Function add_chain(kdinstr::types::Typeref type, std::uint32_t blocks,
                                            std::uint32_t per_block, std::uint32_t id = 1) {
    FunctionBuilder b;
    kdinstr::utils::Uuid u;
    u.bytes[12] = static_cast<std::uint8_t>(id >> 24);
    u.bytes[13] = static_cast<std::uint8_t>(id >> 16);
    u.bytes[14] = static_cast<std::uint8_t>(id >> 8);
    u.bytes[15] = static_cast<std::uint8_t>(id);
    b.uuid(u).name("chain").param(0, type).returns(type);
    std::uint32_t n = 0;
    for (std::uint32_t l = 0; l < blocks; ++l) {
        std::vector<kdinstr::modules::KdInstr> body;
        body.reserve(per_block);
        for (std::uint32_t i = 0; i < per_block; ++i, ++n)
            body.push_back(iadd(n + 1, type, reg(n), imm_int(static_cast<long>(i))));
        b.block(l, std::move(body), l + 1 < blocks ? jump(l + 1) : ret(reg(n)));
    }
    return b.build();
}

// `functions` functions of 4 blocks x `per_block` instructions.
inline kdinstr::modules::Module chain_module(kdinstr::types::Typeref type, std::uint32_t functions,
                                             std::uint32_t per_block) {
    std::vector<kdinstr::modules::Function> fs;
    fs.reserve(functions);
    for (std::uint32_t i = 0; i < functions; ++i) fs.push_back(add_chain(type, 4, per_block, i + 1));
    return module_of(std::move(fs));
}

}  // namespace kdbench
