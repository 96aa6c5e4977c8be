#include "kdcore/formal/axioms.hpp"

namespace kdcore::formal::axioms {

std::expected<std::shared_ptr<DynDerivationStrategy>, kdcore::utils::KdError>
construct_axiom_strategy(std::weak_ptr<kdcore::base::InstanceContext> instance) {
    return std::make_shared<AxiomStrategy>(std::move(instance));
}

}  // namespace kdcore::formal::axioms
