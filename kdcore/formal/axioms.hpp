#pragma once
// The one derivation strategy of this system; it derives nothing.
#include <expected>
#include <memory>
#include <string_view>
#include <utility>

#include "kdcore/formal/derivation_strategy.hpp"
#include "kdcore/utils/kd_error.hpp"

namespace kdcore::base {
class InstanceContext;
}

namespace kdcore::formal::axioms {

class AxiomStrategy final : public DerivationStrategy<AxiomStrategy> {
  public:
    static constexpr std::string_view NAME = "AxiomStrategy";

    explicit AxiomStrategy(std::weak_ptr<kdcore::base::InstanceContext> instance)
        : instance_(std::move(instance)) {}

    void derive() const override {}
    void instance() const override {}

  private:
    std::weak_ptr<kdcore::base::InstanceContext> instance_;
};

// The registry constructor: a shared AxiomStrategy holding `instance`; never fails.
std::expected<std::shared_ptr<DynDerivationStrategy>, kdcore::utils::KdError>
construct_axiom_strategy(std::weak_ptr<kdcore::base::InstanceContext> instance);

}  // namespace kdcore::formal::axioms
