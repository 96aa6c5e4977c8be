#pragma once
// Downcasting of a type-erased object back to its concrete type: only an exact type match
// counts, a subclass of the asked-for type does not.
#include <typeinfo>

namespace kdcore::utils {

// Mixed into the polymorphic base `Base` (which derives from ExactCast<Base>).
template <typename Base>
class ExactCast {
  public:
    template <typename T>
    bool is() const {
        const Base& self = static_cast<const Base&>(*this);
        return typeid(self) == typeid(T);
    }
    template <typename T>
    const T* as() const {
        return is<T>() ? &static_cast<const T&>(static_cast<const Base&>(*this)) : nullptr;
    }
    template <typename T>
    T* as() {
        return is<T>() ? &static_cast<T&>(static_cast<Base&>(*this)) : nullptr;
    }
};

}  // namespace kdcore::utils
