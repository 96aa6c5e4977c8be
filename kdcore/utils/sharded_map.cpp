#include "kdcore/utils/sharded_map.hpp"

#include <sched.h>
#include <unistd.h>

namespace kdcore::utils {

std::size_t default_shard_count() {
    // The processors this process may run on, not all the machine has.
    long processors = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) processors = CPU_COUNT(&set);
    if (processors < 1) processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (processors < 1) processors = 1;
    return std::bit_ceil(static_cast<std::size_t>(processors) * 4);
}

}  // namespace kdcore::utils
