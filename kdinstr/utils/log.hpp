#pragma once
// The IR library's logging facade. The library reports what it does through `log::write`; who
// receives the records is the embedding program's choice. This module installs no receiver, so
// by default a record is dropped before its message is even formatted.
#include <fmt/format.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace kdinstr::utils::log {

enum class Level : std::uint8_t { Error, Warn, Info, Debug, Trace };

struct Record {
    Level level;
    // The module path of the code that wrote it, e.g. "kdinstr::modules::parser".
    std::string_view target;
    std::string message;
};

// Called on the writing thread, once per record.
using Receiver = void (*)(const Record&);

// Installs `receiver` (nullptr: none); returns the one it replaces.
Receiver set_receiver(Receiver receiver);
Receiver receiver();
// Whether a record would reach anyone: callers test it before building costly arguments.
inline bool enabled() { return receiver() != nullptr; }

template <typename... Args>
void write(Level level, std::string_view target, fmt::format_string<Args...> message,
           Args&&... args) {
    const Receiver r = receiver();
    if (r == nullptr) return;
    r(Record{level, target, fmt::format(message, std::forward<Args>(args)...)});
}

}  // namespace kdinstr::utils::log
