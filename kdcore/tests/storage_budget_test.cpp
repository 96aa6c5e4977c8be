// The decode budget of compiled module storage: a body that declares far more than it holds is
// refused with the budget's text once it has cost what the storage's size allows, whichever
// list or text it inflates; a false count alone costs only what arrives; and a storage loads
// with exactly its cost as its budget.
#include <gtest/gtest.h>

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/tests/inflated_storages.hpp"
#include "kdcore/tests/sample_storages.hpp"
#include "kdcore/tests/test_support.hpp"

namespace {

using namespace kdtest;
using namespace kdtest::inflated;
using kdcore::compiler::CompiledModuleStorage;

const std::string kRefused =
    std::string(kReadFailed) + "compiled module body decodes to more than its storage size allows";

// The text of the error a decode returned, "" on success.
std::string error_text(const std::expected<CompiledModuleStorage, KdError>& decoded) {
    if (decoded) return "";
    const auto* unknown = decoded.error().get_if<KdError::Unknown>();
    return unknown ? unknown->text : "not Unknown: " + decoded.error().message();
}

std::string decode_error(const InstanceContext& instance, const Bytes& storage) {
    return error_text(CompiledModuleStorage::decode(instance, storage));
}

struct Instance {
    std::shared_ptr<InstanceContext> instance;
    Instance() {
        auto created = kdcore::base::api::create_instance(make_info({}));
        if (created) instance = *created;
    }
};

// Each shape of the hostile inputs that once cost gigabytes, a few kilobytes of storage here:
// 24 MiB of body where the budget of its size is about 17 MiB.
TEST(StorageBudget, BodiesThatDeclareFarMoreThanTheyHoldAreRefused) {
    Instance i;
    ASSERT_TRUE(i.instance);
    const Bytes zeros(16, 0);
    struct Case {
        std::string name;
        Bytes prefix;
        Bytes pattern;
    };
    const std::vector<Case> cases = {
        // !assert %0, six bytes each.
        {"block of 2^32-1 instructions over !assert %0", one_block(0xFFFFFFFF), cat({{31}, kReg0})},
        // Each 32 zeros are an iadd.
        {"block of 2^32-1 instructions over zeros", one_block(0xFFFFFFFF), zeros},
        // Each 5 zeros are the operand %0.
        {"invoke of 2^32-1 arguments", cat({one_block(1), {25}, kReg0, kAllOnes}), zeros},
        {"phi of 2^32-1 pairs", cat({one_block(1), {26}, u32(1), kTyperef, kAllOnes}), zeros},
        {"gep of 2^32-1 indices",
         cat({one_block(1), {24}, u32(1), kTyperef, kTyperef, kReg0, kAllOnes}), zeros},
        {"extractvalue of 2^32-1 indices",
         cat({one_block(1), {30}, u32(1), kTyperef, kReg0, kAllOnes}), zeros},
        // An !assert of an integer constant of 2^32-1 bytes.
        {"constant of 2^32-1 bytes", cat({one_block(1), {31, 1, 0}, u32(64), kAllOnes}), zeros},
        {"block map of 2^32-1 blocks",
         cat({u32(0), u32(1), kTyperef, kTyperef, kByte0, u32(0), kByte0, kAllOnes}), zeros},
        {"function of 2^32-1 parameters",
         cat({u32(0), u32(1), kTyperef, kTyperef, kByte0, kAllOnes}), zeros},
        // Every function has the same key: the module holds one, but each was built.
        {"module of 2^32-1 functions", cat({u32(0), kAllOnes}), zeros},
        {"2^32-1 file names", kAllOnes, zeros},
        {"one file name of 1 GiB of NUL bytes", cat({u32(1), u32(1u << 30)}), zeros},
        // Each entry is the type i0 under the same reference.
        {"registry of 2^64-1 entries", cat({u32(0), u32(0), u32(0), kAllOnes, kAllOnes}), zeros},
        {"struct type of 2^32-1 elements",
         cat({u32(0), u32(0), u32(0), u32(1), u32(0), kTyperef, {2}, kAllOnes}), zeros},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto storage = storage_of(c.prefix, c.pattern, 24);
        ASSERT_TRUE(storage.has_value());
        ASSERT_LT(storage->size(), 4096u);
        EXPECT_EQ(decode_error(*i.instance, *storage), kRefused);
    }
}

// Charges follow what arrives: a count that the body does not back ends as an early end of
// input, however large it is.
TEST(StorageBudget, AFalseCountAloneIsNoRefusal) {
    Instance i;
    ASSERT_TRUE(i.instance);
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"block of 2^32-1 instructions holding three",
         cat({one_block(0xFFFFFFFF), {31}, kReg0, {31}, kReg0, {31}, kReg0})},
        {"invoke of 2^32-1 arguments holding none", cat({one_block(1), {25}, kReg0, kAllOnes})},
        {"file name of 1 GiB holding a byte", cat({u32(1), u32(1u << 30), {'a'}})},
        {"constant of 2^32-1 bytes holding none",
         cat({one_block(1), {31, 1, 0}, u32(64), kAllOnes})},
        {"module of 2^32-1 functions holding none", cat({u32(0), kAllOnes})},
    };
    for (const auto& [name, body] : cases) {
        SCOPED_TRACE(name);
        const auto storage = storage_of(body, {}, 0);
        ASSERT_TRUE(storage.has_value());
        EXPECT_EQ(decode_error(*i.instance, *storage),
                  std::string(kReadFailed) + "Unexpected length of input");
    }
}

// The least budget that decodes `storage`, found by halving the range: decoding within a budget
// succeeds from some size on and fails below it.
std::size_t least_budget(const InstanceContext& instance, const Bytes& storage) {
    std::size_t low = 0;
    std::size_t high = CompiledModuleStorage::decode_budget(storage.size());
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        (CompiledModuleStorage::decode(instance, storage, middle) ? high : low) = middle;
    }
    return high;
}

// A storage whose cost is just inside its budget loads with all its content; one byte less
// refuses it with the budget's text, logged at Error level like every failed read.
TEST(StorageBudget, AStorageJustInsideItsBudgetLoads) {
    auto captured = std::make_shared<Captured>();
    auto info = make_info({LOGGER});
    info.ext.push_back(capture_to(captured));
    auto created = kdcore::base::api::create_instance(std::move(info));
    ASSERT_TRUE(created.has_value());
    const auto& instance = **created;
    for (const auto& sample : {samples::two_functions(), samples::every_family()}) {
        auto bytes = CompiledModuleStorage::encode(sample, instance);
        ASSERT_TRUE(bytes.has_value());
        const std::size_t cost = least_budget(instance, *bytes);
        ASSERT_LE(cost, CompiledModuleStorage::decode_budget(bytes->size()));
        // More than the body's bytes: the records are charged too.
        ASSERT_GT(cost, 10 * bytes->size());

        auto within = CompiledModuleStorage::decode(instance, *bytes, cost);
        ASSERT_TRUE(within.has_value()) << within.error().message();
        EXPECT_EQ(within->source_names, sample.source_names);
        ASSERT_EQ(within->module.functions.size(), sample.module.functions.size());
        for (const auto& [key, function] : sample.module.functions)
            EXPECT_TRUE(*within->module.functions.at(key) == *function);
        EXPECT_EQ(within->module.external_functions, sample.module.external_functions);
        EXPECT_EQ(within->type_registry.read().types(), sample.type_registry.read().types());

        {
            std::lock_guard lock(captured->mutex);
            captured->messages.clear();
        }
        auto short_by_one = CompiledModuleStorage::decode(instance, *bytes, cost - 1);
        EXPECT_EQ(error_text(short_by_one), kRefused);
        EXPECT_EQ(captured->texts(),
                  (std::vector<std::string>{"Deserializing compiled module storage (" +
                                                std::to_string(bytes->size()) + " bytes)",
                                            kRefused}));
    }
}

}  // namespace
