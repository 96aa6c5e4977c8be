// IR assembly text, any bytes (also invalid UTF-8), through the parser into a fresh module and
// registry. What parses is then type-checked as the compiler does, written as a storage body
// and read back, written as the compiler writes its storage, which must read, and taken through
// the loader's steps: the whole road from text to a loaded module.
//
// Texts separated by the record separator byte (0x1E) are read one after another through one
// extender, as a compilation reads its sources, up to the first that fails. The extender
// verifies only what a text adds once the module is known to pass, so after every text that
// adds functions its result must be that of verifying the whole module.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "fuzz/load_steps.hpp"
#include "kdinstr/modules/parser/driver.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    kdfuzz::Body body;
    kdinstr::modules::parser::ModuleExtender extender(body.module, body.type_registry);
    for (bool last = false; !last;) {
        const std::size_t end = rest.find('\x1e');
        last = end == std::string_view::npos;
        const std::string_view text = rest.substr(0, end);
        if (!last) rest.remove_prefix(end + 1);
        const std::size_t before = body.module.functions.size();
        auto parsed = extender.extend(text);
        if (body.module.functions.size() != before && parsed != body.module.verify())
            kdfuzz::finding("a text's result differs from verifying the whole module it extended");
        if (!parsed) {
            (void)parsed.error().message();
            return 0;
        }
    }
    for (const auto& [uuid, function] : body.module.functions) {
        if (auto checked = function->type_check(body.type_registry); !checked) {
            (void)checked.error().message();
            return 0;
        }
    }
    kdfuzz::check_round_trip(body);
    kdfuzz::check_written_storage_reads(body);
    kdfuzz::run_load_steps(std::move(body.module), body.type_registry);
    return 0;
}
