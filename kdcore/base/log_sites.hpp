#pragma once
// Every place where the engine writes a log line: its module path, source, line, level and
// text template. The places are data, so that a line reads the same whatever file of this
// implementation writes it.
#include <cstdint>
#include <string_view>

#include "kdcore/ext/kdlog/log_level.hpp"

namespace kdcore::base {

struct LogSite {
    std::string_view module;
    std::string_view file;
    std::uint32_t line;
    kdcore::ext::kdlog::LogLevelEXT level;
    std::string_view text;  // fmt template
};

namespace log_sites {

using kdcore::ext::kdlog::LogLevelEXT;

inline constexpr std::string_view BASE_MODULE = "kdcore::base";
inline constexpr std::string_view BASE_FILE = "kdcore/src/base/mod";
inline constexpr std::string_view COMPILER_MODULE = "kdcore::compiler";
inline constexpr std::string_view COMPILER_FILE = "kdcore/src/compiler";

constexpr LogSite base(std::uint32_t line, LogLevelEXT level, std::string_view text) {
    return LogSite{BASE_MODULE, BASE_FILE, line, level, text};
}
constexpr LogSite compiler(std::uint32_t line, LogLevelEXT level, std::string_view text) {
    return LogSite{COMPILER_MODULE, COMPILER_FILE, line, level, text};
}

// Instance creation and teardown.
inline constexpr LogSite INSTANCE_TEARDOWN =
    base(73, LogLevelEXT::Trace, "Tearing down InstanceContext at {}");
inline constexpr LogSite INSTANCE_CREATED =
    base(152, LogLevelEXT::Trace, "Instance created successfully at {}");
inline constexpr LogSite INSTANCE_APPLICATION =
    base(157, LogLevelEXT::Info, "Application '{}' v{} using engine '{}' v{} (node ID: {})");
inline constexpr LogSite INSTANCE_EXTENSIONS =
    base(166, LogLevelEXT::Info, "Loaded {} extensions: {}");
inline constexpr LogSite INSTANCE_CORE_VERSION =
    base(172, LogLevelEXT::Info, "kdcore version: v{} (features: {}) -- {} {}");
inline constexpr LogSite INSTANCE_BUILT_FROM =
    base(180, LogLevelEXT::Info, "built from commit {}..{} on branch '{}'");

// InstanceContext::add_module.
inline constexpr LogSite ADD_MODULE_VERIFYING =
    base(209, LogLevelEXT::Trace, "Verifying module before adding to instance");
inline constexpr LogSite ADD_MODULE_TYPE_CHECKING =
    base(213, LogLevelEXT::Trace, "Type checking function '{}'");
inline constexpr LogSite ADD_MODULE_TYPE_CHECK_FAILED =
    base(221, LogLevelEXT::Error, "Type check failed for function '{}': {}");
inline constexpr LogSite ADD_MODULE_ADDED =
    base(252, LogLevelEXT::Info, "Module with UUID {} added to instance. Contains functions: {}");
inline constexpr LogSite ADD_MODULE_INSERTED =
    base(266, LogLevelEXT::Trace, "ModuleContext inserted into InstanceContext with key {}");

// CompiledModuleStorage::encode and ::decode.
inline constexpr LogSite STORAGE_SERIALIZING = compiler(
    117, LogLevelEXT::Trace, "Serializing compiled module storage (module has {} functions)");
inline constexpr LogSite STORAGE_SERIALIZE_HEADER_FAILED =
    compiler(139, LogLevelEXT::Error, "Failed to serialize compiled module storage header: {}");
inline constexpr LogSite STORAGE_DESERIALIZING =
    compiler(154, LogLevelEXT::Trace, "Deserializing compiled module storage ({} bytes)");
inline constexpr LogSite STORAGE_READ_HEADER_FAILED =
    compiler(174, LogLevelEXT::Error, "Failed to read compiled module storage header: {}");

// compile_sources.
inline constexpr LogSite COMPILE_SOURCE =
    compiler(200, LogLevelEXT::Trace, "Compiling source \"{}\"");
inline constexpr LogSite COMPILE_SOURCE_FAILED =
    compiler(211, LogLevelEXT::Error, "Failed to compile assembly source \"{}\": {}");
inline constexpr LogSite COMPILE_VERIFYING =
    compiler(227, LogLevelEXT::Trace, "Verifying compiled module");
inline constexpr LogSite COMPILE_VERIFY_FAILED =
    compiler(229, LogLevelEXT::Error, "Module verification failed: {}");
inline constexpr LogSite COMPILE_TYPE_CHECKING_MODULE =
    compiler(232, LogLevelEXT::Trace, "Type checking compiled module");
inline constexpr LogSite COMPILE_TYPE_CHECKING_FUNCTION =
    compiler(234, LogLevelEXT::Trace, "Type checking function '{}'");
inline constexpr LogSite COMPILE_TYPE_CHECK_FAILED =
    compiler(242, LogLevelEXT::Error, "Type check failed for function '{}': {}");
inline constexpr LogSite COMPILE_SUCCEEDED =
    compiler(262, LogLevelEXT::Info, "Compiled successful, module has {} functions: {}");
inline constexpr LogSite COMPILE_PRODUCED =
    compiler(273, LogLevelEXT::Info, "Produced {} bytes of compiled module storage");

// load_module.
inline constexpr LogSite LOAD_LOADED =
    compiler(284, LogLevelEXT::Trace, "Loaded compiled module with {} functions from {} bytes");
inline constexpr LogSite LOAD_COMPILED_FROM =
    compiler(290, LogLevelEXT::Trace, "Module originally compiled from: {}");
inline constexpr LogSite LOAD_MERGING =
    compiler(297, LogLevelEXT::Trace,
             "Merging type registry ({} types) into instance's registry ({} types)");

}  // namespace log_sites

}  // namespace kdcore::base
