#pragma once
// Derivation strategies: registered at load time, never consulted or built in this system.
#include "kdcore/utils/exact_cast.hpp"
#include <string_view>
#include <typeinfo>

namespace kdcore::formal {

class DynDerivationStrategyBase {
  public:
    virtual ~DynDerivationStrategyBase() = default;
    virtual std::string_view name() const = 0;
};

// How a strategy is held (shared).
class DynDerivationStrategy : public DynDerivationStrategyBase,
                              public kdcore::utils::ExactCast<DynDerivationStrategy> {
  public:

    virtual void derive() const = 0;
    virtual void instance() const = 0;
};

// Base of a strategy type `Self` with `static constexpr std::string_view NAME`: its name in one
// place for every strategy type.
template <typename Self>
class DerivationStrategy : public DynDerivationStrategy {
  public:
    std::string_view name() const final { return Self::NAME; }
};

}  // namespace kdcore::formal
