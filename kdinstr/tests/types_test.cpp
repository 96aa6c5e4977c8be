#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "kdinstr/tests/random_type_maps.hpp"
#include "kdinstr/types/any_type.hpp"

using namespace kdinstr::types;
using namespace kdinstr::types::primary;
using kdinstr::utils::Uuid;

namespace {

Uuid sample_uuid() {
    Uuid u;
    for (int i = 0; i < 16; ++i) u.bytes[i] = static_cast<std::uint8_t>(0x10 + i);
    return u;
}

Typeref ref(std::uint8_t last) {
    Typeref t;
    t.uuid.bytes[6] = 0x60;
    t.uuid.bytes[15] = last;
    return t;
}

// The printer's rules as plainly as they read, recursively: the text of `ref` while the types
// of `path` are being printed.
std::string defined_text(const TypeMap& types, const Typeref& ref, std::set<Typeref>& path);

std::string defined_text(const TypeMap& types, const AnyType& value, std::set<Typeref>& path) {
    if (const auto* p = value.as_primary()) return p->to_string();
    if (const auto* a = value.as_array())
        return "[ " + std::to_string(a->count) + " x " + defined_text(types, a->element, path) +
               " ]";
    const auto& s = *value.as_struct();
    std::string text = s.packed ? "packed {" : "{";
    for (std::size_t i = 0; i < s.elements.size(); ++i)
        text += (i > 0 ? ", " : "") + defined_text(types, s.elements[i], path);
    return text + "}";
}

std::string defined_text(const TypeMap& types, const Typeref& ref, std::set<Typeref>& path) {
    if (const auto index = ref.wildcard_index()) return Wildcard{*index}.to_string();
    const auto it = types.find(ref);
    if (it == types.end()) return "<unknown type " + ref.to_string() + ">";
    if (path.contains(ref)) return "<recursive type " + ref.to_string() + ">";
    path.insert(ref);
    std::string text = defined_text(types, it->second, path);
    path.erase(ref);
    return text;
}

}  // namespace

TEST(PrimaryType, Texts) {
    const std::string u = "10111213-1415-1617-1819-1a1b1c1d1e1f";
    struct Case {
        PrimaryType type;
        std::string text;
    };
    const std::vector<Case> cases = {
        {IType{1}, "i1"},
        {IType{32}, "i32"},
        {IType{8388607}, "i8388607"},
        {FType::Fp16, "fp16"},
        {FType::Bf16, "bf16"},
        {FType::Fp32, "fp32"},
        {FType::Fp64, "fp64"},
        {FType::Fp128, "fp128"},
        {FType::X86Fp80, "x86_fp80"},
        {FType::PPCFp128, "ppc_fp128"},
        {Ptr{}, "ptr"},
        {PrimaryType::Label{}, "label"},
        {Wildcard{0}, "A"},
        {Wildcard{25}, "Z"},
        {Wildcard{26}, "_26"},
        {Wildcard{65535}, "_65535"},
        {ExtType{sample_uuid(), {}}, "ext<" + u + ">"},
        {ExtType{sample_uuid(), {7}}, "ext<" + u + ">(7)"},
        {ExtType{sample_uuid(), {8, 16}}, "ext<" + u + ">(8, 16)"},
        {PrimaryType::vector(IType{32}, VcSize::fixed(4)), "<4 x i32>"},
        {PrimaryType::vector(FType::Fp64, VcSize::scalable(2)), "<vscale 2 x fp64>"},
        {PrimaryType::vector(Wildcard{1}, VcSize::fixed(0)), "<0 x B>"},
        {PrimaryType::vector(Ptr{}, VcSize::fixed(65535)), "<65535 x ptr>"},
        {PrimaryType::vector(ExtType{sample_uuid(), {1}}, VcSize::scalable(1)),
         "<vscale 1 x ext<" + u + ">(1)>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.type.to_string(), c.text);
        EXPECT_EQ(fmt::format("{}", c.type), c.text);
        // The same text through AnyType and an empty map.
        EXPECT_EQ(AnyType(c.type).internal_fmt(TypeMap{}).to_string(), c.text);
        if (auto basic = c.type.as_basic()) {
            EXPECT_EQ(basic->to_string(), c.text);
            EXPECT_EQ(PrimaryType(*basic), c.type);
        }
    }
}

TEST(PrimaryType, DebugForms) {
    const std::string u = "10111213-1415-1617-1819-1a1b1c1d1e1f";
    struct Case {
        std::string debug;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {IType{32}.debug(), "IType { num_bits: 32 }"},
        {std::string(ftype_debug(FType::PPCFp128)), "PPCFp128"},
        {std::string(ftype_debug(FType::X86Fp80)), "X86Fp80"},
        {VcSize::fixed(4).debug(), "Fixed(4)"},
        {VcSize::scalable(2).debug(), "Scalable(2)"},
        {ExtType{sample_uuid(), {}}.debug(), "ExtType { uuid: " + u + ", params: [] }"},
        {ExtType{sample_uuid(), {8, 16}}.debug(), "ExtType { uuid: " + u + ", params: [8, 16] }"},
        {PrimaryType(IType{8}).debug(), "Int(IType { num_bits: 8 })"},
        {PrimaryType(FType::Fp32).debug(), "Float(Fp32)"},
        {PrimaryType(Ptr{}).debug(), "Ptr"},
        {PrimaryType(Wildcard{3}).debug(), "Wildcard(3)"},
        {PrimaryType(PrimaryType::Label{}).debug(), "Label"},
        {PrimaryType::vector(IType{32}, VcSize::scalable(4)).debug(),
         "Vector(Int(IType { num_bits: 32 }), Scalable(4))"},
        {PrimaryBasicType(Wildcard{2}).debug(), "Wildcard(2)"},
        {AnyType(Ptr{}).debug(), "Primary(Ptr)"},
        {AnyType(aggregate::ArrayType{Typeref::wildcard(0), 4}).debug(),
         "Array(ArrayType { element: Typeref(ffffffff-ffff-8fff-bfff-ffffffff0000), count: 4 })"},
        {AnyType(aggregate::StructType{{Typeref::wildcard(1), Typeref::wildcard(256)}, true})
             .debug(),
         "Struct(StructType { elements: [Typeref(ffffffff-ffff-8fff-bfff-ffffffff0100), "
         "Typeref(ffffffff-ffff-8fff-bfff-ffffffff0001)], packed: true })"},
        {AnyType(aggregate::StructType{{}, false}).debug(),
         "Struct(StructType { elements: [], packed: false })"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.debug, c.expected);
}

TEST(AggregateType, TextsAgainstAMap) {
    const Typeref i1 = ref(1), i32 = ref(2), p = ref(3), i8 = ref(4), i16 = ref(5), pair = ref(6),
                  arr = ref(7), self = ref(8), missing = ref(9);
    TypeMap types = {
        {i1, AnyType(IType{1})},
        {i32, AnyType(IType{32})},
        {p, AnyType(Ptr{})},
        {i8, AnyType(IType{8})},
        {i16, AnyType(IType{16})},
        {pair, AnyType(aggregate::StructType{{i1, i1}, false})},
        {arr, AnyType(aggregate::ArrayType{pair, 3})},
        {self, AnyType(aggregate::StructType{{i32, self}, false})},
    };
    struct Case {
        AnyType type;
        std::string text;
    };
    const std::vector<Case> cases = {
        {aggregate::ArrayType{i32, 4}, "[ 4 x i32 ]"},
        {aggregate::ArrayType{pair, 3}, "[ 3 x {i1, i1} ]"},
        {aggregate::ArrayType{arr, 2}, "[ 2 x [ 3 x {i1, i1} ] ]"},
        {aggregate::StructType{{i32, p}, false}, "{i32, ptr}"},
        {aggregate::StructType{{i8, i16}, true}, "packed {i8, i16}"},
        {aggregate::StructType{{}, false}, "{}"},
        {aggregate::StructType{{}, true}, "packed {}"},
        {aggregate::StructType{{pair, arr}, true}, "packed {{i1, i1}, [ 3 x {i1, i1} ]}"},
        {aggregate::StructType{{Typeref::wildcard(0), Typeref::wildcard(26)}, false}, "{A, _26}"},
        {aggregate::ArrayType{missing, 1},
         "[ 1 x <unknown type 00000000-0000-6000-0000-000000000009> ]"},
        {aggregate::StructType{{self}, false},
         "{{i32, <recursive type 00000000-0000-6000-0000-000000000008>}}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.type.internal_fmt(types).to_string(), c.text);
        if (const auto* s = c.type.as_struct()) {
            EXPECT_EQ(s->internal_fmt(types).to_string(), c.text);
        }
    }
    EXPECT_EQ(type_text(types, self),
              "{i32, <recursive type 00000000-0000-6000-0000-000000000008>}");
    EXPECT_EQ(type_text(types, Typeref::wildcard(25)), "Z");
}

TEST(AggregateType, TextsFollowTheirRulesOnRandomMaps) {
    // Elements shared by many types, cycles, wildcards and identifiers not held, mixed.
    kdinstr::tests::RandomTypeMaps maps(1211);
    for (int round = 0; round < 3000; ++round) {
        const TypeMap types = maps.next(9);
        SCOPED_TRACE(round);
        std::set<Typeref> path;
        for (const auto& [r, value] : types) {
            EXPECT_EQ(type_text(types, r), defined_text(types, r, path));
            EXPECT_EQ(type_text(types, value), defined_text(types, value, path));
        }
        const AnyType all = aggregate::StructType{
            {types.begin()->first, types.rbegin()->first, types.begin()->first}, false};
        EXPECT_EQ(type_text(types, all), defined_text(types, all, path));
    }
    // A type whose elements repeat, ten levels deep: 1024 copies of i1 printed from 11 types.
    TypeMap doubling{{ref(0), AnyType(IType{1})}};
    for (std::uint8_t i = 1; i <= 10; ++i)
        doubling.emplace(ref(i),
                         AnyType(aggregate::StructType{{ref(i - 1), ref(i - 1)}, i % 2 == 0}));
    std::set<Typeref> path;
    EXPECT_EQ(type_text(doubling, ref(10)), defined_text(doubling, ref(10), path));
    EXPECT_EQ(type_text(doubling, ref(2)), "packed {{i1, i1}, {i1, i1}}");
}

TEST(AggregateType, DeepNestingPrintsWithoutRecursion) {
    TypeMap types;
    Typeref inner = ref(0);
    types.emplace(inner, AnyType(IType{1}));
    constexpr int depth = 200000;
    for (int i = 1; i <= depth; ++i) {
        Typeref next;
        next.uuid.bytes[0] = static_cast<std::uint8_t>(i >> 16);
        next.uuid.bytes[1] = static_cast<std::uint8_t>(i >> 8);
        next.uuid.bytes[2] = static_cast<std::uint8_t>(i);
        types.emplace(next, AnyType(aggregate::ArrayType{inner, 1}));
        inner = next;
    }
    const std::string text = type_text(types, inner);
    EXPECT_EQ(text.size(), depth * std::string("[ 1 x  ]").size() + 2);
    EXPECT_EQ(text.substr(0, 12), "[ 1 x [ 1 x ");
}

TEST(FType, FromTextAndSizes) {
    struct Case {
        std::string text;
        std::optional<FType> type;
    };
    const std::vector<Case> cases = {
        {"fp16", FType::Fp16},
        {"bf16", FType::Bf16},
        {"fp32", FType::Fp32},
        {"fp64", FType::Fp64},
        {"fp128", FType::Fp128},
        {"x86_fp80", FType::X86Fp80},
        {"ppc_fp128", FType::PPCFp128},
        {"FP32", std::nullopt},
        {"fp80", std::nullopt},
        {"f32", std::nullopt},
        {"fp128 ", std::nullopt},
        {"Fp16", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ftype_from_text(c.text), c.type) << c.text;

    const std::vector<std::uint32_t> sizes = {2, 2, 4, 8, 16, 10, 16};
    for (std::size_t i = 0; i < ALL_FTYPES.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(ALL_FTYPES[i]), i);
        EXPECT_EQ(ftype_byte_size(ALL_FTYPES[i]), sizes[i]);
        EXPECT_EQ(ftype_from_text(ftype_text(ALL_FTYPES[i])), ALL_FTYPES[i]);
        EXPECT_EQ(ftype_from_byte(static_cast<std::uint8_t>(i)), ALL_FTYPES[i]);
    }
    EXPECT_EQ(ftype_from_byte(7), std::nullopt);
}

TEST(IType, WidthBounds) {
    struct Case {
        std::uint32_t width;
        std::optional<std::string> error;
    };
    const std::vector<Case> cases = {
        {1, std::nullopt},
        {64, std::nullopt},
        {8388607, std::nullopt},
        {0, "cannot create IType with width 0 (must be between 1 and 8388607)"},
        {8388608, "cannot create IType with width 8388608 (must be between 1 and 8388607)"},
        {4294967295u, "cannot create IType with width 4294967295 (must be between 1 and 8388607)"},
    };
    EXPECT_EQ(IType::MIN_BITS, 1u);
    EXPECT_EQ(IType::MAX_BITS, 8388607u);
    for (const auto& c : cases) {
        auto result = IType::create(c.width);
        if (c.error) {
            ASSERT_FALSE(result.has_value()) << c.width;
            EXPECT_EQ(result.error(), *c.error);
        } else {
            ASSERT_TRUE(result.has_value()) << c.width;
            EXPECT_EQ(result->num_bits, c.width);
        }
    }
}

TEST(Typeref, WildcardBytes) {
    struct Case {
        std::uint16_t index;
        std::uint8_t b14, b15;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, 0x00, 0x00, "ffffffff-ffff-8fff-bfff-ffffffff0000"},
        {1, 0x01, 0x00, "ffffffff-ffff-8fff-bfff-ffffffff0100"},
        {25, 0x19, 0x00, "ffffffff-ffff-8fff-bfff-ffffffff1900"},
        {26, 0x1A, 0x00, "ffffffff-ffff-8fff-bfff-ffffffff1a00"},
        {256, 0x00, 0x01, "ffffffff-ffff-8fff-bfff-ffffffff0001"},
        {65535, 0xFF, 0xFF, "ffffffff-ffff-8fff-bfff-ffffffffffff"},
    };
    for (const auto& c : cases) {
        const Typeref w = Typeref::wildcard(c.index);
        EXPECT_EQ(w.uuid.bytes[14], c.b14);
        EXPECT_EQ(w.uuid.bytes[15], c.b15);
        EXPECT_EQ(w.to_string(), c.text);
        EXPECT_EQ(w.debug(), "Typeref(" + c.text + ")");
        EXPECT_TRUE(w.is_wildcard());
        EXPECT_EQ(w.wildcard_index(), c.index);
    }

    // The test looks at bytes 0-5, 7, 9-12 and the high nibble of byte 6 only.
    struct Edit {
        int byte;
        std::uint8_t value;
        bool still_wildcard;
    };
    const std::vector<Edit> edits = {
        {8, 0x00, true},  {13, 0x00, true},  {6, 0x80, true},  {6, 0x6F, false},
        {6, 0x9F, false}, {0, 0xFE, false},  {5, 0x00, false}, {7, 0xFE, false},
        {9, 0x00, false}, {12, 0x7F, false}, {14, 0x42, true},
    };
    for (const auto& e : edits) {
        Typeref t = Typeref::wildcard(7);
        t.uuid.bytes[e.byte] = e.value;
        EXPECT_EQ(t.is_wildcard(), e.still_wildcard) << "byte " << e.byte;
        EXPECT_EQ(t.wildcard_index().has_value(), e.still_wildcard);
    }
}

TEST(AnyType, EqualityAndContentHash) {
    const Uuid u = sample_uuid();
    Uuid v = u;
    v.bytes[15] ^= 1;
    // Pairwise different values; each equals (and hashes like) a fresh copy of itself only.
    const std::vector<AnyType> values = {
        IType{32},
        IType{33},
        FType::Fp128,
        FType::PPCFp128,
        Ptr{},
        PrimaryType::Label{},
        Wildcard{0},
        Wildcard{1},
        ExtType{u, {}},
        ExtType{u, {0}},
        ExtType{v, {}},
        ExtType{u, {1, 2}},
        ExtType{u, {2, 1}},
        PrimaryType::vector(IType{32}, VcSize::fixed(4)),
        PrimaryType::vector(IType{32}, VcSize::scalable(4)),
        PrimaryType::vector(IType{32}, VcSize::fixed(5)),
        PrimaryType::vector(Wildcard{0}, VcSize::fixed(4)),
        aggregate::ArrayType{ref(1), 4},
        aggregate::ArrayType{ref(2), 4},
        aggregate::ArrayType{ref(1), 5},
        aggregate::StructType{{}, false},
        aggregate::StructType{{}, true},
        aggregate::StructType{{ref(1)}, false},
        aggregate::StructType{{ref(1), ref(2)}, false},
        aggregate::StructType{{ref(2), ref(1)}, false},
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const AnyType copy = values[i];
        EXPECT_EQ(copy, values[i]);
        EXPECT_EQ(content_hash(copy), content_hash(values[i]));
        for (std::size_t j = 0; j < values.size(); ++j) {
            if (i == j) continue;
            EXPECT_NE(values[i], values[j]) << i << " " << j;
            EXPECT_NE(content_hash(values[i]), content_hash(values[j])) << i << " " << j;
        }
    }
}
