#pragma once
// The plugin interfaces. An instance builds its plugins from the registry, gives each a weak
// reference to itself, initialises them in ascending UUID order and tears them down in
// descending order.
#include <expected>
#include <memory>
#include <string_view>
#include <typeinfo>

#include "kdcore/utils/exact_cast.hpp"
#include "kdcore/utils/foreign_references.hpp"
#include "kdcore/utils/kd_error.hpp"
#include "kdcore/utils/opaque.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::ext {

// The lifecycle of a plugin.
class PluginEXT {
  public:
    virtual ~PluginEXT() = default;

    // Remembers the instance; called once, before the instance is usable.
    virtual void attach_to(std::weak_ptr<kdcore::base::InstanceContext> instance) = 0;
    // Starts working; the weak reference can be upgraded by now.
    virtual std::expected<void, kdcore::utils::KdError> initialize() const = 0;
    // Stops working; the plugin has already been taken out of its instance's plugin map.
    virtual void teardown() = 0;

    // Shows every host object the plugin keeps alive to `visit` (see foreign_references.hpp);
    // returns the first nonzero result. Must neither block nor call into the host.
    virtual int visit_foreign(kdcore::utils::ForeignVisitFn, void*) const { return 0; }
};

// How an instance holds a plugin: the lifecycle plus the plugin type's constants.
class DynPluginEXT : public PluginEXT, public kdcore::utils::ExactCast<DynPluginEXT> {
  public:
    virtual kdinstr::utils::Uuid uuid() const = 0;
    virtual std::string_view name() const = 0;
    virtual std::string_view description() const = 0;
};

using OwnedPlugin = std::unique_ptr<DynPluginEXT>;

// Base of a buildable plugin type `Self`, which provides
//   static constexpr kdinstr::utils::Uuid UUID; static constexpr std::string_view NAME,
//   DESCRIPTION; static Self create(kdcore::utils::opaque::OpaqueList&);
// The DynPluginEXT constants come from those, in one place for every plugin type.
template <typename Self>
class StaticPluginEXT : public DynPluginEXT {
  public:
    kdinstr::utils::Uuid uuid() const final { return Self::UUID; }
    std::string_view name() const final { return Self::NAME; }
    std::string_view description() const final { return Self::DESCRIPTION; }
};

}  // namespace kdcore::ext
