#include "kdcore/utils/unraisable.hpp"

#include <atomic>
#include <cstdio>

#include "kdinstr/utils/panic.hpp"

namespace kdcore::utils {

namespace {

void print_unraisable(std::exception_ptr error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const kdinstr::utils::Panic&) {
        // A panic has printed its text already.
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown exception\n");
    }
}

std::atomic<UnraisableHook> installed{&print_unraisable};

}  // namespace

UnraisableHook set_unraisable_hook(UnraisableHook hook) noexcept {
    return installed.exchange(hook ? hook : &print_unraisable);
}

void report_unraisable(std::exception_ptr error) noexcept {
    if (!error) return;
    installed.load()(error);
}

}  // namespace kdcore::utils
