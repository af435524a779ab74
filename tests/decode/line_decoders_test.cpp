// The three line decoders on their own: where they stop, and what odd lines give.
#include "decode/line_decoders.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// 45 bytes in one "M" line, as GNU uuencode writes them.
const std::string kFox45 = "The quick brown fox jumps over the lazy dog!!";
const std::string kFoxLine = R"uu(M5&AE('%U:6-K(&)R;W=N(&9O>"!J=6UP<R!O=F5R('1H92!L87IY(&1O9R$A)uu";
// "Hello" in one short line.
const std::string kHelloLine = R"uu(%2&5L;&\`)uu";

struct LineCase {
    const char *name;
    std::string text;
    int result;
    std::string bytes;
    std::string restAfterStop;  // the text from the position where the decoder stopped
};

using Decoder = int (*)(DecodeState &, std::string_view, std::size_t &);

void checkCase(Decoder decoder, const LineCase &c) {
    DecodeState state;
    std::size_t position = 0;
    ASSERT_EQ(decoder(state, c.text, position), c.result);
    if (c.result != kDecoded) return;
    EXPECT_EQ(state.bytes, c.bytes);
    EXPECT_EQ(c.text.substr(position), c.restAfterStop);
}

std::string caseName(const testing::TestParamInfo<LineCase> &info) { return info.param.name; }

class UuDecode : public testing::TestWithParam<LineCase> {};
class Base64Decode : public testing::TestWithParam<LineCase> {};
class QuotedPrintableDecode : public testing::TestWithParam<LineCase> {};

}  // namespace

TEST_P(UuDecode, Lines) { checkCase(uuDecodeLines, GetParam()); }
TEST_P(Base64Decode, Lines) { checkCase(base64DecodeLines, GetParam()); }
TEST_P(QuotedPrintableDecode, Lines) { checkCase(quotedPrintableDecodeLines, GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Cases, UuDecode,
    testing::Values(
        LineCase{"MLineCarries45Bytes", kFoxLine + "\r\n`\r\nend\r\n", kDecoded, kFox45, "`\r\nend\r\n"},
        LineCase{"ShortLineThenEnd", kHelloLine + "\r\nend\r\n", kDecoded, "Hello", "end\r\n"},
        LineCase{"ExtraCharactersDoNotShiftTheNextLine", kHelloLine + "XYZ\r\n" + kHelloLine + "\r\n`\r\n", kDecoded,
                 "HelloHello", "`\r\n"},
        // Trailing blanks (zero values) stripped in transit: "#" alone still gives 3 bytes.
        LineCase{"StrippedTrailingBlanksCountAsZero", "#\r\n" + kHelloLine + "\r\n\r\n", kDecoded,
                 std::string(3, '\0') + "Hello", "\r\n"},
        LineCase{"ControlCharacterInALineIsDecodedModulo64", "#\x01\x01\x01\x01\r\n`\r\n", kDecoded, "\x86\x18\x61",
                 "`\r\n"},
        LineCase{"LoneCarriageReturnInsideALine", "#\r```\r\n`\r\n", kDecoded, std::string("\xB4\0\0", 3), "`\r\n"},
        LineCase{"GraveAccentIsZero", "#````\r\n`\r\n", kDecoded, std::string(3, '\0'), "`\r\n"},
        LineCase{"StopsAtEmptyLine", "\r\n" + kHelloLine + "\r\n", kDecoded, "", "\r\n" + kHelloLine + "\r\n"},
        LineCase{"StopsAtBlankLineStart", " x\r\n", kDecoded, "", " x\r\n"},
        LineCase{"StopsAtEnd", "end\r\n" + kHelloLine + "\r\n", kDecoded, "", "end\r\n" + kHelloLine + "\r\n"},
        LineCase{"LineWithoutCrLfIsNotDecoded", kHelloLine + "\r\n" + kHelloLine, kDecoded, "Hello", kHelloLine}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64Decode,
    testing::Values(LineCase{"Line76CharactersGives57Bytes",
                             "VGhlIHF1aWNrIGJyb3duIGZveCBqdW1wcyBvdmVyIHRoZSBsYXp5IGRvZywgNTcgYnl0ZXMhISEh\r\n\r\n",
                             kDecoded, "The quick brown fox jumps over the lazy dog, 57 bytes!!!!", "\r\n"},
                    LineCase{"OnePaddedByte", "QQ==\r\n\r\n", kDecoded, "A", "\r\n"},
                    LineCase{"TwoPaddedBytes", "QUI=\r\n\r\n", kDecoded, "AB", "\r\n"},
                    LineCase{"LinesJoin", "QUJD\r\nREVG\r\n\r\nQUJD\r\n", kDecoded, "ABCDEF", "\r\nQUJD\r\n"},
                    LineCase{"BadGroupInALineAsLongAsTheLastOne", "QUJDREVG\r\nQU*DREVG\r\nQUJD\r\n\r\n", kDecoded,
                             "ABCDEFDEFABC", "\r\n"},
                    LineCase{"PaddingInALineAsLongAsTheLastOne", "QUJDREVG\r\nQUJDQQ==\r\n\r\n", kDecoded, "ABCDEFABCA",
                             "\r\n"},
                    LineCase{"GroupOutsideTheAlphabetGivesNothing", "QU*DQUJD\r\n\r\n", kDecoded, "ABC", "\r\n"},
                    LineCase{"ShortTrailingGroupGivesNothing", "QUJDQQ\r\n\r\n", kDecoded, "ABC", "\r\n"},
                    LineCase{"BoundaryLineGivesNothing", "QUJD\r\n-----\r\n", kDecoded, "ABC", ""},
                    LineCase{"EmptyFirstLineIsNothing", "\r\nQUJD\r\n", kNothingDecoded, "", ""},
                    LineCase{"NoCompleteLineIsNothing", "QUJD", kNothingDecoded, "", ""},
                    LineCase{"EmptyTextIsNothing", "", kNothingDecoded, "", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Cases, QuotedPrintableDecode,
    testing::Values(
        LineCase{"EscapedEquals", "A=3DB\r\n------=_NextPart_000\r\nafter\r\n", kDecoded, "A=B\r\n", "after\r\n"},
        LineCase{"SoftLineBreakJoinsLines", "abc=\r\ndef\r\n------=_NextPart_000\r\n", kDecoded, "abcdef\r\n", ""},
        LineCase{"NonHexEscapeGivesNothing", "a=4xb\r\n------=_NextPart_000\r\n", kDecoded, "ab\r\n", ""},
        LineCase{"LowerCaseHex", "=3d=e9\r\n------=_NextPart_000\r\n", kDecoded, "=\xE9\r\n", ""},
        LineCase{"TrailingBlanksRemoved", "ab  \r\n------=_NextPart_000\r\n", kDecoded, "ab\r\n", ""},
        LineCase{"EscapeCutByLineEnd", "ab=4\r\n------=_NextPart_000\r\n", kDecoded, "ab\r\n", ""},
        LineCase{"WithoutNextPartLineNotAccepted", "A=3DB\r\nmore\r\n", kNothingDecoded, "", ""},
        LineCase{"EmptyTextIsNothing", "", kNothingDecoded, "", ""}),
    caseName);

TEST(FindLineEnd, SkipsLoneCarriageReturns) {
    EXPECT_EQ(findLineEnd("ab\rc\r\n", 0), 4u);
    EXPECT_EQ(findLineEnd("ab\r", 0), std::string_view::npos);
    EXPECT_EQ(findLineEnd("ab\r\ncd\r\n", 3), 6u);
}
