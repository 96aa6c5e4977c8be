#pragma once
// The records a module is compiled from, read from Python objects by attribute (see
// record_reading.hpp for the rules). Each reader returns the record, or std::nullopt with the
// reading error pending.
//
// The readers are templates over the engine's records, whose shape they expect:
//   ModuleCompileInfo { std::vector<ModuleSourceInfo> sources; }
//   ModuleSourceInfo  { ModuleSourceType source_type; std::optional<std::string> filename;
//                       std::string data; std::optional<std::string_view> borrowed_data; }
//   ModuleSourceType  { Assembly = 0 }
// e.g. read_module_compile_info_argument<kdcore::base::api::ModuleCompileInfo>(object).
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kdpi_sys/record_reading.hpp"

namespace kdpi_sys {

namespace compile_records_text {
inline constexpr const char* invalid_module_compile_info = "Invalid ModuleCompileInfo: ";
inline constexpr const char* invalid_source_type = "Invalid ModuleSourceType value: {}";
}  // namespace compile_records_text

// An integer read as unsigned 32 bits: 0 is Assembly, anything else a ValueError.
template <typename ModuleSourceType>
std::optional<ModuleSourceType> read_module_source_type(PyObject* value) {
    const auto number = read_integer<std::uint32_t>(value);
    if (!number) return std::nullopt;
    if (*number != 0) {
        const std::string message =
            fmt::format(fmt::runtime(compile_records_text::invalid_source_type), *number);
        PyErr_SetString(PyExc_ValueError, message.c_str());
        return std::nullopt;
    }
    return ModuleSourceType::Assembly;
}

// The str objects whose text the records read here view (`borrowed_data`): the caller keeps
// them until the compilation returns, so that no source text is copied.
using TextOwners = std::vector<BorrowedText>;

// `source_type`, `filename` (None or str), `data` (str, viewed: see TextOwners).
template <typename ModuleSourceInfo>
std::optional<ModuleSourceInfo> read_module_source_info(PyObject* object, TextOwners& owners) {
    using ModuleSourceType = decltype(ModuleSourceInfo::source_type);
    constexpr std::string_view record = "ModuleSourceInfo";
    auto source_type =
        read_field(object, record, "source_type", read_module_source_type<ModuleSourceType>);
    if (!source_type) return std::nullopt;
    auto filename = read_field(object, record, "filename", read_optional_text);
    if (!filename) return std::nullopt;
    auto data = read_field(object, record, "data", read_borrowed_text);
    if (!data) return std::nullopt;
    ModuleSourceInfo info{};
    info.source_type = *source_type;
    info.filename = std::move(*filename);
    info.borrowed_data = data->text();
    owners.push_back(std::move(*data));
    return info;
}

// `sources`: a sequence of objects read as ModuleSourceInfo, in order.
template <typename ModuleCompileInfo>
std::optional<ModuleCompileInfo> read_module_compile_info(PyObject* object, TextOwners& owners) {
    using ModuleSourceInfo = typename decltype(ModuleCompileInfo::sources)::value_type;
    auto sources = read_field(object, "ModuleCompileInfo", "sources", [&](PyObject* value) {
        return read_sequence(value, [&](PyObject* source) {
            return read_module_source_info<ModuleSourceInfo>(source, owners);
        });
    });
    if (!sources) return std::nullopt;
    ModuleCompileInfo info{};
    info.sources = std::move(*sources);
    return info;
}

// read_module_compile_info for a module function's argument: a reading error becomes TypeError
// "Invalid ModuleCompileInfo: {type}: {text}" (exceptions that are not an `Exception` pass).
template <typename ModuleCompileInfo>
std::optional<ModuleCompileInfo> read_module_compile_info_argument(PyObject* object,
                                                                   TextOwners& owners) {
    auto info = read_module_compile_info<ModuleCompileInfo>(object, owners);
    if (!info) raise_invalid_record(compile_records_text::invalid_module_compile_info);
    return info;
}

}  // namespace kdpi_sys
