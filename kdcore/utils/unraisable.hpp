#pragma once
// Where a failure goes that cannot travel to any caller: an exception thrown while an instance
// is torn down (its destructor must not throw), for instance a second throwing log callback
// while creation is already failing. The binding installs a hook that hands it to the
// interpreter; the default prints it to standard error.
#include <exception>

namespace kdcore::utils {

using UnraisableHook = void (*)(std::exception_ptr error) noexcept;

// Installs `hook` (null restores the default); returns the previous one.
UnraisableHook set_unraisable_hook(UnraisableHook hook) noexcept;

// Hands `error` to the installed hook. Never throws.
void report_unraisable(std::exception_ptr error) noexcept;

}  // namespace kdcore::utils
