#pragma once
// Objects of the host program (for the binding: Python objects) that engine values keep alive.
// The engine never looks at them; it only lists them to the host's cycle collector, so that a
// cycle running through an instance (a logger callable that refers back to its instance) can be
// found and broken.
namespace kdcore::utils {

// Called once per held object with the walk's `arg`; a nonzero result stops the walk and is
// passed back by whoever walks.
using ForeignVisitFn = int (*)(void* object, void* arg);

}  // namespace kdcore::utils
