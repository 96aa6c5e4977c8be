#pragma once
// Binary form of identifiers and type values. Every `encode` appends exactly the value's bytes;
// every `decode_*` reads exactly them and fails at the first fault with the reader's messages.
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/types/aggregate.hpp"
#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::encoding {

// 16 raw bytes in text order.
IoResult<void> encode(BorshWriter& w, const utils::Uuid& value);
IoResult<utils::Uuid> decode_uuid(BorshReader& r);
IoResult<void> encode(BorshWriter& w, const types::Typeref& value);
IoResult<types::Typeref> decode_typeref(BorshReader& r);

// u32 width.
IoResult<void> encode(BorshWriter& w, const types::primary::IType& value);
IoResult<types::primary::IType> decode_itype(BorshReader& r);
// One byte 0..6.
IoResult<void> encode(BorshWriter& w, types::primary::FType value);
IoResult<types::primary::FType> decode_ftype(BorshReader& r);
// Tag 0 fixed / 1 scalable, then the u16 count.
IoResult<void> encode(BorshWriter& w, const types::primary::VcSize& value);
IoResult<types::primary::VcSize> decode_vc_size(BorshReader& r);
// UUID, then a list of u32 parameters.
IoResult<void> encode(BorshWriter& w, const types::primary::ExtType& value);
IoResult<types::primary::ExtType> decode_ext_type(BorshReader& r);
// Tag 0..4 and the payload of the matching primary variant.
IoResult<void> encode(BorshWriter& w, const types::primary::PrimaryBasicType& value);
IoResult<types::primary::PrimaryBasicType> decode_primary_basic_type(BorshReader& r);
// Tag 0..6 and its payload.
IoResult<void> encode(BorshWriter& w, const types::primary::PrimaryType& value);
IoResult<types::primary::PrimaryType> decode_primary_type(BorshReader& r);
// Element `Typeref`, then the u16 count.
IoResult<void> encode(BorshWriter& w, const types::aggregate::ArrayType& value);
IoResult<types::aggregate::ArrayType> decode_array_type(BorshReader& r);
// A list of element `Typeref`s, then the packed bool.
IoResult<void> encode(BorshWriter& w, const types::aggregate::StructType& value);
IoResult<types::aggregate::StructType> decode_struct_type(BorshReader& r);
// Tag 0 primary / 1 array / 2 struct, then the payload. Inner `Typeref`s are taken as they come.
IoResult<void> encode(BorshWriter& w, const types::AnyType& value);
IoResult<types::AnyType> decode_any_type(BorshReader& r);

}  // namespace kdinstr::encoding
