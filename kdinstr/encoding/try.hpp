#pragma once
// Early return of an IoResult's error, for the codecs' long runs of fallible reads and writes.
#include <expected>
#include <utility>

#define KD_TRY(expr) \
    if (auto kd_try_ = (expr); !kd_try_) return std::unexpected(std::move(kd_try_.error()))

#define KD_LET(var, expr)                                                         \
    auto var##_result_ = (expr);                                                  \
    if (!var##_result_) return std::unexpected(std::move(var##_result_.error())); \
    auto& var = *var##_result_
