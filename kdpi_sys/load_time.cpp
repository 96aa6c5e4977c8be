// The load-time registrations of the whole module, made before its init function runs and in
// their fixed order: derivation strategies, opaque-object loaders, plugins. One static
// constructor makes them all, since the order of constructors across files is unspecified.
#include "kdcore/load_time.hpp"

#include "kdpi_sys/opaque_loaders.hpp"

namespace kdpi_sys {

namespace {

[[gnu::constructor]] void register_load_time_entries() {
    kdcore::register_load_time_entries(&register_builtin_opaque_object_loaders);
}

}  // namespace

}  // namespace kdpi_sys
