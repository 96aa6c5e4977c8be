#include "kdinstr/utils/panic.hpp"

#include <cstdio>

namespace kdinstr::utils {

void panic(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    throw Panic(message);
}

}  // namespace kdinstr::utils
