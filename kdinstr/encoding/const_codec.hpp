#pragma once
// Binary form of constants: big decimals, integer and floating-point constants, function
// pointers and the tagged `AnyConst`. Big integers themselves are a primitive of the writer and
// reader (`write_bigint` / `read_bigint`).
#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/consts/big_decimal.hpp"
#include "kdinstr/consts/fp_const.hpp"
#include "kdinstr/consts/int_const.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/modules/symbol.hpp"

namespace kdinstr::encoding {

// Unscaled big integer, then the i64 scale.
IoResult<void> encode(BorshWriter& w, const consts::BigDecimal& value);
IoResult<consts::BigDecimal> decode_big_decimal(BorshReader& r);
// u32 width, then the big integer.
IoResult<void> encode(BorshWriter& w, const consts::IConst& value);
IoResult<consts::IConst> decode_iconst(BorshReader& r);
// FType byte, then the big decimal.
IoResult<void> encode(BorshWriter& w, const consts::FConst& value);
IoResult<consts::FConst> decode_fconst(BorshReader& r);
// Tag 0 internal / 1 external, then the UUID.
IoResult<void> encode(BorshWriter& w, const modules::FunctionPointer& value);
IoResult<modules::FunctionPointer> decode_function_pointer(BorshReader& r);
// Tag 0 int / 1 float / 2 function pointer, then the payload.
IoResult<void> encode(BorshWriter& w, const consts::AnyConst& value);
IoResult<consts::AnyConst> decode_any_const(BorshReader& r);

}  // namespace kdinstr::encoding
