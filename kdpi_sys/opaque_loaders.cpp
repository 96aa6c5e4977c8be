#include "kdpi_sys/opaque_loaders.hpp"

#include <fmt/format.h>

#include <mutex>
#include <string>

#include "kdcore/ext/kdlog/impl/log_plugin.hpp"
#include "kdinstr/utils/debug_text.hpp"
#include "kdpi_sys/log_create_info_reader.hpp"
#include "kdpi_sys/python_error.hpp"
#include "kdpi_sys/record_reading.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* no_loader_text = "No loader registered for type '{}'. Possible types are: {}";

constinit PyOpaqueObjectLoadersRegistryList registry;

}  // namespace

const PyOpaqueObjectLoadersRegistryList& opaque_object_loaders() { return registry; }

void register_opaque_object_loader(const PyOpaqueObjectLoadersRegistry& entry) {
    registry.push(entry);
}

void register_builtin_opaque_object_loaders() {
    static std::once_flag once;
    std::call_once(once, [] {
        register_opaque_object_loader(
            {.type_name = log_create_info_type_name, .loader = &load_log_create_info});
    });
}

kdcore::utils::opaque::OwnedOpaqueObject load_opaque_object(PyObject* object) {
    const auto type_name = fully_qualified_type_name(Py_TYPE(object));
    if (!type_name) return nullptr;
    const auto* entry = registry.find_if(
        [&](const PyOpaqueObjectLoadersRegistry& e) { return e.type_name == *type_name; });
    if (entry != nullptr) return entry->loader(object);
    std::vector<std::string_view> names;
    for (const auto& e : registry) names.push_back(e.type_name);
    const std::string message = fmt::format(fmt::runtime(no_loader_text), *type_name,
                                            kdinstr::utils::debug_text_list(names));
    // The process's own standard output, as one line, not the interpreter's sys.stdout.
    kdcore::ext::kdlog::impl::write_stdout(message + "\n");
    set_error_text(PyExc_TypeError, message);
    return nullptr;
}

}  // namespace kdpi_sys
