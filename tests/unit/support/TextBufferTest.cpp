#include "support/TextBuffer.h"

#include <gtest/gtest.h>

#include <string>

using ostero::support::TTextBuffer;

// Every way of appending, across many growths from a tiny start and with pieces larger than
// the room, gives the same text as std::string; clearing keeps the room for the next text.
TEST(TextBuffer, AppendsLikeAStringAcrossGrowths) {
    TTextBuffer buffer(1);
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string piece = "row " + std::to_string(i) + "\r\n";
        buffer += piece;
        expected += piece;
        buffer += static_cast<char>('a' + i % 26);
        expected += static_cast<char>('a' + i % 26);
        buffer.append(static_cast<size_t>(i % 7), ' ');
        expected.append(static_cast<size_t>(i % 7), ' ');
        buffer.append(piece.data(), piece.data() + piece.size() / 2);
        expected.append(piece.data(), piece.size() / 2);
        if (i % 500 == 0) {
            const std::string big(5000 + i, 'x'); // more than the room left
            buffer += big;
            expected += big;
        }
    }
    buffer += "";
    ASSERT_EQ(buffer.size(), expected.size());
    EXPECT_EQ(buffer.View(), expected);
    EXPECT_EQ(buffer.back(), expected.back());

    buffer.clear();
    EXPECT_TRUE(buffer.empty());
    buffer += "again";
    EXPECT_EQ(buffer.View(), "again");
}
