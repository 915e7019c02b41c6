#include "platform/OnDemandLibrary.h"

#include <cmath>
#include <gtest/gtest.h>

// Declared for its type only: no library has it.
extern "C" int orvel_no_such_function();

namespace {
// A table is whole or not there at all.
#define ORVEL_TEST_WHOLE(X) X(cos) X(sin)
#define ORVEL_TEST_PARTIAL(X) X(cos) X(orvel_no_such_function)

struct WholeTable {
    ORVEL_TEST_WHOLE(ORVEL_ON_DEMAND_MEMBER)
    static const WholeTable* load();
};
struct PartialTable {
    ORVEL_TEST_PARTIAL(ORVEL_ON_DEMAND_MEMBER)
    static const PartialTable* load();
};
struct AbsentLibrary {
    ORVEL_TEST_WHOLE(ORVEL_ON_DEMAND_MEMBER)
    static const AbsentLibrary* load();
};

ORVEL_ON_DEMAND_LOAD(WholeTable, ORVEL_TEST_WHOLE, "libm.so.6")
ORVEL_ON_DEMAND_LOAD(PartialTable, ORVEL_TEST_PARTIAL, "libm.so.6")
ORVEL_ON_DEMAND_LOAD(AbsentLibrary, ORVEL_TEST_WHOLE, "liborvel-absent.so.0")
} // namespace

TEST(OnDemandLibraryTest, TableIsWholeOrAbsent) {
    const WholeTable* whole = WholeTable::load();
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->cos(0.0), 1.0);
    EXPECT_EQ(WholeTable::load(), whole) << "loaded once";
    EXPECT_EQ(PartialTable::load(), nullptr) << "a function is missing";
    EXPECT_EQ(AbsentLibrary::load(), nullptr) << "the library is missing";
}
