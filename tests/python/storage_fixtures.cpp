// Writes the loader's sample storages (kdcore/tests/sample_storages.hpp) as files into the
// directory named by its one argument, one "<name>.kdmod" per sample, for the Python tests:
// they need storages that no source text compiles to (ones that fail a step of loading).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kdcore/base/api.hpp"
#include "kdcore/base/instance_context.hpp"
#include "kdcore/load_time.hpp"
#include "kdcore/tests/sample_storages.hpp"

namespace {

using kdcore::compiler::CompiledModuleStorage;

const std::vector<std::pair<const char*, std::function<CompiledModuleStorage()>>> samples = {
    {"two_functions", kdtest::samples::two_functions},
    {"undef_operands", kdtest::samples::undef_operands},
    {"unmergeable_registry", kdtest::samples::unmergeable_registry},
    {"cyclic_registry", kdtest::samples::cyclic_registry},
    {"failing_verification", kdtest::samples::failing_verification},
    {"failing_type_check", kdtest::samples::failing_type_check},
    {"duplicate_function_uuid", kdtest::samples::duplicate_function_uuid},
    {"every_family", kdtest::samples::every_family},
    {"doubling_registry", [] { return kdtest::samples::doubling_registry(); }},
    {"doubling_named_often", [] { return kdtest::samples::doubling_named_often(); }},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    kdcore::register_load_time_entries();
    kdcore::base::api::InstanceCreateInfo info;
    auto instance = kdcore::base::api::create_instance(std::move(info));
    if (!instance) {
        std::fprintf(stderr, "%s\n", instance.error().message().c_str());
        return 1;
    }
    const std::filesystem::path directory = argv[1];
    for (const auto& [name, make] : samples) {
        // As compressed, whether or not the reader takes it: some samples are refused on purpose.
        auto bytes = CompiledModuleStorage::compress(make(), **instance);
        if (!bytes) {
            std::fprintf(stderr, "%s: %s\n", name, bytes.error().to_string().c_str());
            return 1;
        }
        std::ofstream out(directory / (std::string(name) + ".kdmod"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
        if (!out) {
            std::fprintf(stderr, "%s: cannot write\n", name);
            return 1;
        }
    }
    return 0;
}
