// IR assembly text, any bytes (also invalid UTF-8), through the parser into a fresh module and
// registry. What parses is then type-checked as the compiler does, written as a storage body
// and read back, and taken through the loader's steps: the whole road from text to a loaded
// module, without compression.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "fuzz/load_steps.hpp"
#include "kdinstr/modules/parser/driver.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kdfuzz::Body body;
    auto parsed =
        kdinstr::modules::parser::extend_module_from_string(body.module, body.type_registry, text);
    if (!parsed) {
        (void)parsed.error().message();
        return 0;
    }
    for (const auto& [uuid, function] : body.module.functions) {
        if (auto checked = function->type_check(body.type_registry); !checked) {
            (void)checked.error().message();
            return 0;
        }
    }
    kdfuzz::check_round_trip(body);
    kdfuzz::run_load_steps(std::move(body.module), body.type_registry);
    return 0;
}
