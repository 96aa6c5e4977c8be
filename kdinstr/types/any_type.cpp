#include "kdinstr/types/any_type.hpp"

#include <fmt/format.h>

#include <map>
#include <span>

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::types {

namespace {

template <class... Fs>
struct Overload : Fs... {
    using Fs::operator()...;
};

// SipHash-1-3 over a byte stream, both keys zero: stable across runs and builds.
class SipHasher13 {
  public:
    void write(std::span<const std::uint8_t> bytes) {
        for (auto b : bytes) {
            tail_ |= static_cast<std::uint64_t>(b) << (8 * ntail_);
            ++ntail_;
            ++length_;
            if (ntail_ == 8) {
                compress(tail_);
                tail_ = 0;
                ntail_ = 0;
            }
        }
    }
    void write_u8(std::uint8_t v) { write(std::span<const std::uint8_t>(&v, 1)); }
    void write_u16(std::uint16_t v) { write_le(v, 2); }
    void write_u32(std::uint32_t v) { write_le(v, 4); }
    void write_u64(std::uint64_t v) { write_le(v, 8); }

    std::uint64_t finish() const {
        State s = state_;
        const std::uint64_t last = tail_ | (static_cast<std::uint64_t>(length_ & 0xFF) << 56);
        s.v3 ^= last;
        round(s);
        s.v0 ^= last;
        s.v2 ^= 0xFF;
        round(s);
        round(s);
        round(s);
        return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
    }

  private:
    struct State {
        // "somepseudorandomlygeneratedbytes" xor zero keys.
        std::uint64_t v0 = 0x736f6d6570736575ull;
        std::uint64_t v1 = 0x646f72616e646f6dull;
        std::uint64_t v2 = 0x6c7967656e657261ull;
        std::uint64_t v3 = 0x7465646279746573ull;
    };

    static std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

    static void round(State& s) {
        s.v0 += s.v1;
        s.v1 = rotl(s.v1, 13);
        s.v1 ^= s.v0;
        s.v0 = rotl(s.v0, 32);
        s.v2 += s.v3;
        s.v3 = rotl(s.v3, 16);
        s.v3 ^= s.v2;
        s.v0 += s.v3;
        s.v3 = rotl(s.v3, 21);
        s.v3 ^= s.v0;
        s.v2 += s.v1;
        s.v1 = rotl(s.v1, 17);
        s.v1 ^= s.v2;
        s.v2 = rotl(s.v2, 32);
    }

    void compress(std::uint64_t m) {
        state_.v3 ^= m;
        round(state_);
        state_.v0 ^= m;
    }

    void write_le(std::uint64_t v, int n) {
        std::uint8_t buf[8];
        for (int i = 0; i < n; ++i) buf[i] = static_cast<std::uint8_t>(v >> (8 * i));
        write(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)));
    }

    State state_;
    std::uint64_t tail_ = 0;
    int ntail_ = 0;
    std::uint64_t length_ = 0;
};

void hash_uuid(SipHasher13& h, const utils::Uuid& u) { h.write(u.bytes); }

void hash_basic(SipHasher13& h, const primary::PrimaryBasicType::Variant& v, std::size_t index) {
    h.write_u64(index);
    std::visit(Overload{
                   [&](const primary::IType& t) { h.write_u32(t.num_bits); },
                   [&](primary::FType t) { h.write_u8(static_cast<std::uint8_t>(t)); },
                   [&](const primary::ExtType& t) {
                       hash_uuid(h, t.uuid);
                       h.write_u64(t.params.size());
                       for (auto p : t.params) h.write_u32(p);
                   },
                   [&](const primary::Ptr&) {},
                   [&](const primary::Wildcard& w) { h.write_u16(w.index); },
               },
               v);
}

void hash_primary(SipHasher13& h, const primary::PrimaryType& p) {
    using P = primary::PrimaryType;
    std::visit(Overload{
                   [&](const P::Vector& v) {
                       h.write_u64(p.value.index());
                       hash_basic(h, v.element.value, v.element.value.index());
                       h.write_u64(v.size.value.index());
                       h.write_u16(v.size.count());
                   },
                   [&](const P::Label&) { h.write_u64(p.value.index()); },
                   [&](const auto& basic) {
                       hash_basic(h, primary::PrimaryBasicType::Variant(basic), p.value.index());
                   },
               },
               p.value);
}

// One step of the iterative printer.
struct Literal {
    std::string text;
};
struct Enter {
    Typeref ref;
};
// The end of an aggregate's text, which began at `start` of the output when `markers` recursion
// markers had been written.
struct Leave {
    Typeref ref;
    std::size_t start;
    std::size_t markers;
};
using Step = std::variant<Literal, Enter, Leave>;

class Printer {
  public:
    explicit Printer(const TypeMap& types) : types_(types) {}

    std::string run_ref(const Typeref& ref) {
        steps_.push_back(Enter{ref});
        drain();
        return std::move(out_);
    }

    std::string run_value(const AnyType& value) {
        expand(value, std::nullopt);
        drain();
        return std::move(out_);
    }

  private:
    // An aggregate met so far: whether it is on the path now, and where its text is in the
    // output once that text is known to be the same wherever the type appears.
    struct Seen {
        bool on_path = false;
        std::size_t start = 0;
        std::size_t length = 0;
        bool written = false;
    };

    void drain() {
        while (!steps_.empty()) {
            Step step = std::move(steps_.back());
            steps_.pop_back();
            std::visit(Overload{
                           [&](Literal& l) { out_ += l.text; },
                           [&](Enter& e) { enter(e.ref); },
                           [&](Leave& l) { leave(l); },
                       },
                       step);
        }
    }

    void enter(const Typeref& ref) {
        if (auto index = ref.wildcard_index()) {
            out_ += primary::Wildcard{*index}.to_string();
            return;
        }
        auto it = types_.find(ref);
        if (it == types_.end()) {
            out_ += unknown_type_text(ref);
            return;
        }
        if (const auto seen = seen_.find(ref); seen != seen_.end()) {
            if (seen->second.on_path) {
                out_ += recursive_type_text(ref);
                ++markers_;
                return;
            }
            if (seen->second.written) {
                // A type shared by many others is copied, not expanded again: written out each
                // time, a type that repeats its elements would cost time exponential in its depth.
                out_.reserve(out_.size() + seen->second.length);
                out_.append(out_.data() + seen->second.start, seen->second.length);
                return;
            }
        }
        expand(it->second, ref);
    }

    // An aggregate whose text held no recursion marker reaches no cycle (on a cycle, the walk
    // always comes back to a type on the path), so its text is the same wherever it appears.
    void leave(const Leave& l) {
        Seen& seen = seen_[l.ref];
        seen.on_path = false;
        if (markers_ == l.markers) {
            seen.start = l.start;
            seen.length = out_.size() - l.start;
            seen.written = true;
        }
    }

    // Writes a primary text at once; queues an aggregate's pieces, last piece pushed first.
    void expand(const AnyType& value, std::optional<Typeref> ref) {
        std::visit(Overload{
                       [&](const AnyType::Primary& p) { out_ += p.to_string(); },
                       [&](const AnyType::Array& a) {
                           push_leave(ref);
                           steps_.push_back(Literal{" ]"});
                           steps_.push_back(Enter{a.element});
                           steps_.push_back(Literal{fmt::format("[ {} x ", a.count)});
                       },
                       [&](const AnyType::Struct& s) {
                           push_leave(ref);
                           steps_.push_back(Literal{"}"});
                           for (std::size_t i = s.elements.size(); i-- > 0;) {
                               steps_.push_back(Enter{s.elements[i]});
                               if (i > 0) steps_.push_back(Literal{", "});
                           }
                           steps_.push_back(Literal{s.packed ? "packed {" : "{"});
                       },
                   },
                   value.value);
    }

    void push_leave(const std::optional<Typeref>& ref) {
        if (!ref) return;
        seen_[*ref].on_path = true;
        steps_.push_back(Leave{*ref, out_.size(), markers_});
    }

    const TypeMap& types_;
    std::vector<Step> steps_;
    std::map<Typeref, Seen> seen_;
    std::size_t markers_ = 0;
    std::string out_;
};

}  // namespace

std::optional<std::uint16_t> AnyType::wildcard_index() const {
    if (const auto* p = as_primary()) return p->wildcard_index();
    return std::nullopt;
}

AnyTypeFmt AnyType::internal_fmt(const TypeMap& types) const { return AnyTypeFmt{*this, types}; }

std::string AnyType::debug() const {
    return std::visit(Overload{
                          [](const Primary& p) { return utils::debug_tuple("Primary", p.debug()); },
                          [](const Array& a) { return utils::debug_tuple("Array", a.debug()); },
                          [](const Struct& s) { return utils::debug_tuple("Struct", s.debug()); },
                      },
                      value);
}

std::uint64_t content_hash(const AnyType& type) {
    SipHasher13 h;
    h.write_u64(type.value.index());
    std::visit(Overload{
                   [&](const AnyType::Primary& p) { hash_primary(h, p); },
                   [&](const AnyType::Array& a) {
                       hash_uuid(h, a.element.uuid);
                       h.write_u16(a.count);
                   },
                   [&](const AnyType::Struct& s) {
                       h.write_u64(s.elements.size());
                       for (const auto& e : s.elements) hash_uuid(h, e.uuid);
                       h.write_u8(s.packed ? 1 : 0);
                   },
               },
               type.value);
    return h.finish();
}

std::string unknown_type_text(const Typeref& ref) { return fmt::format("<unknown type {}>", ref); }

std::string recursive_type_text(const Typeref& ref) {
    return fmt::format("<recursive type {}>", ref);
}

std::string type_text(const TypeMap& types, const Typeref& ref) {
    return Printer(types).run_ref(ref);
}

std::string type_text(const TypeMap& types, const AnyType& type) {
    return Printer(types).run_value(type);
}

}  // namespace kdinstr::types
