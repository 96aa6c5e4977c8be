#include "kdpi_sys/unraisable_bridge.hpp"

#include <atomic>
#include <exception>

#include "kdcore/utils/unraisable.hpp"
#include "kdpi_sys/attached_thread.hpp"
#include "kdpi_sys/panic_boundary.hpp"

namespace kdpi_sys {

namespace {

std::atomic<PyObject*> unraisable_context{nullptr};

void write_unraisable(std::exception_ptr error) noexcept {
    try {
        AttachedThread attached;
        call_guarded_unraisable(unraisable_context.load(), [&] { std::rethrow_exception(error); });
    } catch (...) {
        // Not even the interpreter can take it (it is finalising): a panic has printed its text.
    }
}

}  // namespace

void install_unraisable_hook(PyObject* context) {
    unraisable_context.store(context);
    kdcore::utils::set_unraisable_hook(&write_unraisable);
}

}  // namespace kdpi_sys
