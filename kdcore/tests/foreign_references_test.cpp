#include <gtest/gtest.h>

#include <vector>

#include "kdcore/tests/test_support.hpp"

namespace {

using namespace kdtest;

struct Visits {
    std::vector<void*> seen;
    int answer = 0;

    static int record(void* object, void* arg) {
        auto* self = static_cast<Visits*>(arg);
        self->seen.push_back(object);
        return self->answer;
    }
};

std::shared_ptr<InstanceContext> with_logger(void* foreign) {
    auto info = make_info({LOGGER});
    info.ext.push_back(std::make_unique<LogCreateInfoEXT>(
        LogLevelEXT::Trace, LogCallbackEXT([](LogMessageEXT) {}, foreign)));
    return *kdcore::base::api::create_instance(std::move(info));
}

// What an instance shows its host's cycle collector: the object its logger's callback holds.
TEST(ForeignReferences, TheLoggersCallbackObjectIsShownOnce) {
    int host_object = 0;
    Visits visits;
    EXPECT_EQ(with_logger(&host_object)->visit_foreign(&Visits::record, &visits), 0);
    EXPECT_EQ(visits.seen, std::vector<void*>{&host_object});

    Visits none;
    EXPECT_EQ(with_logger(nullptr)->visit_foreign(&Visits::record, &none), 0);
    auto without_logger = *kdcore::base::api::create_instance(make_info({}));
    EXPECT_EQ(without_logger->visit_foreign(&Visits::record, &none), 0);
    EXPECT_TRUE(none.seen.empty());

    // A nonzero answer ends the walk and comes back.
    Visits stopping{.seen = {}, .answer = 7};
    EXPECT_EQ(with_logger(&host_object)->visit_foreign(&Visits::record, &stopping), 7);
}

}  // namespace
