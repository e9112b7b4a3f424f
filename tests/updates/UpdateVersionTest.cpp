#include "updates/UpdateVersion.h"

#include <gtest/gtest.h>

TEST(UpdateVersion, ComparesSegmentsAsNumbers)
{
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"1.10", "1.9", 1},
        {"1.9", "1.10", -1},
        {"2", "2.0", 0},
        {"2.0.0", "2", 0},
        {"1.0.1", "1.0", 1},
        {"1.02", "1.2", 0},
        {"10.0", "9.99.99", 1},
        {"1.0", "1.0", 0},
        {"0.9", "1", -1},
        // Longer than any integer type: still compared as numbers.
        {"1.123456789012345678901234567890", "1.123456789012345678901234567889", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateVersion::compare(QString::fromLatin1(c.a), QString::fromLatin1(c.b)),
                  c.order)
            << c.a << " vs " << c.b;
}

TEST(UpdateVersion, RejectsAnythingButDottedNumbers)
{
    for (const char* bad : {"", ".", "1.", ".1", "1..2", "1.0b2", "v1.0", " 1.0", "1,0", "-1"})
        EXPECT_FALSE(UpdateVersion::isValid(QString::fromLatin1(bad))) << bad;
    EXPECT_TRUE(UpdateVersion::isValid(QStringLiteral("0")));
    // An invalid version never counts as newer than a valid one.
    EXPECT_LT(UpdateVersion::compare(QStringLiteral("9.9beta"), QStringLiteral("1.0")), 0);
    EXPECT_GT(UpdateVersion::compare(QStringLiteral("1.0"), QStringLiteral("Development")), 0);
}
