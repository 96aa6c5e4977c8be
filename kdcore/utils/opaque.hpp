#pragma once
// Type-erased extension configuration objects. The binding makes them from Python objects; a
// plugin finds "its" objects by their exact concrete type (a subclass is another type) and takes
// them back as that type.
#include "kdcore/utils/exact_cast.hpp"
#include <cstddef>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace kdcore::utils::opaque {

class OpaqueObject : public ExactCast<OpaqueObject> {
  public:
    virtual ~OpaqueObject() = default;

    // The object's debug text form.
    virtual std::string debug() const = 0;

};

using OwnedOpaqueObject = std::unique_ptr<OpaqueObject>;

// Converts an owned object back to its concrete type; null (and `object` untouched) when the
// concrete type is not exactly T.
template <typename T>
std::unique_ptr<T> into(OwnedOpaqueObject& object) {
    if (!object || !object->is<T>()) return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(object.release()));
}

// Owned objects in the caller's order.
struct OpaqueList {
    std::vector<OwnedOpaqueObject> objects;

    // Removes the first object whose concrete type is exactly T (the rest keep their order) and
    // returns it as T; null when there is none.
    template <typename T>
    std::unique_ptr<T> take_first() {
        for (auto it = objects.begin(); it != objects.end(); ++it) {
            if (*it && (*it)->is<T>()) {
                auto taken = into<T>(*it);
                objects.erase(it);
                return taken;
            }
        }
        return nullptr;
    }

    std::size_t size() const { return objects.size(); }
    bool empty() const { return objects.empty(); }
    void push_back(OwnedOpaqueObject object) { objects.push_back(std::move(object)); }
};

}  // namespace kdcore::utils::opaque
