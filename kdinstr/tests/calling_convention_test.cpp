#include "kdinstr/modules/calling_convention.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kdinstr/modules/visibility.hpp"

namespace {

using kdinstr::modules::CallingConvention;
using kdinstr::modules::Visibility;
using Tag = CallingConvention::Tag;

TEST(CallingConvention, TextsDebugNamesAndReadingBack) {
    struct Case {
        CallingConvention cc;
        std::string text;
        std::string debug;
    };
    const std::vector<Case> cases = {
        {Tag::C, "cc", "C"},
        {Tag::FastC, "fastcc", "FastC"},
        {Tag::ColdC, "coldcc", "ColdC"},
        {Tag::GhcC, "ghccc", "GhcC"},
        {Tag::HipeC, "hipecc", "HipeC"},
        {Tag::AnyRegC, "anyregcc", "AnyRegC"},
        {Tag::PreserveMostC, "preservemostcc", "PreserveMostC"},
        {Tag::PreserveAllC, "preserveallcc", "PreserveAllC"},
        {Tag::PreserveNoneC, "preservenonecc", "PreserveNoneC"},
        {Tag::CxxFastTlsC, "cxx_fast_tlscc", "CxxFastTlsC"},
        {Tag::TailC, "tailcc", "TailC"},
        {Tag::SwiftC, "swiftcc", "SwiftC"},
        {Tag::SwiftTailC, "swifttailcc", "SwiftTailC"},
        {Tag::CfguardCheckC, "cfguard_checkcc", "CfguardCheckC"},
        {CallingConvention::numbered(0), "cc0", "Numbered(0)"},
        {CallingConvention::numbered(4294967295u), "cc4294967295", "Numbered(4294967295)"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.cc.to_string(), c.text);
        EXPECT_EQ(c.cc.debug(), c.debug);
        EXPECT_EQ(CallingConvention::from_str(c.text), c.cc);
        EXPECT_EQ(
            CallingConvention::from_tag(static_cast<std::uint32_t>(c.cc.tag()), c.cc.number()),
            c.cc);
        if (i < 14) {
            EXPECT_EQ(static_cast<std::size_t>(c.cc.tag()), i);
        }
    }
    EXPECT_NE(CallingConvention::from_str("cc0"), CallingConvention(Tag::C));
    EXPECT_EQ(fmt::format("{}", CallingConvention::numbered(7)), "cc7");
}

TEST(CallingConvention, FromStrNumberedAndFailures) {
    struct Case {
        std::string text;
        std::optional<CallingConvention> expected;
    };
    const std::vector<Case> cases = {
        {"cc007", CallingConvention::numbered(7)},
        {"cc+12", CallingConvention::numbered(12)},
        {"cc4294967296", std::nullopt},
        {"cc99999999999999999999", std::nullopt},
        {"CC1", std::nullopt},
        {"cc 1", std::nullopt},
        {"cc-1", std::nullopt},
        {"cc+", std::nullopt},
        {"cc1x", std::nullopt},
        {"cc++1", std::nullopt},
        {"FastCC", std::nullopt},
        {"fastcc ", std::nullopt},
        {"c", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CallingConvention::from_str(c.text), c.expected) << c.text;
    EXPECT_EQ(CallingConvention::from_tag(15), std::nullopt);
    // The number only belongs to the numbered convention.
    EXPECT_EQ(CallingConvention::from_tag(1, 5), CallingConvention(Tag::FastC));
}

TEST(Visibility, WordsDebugNamesAndParsing) {
    using kdinstr::modules::debug_name;
    using kdinstr::modules::from_str;
    using kdinstr::modules::word;
    EXPECT_EQ(word(Visibility::Default), "default");
    EXPECT_EQ(word(Visibility::Hidden), "hidden");
    EXPECT_EQ(word(Visibility::Protected), "protected");
    EXPECT_EQ(debug_name(Visibility::Protected), "Protected");
    EXPECT_EQ(from_str<Visibility>("hidden"), Visibility::Hidden);
    EXPECT_EQ(from_str<Visibility>("protected"), Visibility::Protected);
    for (auto bad : {"Hidden", "HIDDEN", "", "hid", "public"})
        EXPECT_EQ(from_str<Visibility>(bad), std::nullopt) << bad;
}

}  // namespace
