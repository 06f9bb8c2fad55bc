#include <gtest/gtest.h>

#include "chronelle/platform/Base64.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"

namespace chronelle {
namespace {

TEST(Date, ArithmeticAndIsoText) {
  EXPECT_EQ(Date::fromSecondsSince1970(0.0000014).microsecondsSince1970(), 1);
  EXPECT_EQ(Date::fromSecondsSince1970(-0.0000016).microsecondsSince1970(), -2);
  const Date d = Date::fromSecondsSince1970(1'780'651'800);
  EXPECT_EQ(d.microsecondsSince1970(), 1'780'651'800'000'000);
  EXPECT_EQ(d.isoString(), "2026-06-05T09:30:00Z");
  EXPECT_EQ((d + 0.25).isoString(), "2026-06-05T09:30:00.250000Z");
  EXPECT_EQ((d - 86400.5).isoString(), "2026-06-04T09:29:59.500000Z");
  EXPECT_DOUBLE_EQ((d + 90).timeIntervalSince(d), 90);
  EXPECT_EQ(Date::distantPast().isoString(), "0001-01-01T00:00:00Z");
  EXPECT_EQ(Date::distantFuture().isoString(), "4001-01-01T00:00:00Z");
  EXPECT_EQ(Date::fromSecondsSince1970(-0.5).isoString(), "1969-12-31T23:59:59.500000Z");
}

TEST(DateInterval, ClosedIntervalRules) {
  const Date t = Date::fromSecondsSince1970(1000);
  const DateInterval a(t, t + 60), touching(t + 60, t + 120), inside(t + 10, t + 20);
  EXPECT_EQ(DateInterval(t + 5, t).duration(), 0);  // never negative
  EXPECT_TRUE(a.contains(t) && a.contains(t + 60));
  EXPECT_FALSE(a.contains(t + 60.000001));
  EXPECT_TRUE(a.intersects(touching));
  EXPECT_EQ(a.intersection(touching), DateInterval(t + 60, t + 60));
  EXPECT_EQ(a.intersection(inside), inside);
  EXPECT_EQ(a.intersection(DateInterval(t + 61, t + 70)), std::nullopt);
  EXPECT_EQ(DateInterval::withDuration(t, 30).end(), t + 30);
}

TEST(Base64, RoundTripsAndRejectsMalformedText) {
  for (std::size_t n = 0; n < 7; ++n) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(250 + i * 3));
    EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << "length " << n;
  }
  EXPECT_EQ(base64Encode(std::vector<std::uint8_t>{'M', 'a'}), "TWE=");
  for (const char* bad : {"TWE", "TW=E", "T$E=", "====", "TQ==TQ=="})
    EXPECT_EQ(base64Decode(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace chronelle
