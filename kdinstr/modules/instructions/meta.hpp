#pragma once
// Meta instructions: allowed only in meta functions, for properties and attributes.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/modules/instructions/analysis_statistic.hpp"
#include "kdinstr/modules/instructions/qualifiers.hpp"
#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/types/typeref.hpp"

namespace kdinstr::modules::instructions {

using types::Typeref;

// The operand of "!prob" and the statistic asked of it; the kind has the order of
// `MetaProbVariant` and the encoding's kind byte.
struct MetaProbOperand {
    MetaProbVariant kind;
    Operand value;

    bool operator==(const MetaProbOperand&) const = default;
    // Probability(Reg(%1)), ExpectedValue(..), Variance(..).
    std::string debug() const;
};

struct MetaAssert {
    Operand condition;

    bool operator==(const MetaAssert&) const = default;
    std::string debug() const;
};

struct MetaAssume {
    Operand condition;

    bool operator==(const MetaAssume&) const = default;
    std::string debug() const;
};

struct MetaIsDef {
    Name dest;
    Typeref ty;
    Operand operand;

    bool operator==(const MetaIsDef&) const = default;
    std::string debug() const;
};

struct MetaProb {
    Name dest;
    Typeref ty;
    MetaProbOperand operand;

    bool operator==(const MetaProb&) const = default;
    std::string debug() const;
};

struct MetaAnalysisStat {
    Name dest;
    Typeref ty;
    analysis::AnalysisStatistic statistic;

    bool operator==(const MetaAnalysisStat&) const = default;
    std::string debug() const;
};

struct MetaForall {
    Name dest;
    Typeref ty;

    bool operator==(const MetaForall&) const = default;
    std::string debug() const;
};

}  // namespace kdinstr::modules::instructions
