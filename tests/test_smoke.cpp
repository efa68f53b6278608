#include <gtest/gtest.h>

#include "support/harness.h"

namespace qm::test {
namespace {

TEST(Smoke, HandshakeThenPong) {
    Harness h;
    auto lines = h.handshake();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "#Quillomar 0.09.5");
    auto out = h.send({"ping 7"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "pong 7");
}

}  // namespace
}  // namespace qm::test
