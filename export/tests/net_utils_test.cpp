#include "export/net_utils.h"

#include <gtest/gtest.h>
#include <time.h>

#include <optional>
#include <string>

#include "platform/core/tests/scoped_env.h"

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s) {
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0);
}

TEST(Base64Test, EncodesAndDecodesTheStandardVectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe\x3e\x3f", 5), "AP/+Pj8="},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(Base64Encode(bytes), text);
        EXPECT_EQ(Base64Decode(text), bytes) << text;
    }
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Base64Test, DecoderKeepsNonZeroLeftoverBitsOnlyWithoutPadding) {
    const std::pair<std::string, std::string> cases[] = {
        {"Zg", "f"},                          // leftover bits zero
        {"Zh", std::string("f\x01", 2)},      // leftover 0001 becomes a byte
        {"Zh==", "f"},                        // padded: dropped
        {"Zm9vY", std::string("foo\x18", 4)}, // a lone sixth-bit group
        {"Zm9vA", "foo"},                     // ... that is zero
        {"Zm9vYmE", "fooba"},                 // leftover 00
        {"Z*==", "d"},                        // outside the alphabet counts as 0
        {"Zm9v====", "foo"},                  // every trailing "=" goes
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(Base64Decode(text), bytes) << text;
}

TEST(MailDateTest, FormatsWithEnglishNamesAndLeadingZeros) {
    const std::pair<TDateTime, std::string> cases[] = {
        {At(2024, 3, 5, 14, 7, 9), "Tue, 05 Mar 2024 14:07:09 GMT"},
        {At(1999, 12, 31, 23, 59, 59), "Fri, 31 Dec 1999 23:59:59 GMT"},
        {At(2024, 1, 7, 0, 0, 0), "Sun, 07 Jan 2024 00:00:00 GMT"},
        {At(2023, 9, 16, 9, 5, 1), "Sat, 16 Sep 2023 09:05:01 GMT"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(DateTimeToMailText(value), text);
}

TEST(MailDateTest, LocalTimeMovesToUtcWithTheBiasOfThatDate) {
    struct Case {
        const char* tz;
        TDateTime local;
        int bias;
        const char* text;
    } const cases[] = {
        {"UTC0", At(2024, 7, 1, 12, 0, 0), 0, "Mon, 01 Jul 2024 12:00:00 GMT"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", At(2024, 7, 1, 12, 0, 0), -120,
         "Mon, 01 Jul 2024 10:00:00 GMT"},
        // Winter time, across midnight to the day before.
        {"CET-1CEST,M3.5.0,M10.5.0/3", At(2024, 1, 15, 0, 30, 0), -60,
         "Sun, 14 Jan 2024 23:30:00 GMT"},
        {"EST5EDT,M3.2.0,M11.1.0", At(2024, 12, 31, 22, 0, 0), 300,
         "Wed, 01 Jan 2025 03:00:00 GMT"},
    };
    for (const Case& c : cases) {
        ScopedZone zone(c.tz);
        EXPECT_EQ(TimeZoneBiasMinutes(c.local), c.bias) << c.tz;
        EXPECT_EQ(LocalTimeToMailDate(c.local), c.text) << c.tz;
    }
}

TEST(SocketErrorTextTest, KnownCodesCarryTheirNumberOthersAreUnknown) {
    const std::pair<int, std::string> cases[] = {
        {10061, "Connection refused.(10061)"},
        {10060, "Connection timed out.(10060)"},
        {11001, "Host not found.(11001)"},
        {11002, "Non-authoritative 'Host not found' (try again or check DNS setup).(11002)"},
        {11004, "Valid name, no data record (check DNSsetup).(11004)"},
        {10035, "Operation would block. Check also the DataToSend property of the component (if "
                "any).(10035)"},
        {10054, "Connection reset by peer.(10054)"},
        {10093, "Successful startup not yet performed.(10093)"},
        {500, "Syntax error, command unrecognized.(500)"},
        {0, "Unknown error"},
        {10072, "Unknown error"},
        {10090, "Unknown error"},
        {11005, "Unknown error"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(SocketErrorText(code), text);
}

TEST(MimeTypeTest, ComesFromTheSystemDatabaseByExtension) {
    if (MimeTypeOfFile("x.pdf") == "application/octet-stream")
        GTEST_SKIP() << "no MIME database on this system";
    const std::pair<const char*, const char*> cases[] = {
        {"/tmp/report.PDF", "application/pdf"},
        {"C:\\scans.d\\picture.png", "image/png"},
        {"notes.txt", "text/plain"},
        {"archive.no-such-extension", "application/octet-stream"},
        {"/tmp/folder.pdf/README", "application/octet-stream"},
        {"trailing.", "application/octet-stream"},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(MimeTypeOfFile(name), type) << name;
}

} // namespace
