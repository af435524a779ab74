// How decodeArticle recognises encoded parts and their file names in an article.
#include <gtest/gtest.h>

#include "decode/article_decoder.h"

using namespace corvane;

namespace {

const std::string kHeader =
    "From: poster@example.com\r\nSubject: A song\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\n";

struct PartCase {
    const char *name;
    std::string article;
    std::vector<std::string> fileNames;  // files found, in order
    std::vector<std::string> contents;
};

std::string caseName(const testing::TestParamInfo<PartCase> &info) { return info.param.name; }

class ArticleParts : public testing::TestWithParam<PartCase> {};

}  // namespace

TEST_P(ArticleParts, FilesFound) {
    const PartCase &c = GetParam();
    DecodedFileList list;
    ASSERT_EQ(decodeArticle(c.article.data(), c.article.size(), &list), kArticleScanned);
    joinDecodedParts(list);
    std::vector<std::string> names, contents;
    for (const DecodedFile &file : list.files) {
        names.push_back(file.fileName);
        contents.emplace_back(file.content());
    }
    EXPECT_EQ(names, c.fileNames);
    EXPECT_EQ(contents, c.contents);
}

INSTANTIATE_TEST_SUITE_P(
    Mime, ArticleParts,
    testing::Values(
        PartCase{"Base64WithQuotedName",
                 kHeader + "Content-Transfer-Encoding: base64\r\nContent-Disposition: inline; filename=\"a.mp3\"\r\n"
                           "\r\nQUJD\r\n\r\n--XX--\r\n",
                 {"a.mp3"},
                 {"ABC"}},
        PartCase{"ValueIsCaseInsensitive",
                 kHeader + "Content-Transfer-Encoding: Base64\r\nContent-Disposition: inline; filename=\"a.mp3\"\r\n"
                           "\r\nQUJD\r\n\r\n",
                 {"a.mp3"},
                 {"ABC"}},
        PartCase{"HeaderFollowedByEmptyLineHasNoName",
                 kHeader + "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n\r\nfilename=\"late.mp3\"\r\n",
                 {},
                 {}},
        PartCase{"TrailingBlankAfterValueIsNotRecognised",
                 kHeader + "Content-Transfer-Encoding: base64 \r\nContent-Disposition: inline; filename=\"a.mp3\"\r\n"
                           "\r\nQUJD\r\n\r\n",
                 {},
                 {}},
        PartCase{"NoFileNameNoPart", kHeader + "Content-Transfer-Encoding: base64\r\nX: y\r\n\r\nQUJD\r\n\r\n", {}, {}},
        PartCase{"UnclosedQuoteEndsWithTheLine",
                 kHeader + "Content-Transfer-Encoding: base64\r\nContent-Disposition: inline; filename=\"a.mp3\r\n"
                           "\r\nQUJD\r\n\r\nText with a \"quote\r\n",
                 {"a.mp3"},
                 {"ABC"}},
        PartCase{"UnquotedNameIsAToken",
                 kHeader +
                     "Content-Transfer-Encoding: base64\r\nContent-Disposition: inline; filename=a.mp3; size=3\r\n"
                     "\r\nQUJD\r\n\r\n",
                 {"a.mp3"},
                 {"ABC"}},
        PartCase{"EightBitIsRecognisedButNotExtracted",
                 kHeader + "Content-Transfer-Encoding: 8bit\r\nContent-Disposition: inline; filename=\"a.mp3\"\r\n"
                           "\r\nABC\r\n\r\n",
                 {},
                 {}},
        PartCase{"QuotedPrintableUpToNextPart",
                 "Subject: x\r\nContent-Type: multipart/mixed; boundary=\"----=_NextPart_000\"\r\n\r\n"
                 "------=_NextPart_000\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                 "Content-Disposition: attachment; filename=\"t.txt\"\r\n\r\nA=3DB\r\n------=_NextPart_000--\r\n",
                 {"t.txt"},
                 {"A=B\r\n"}},
        PartCase{"TwoPartsTwoFiles",
                 kHeader + "Content-Transfer-Encoding: base64\r\nContent-Disposition: inline; filename=\"a.mp3\"\r\n"
                           "\r\nQUJD\r\n\r\n--XX\r\nContent-Transfer-Encoding: base64\r\n"
                           "Content-Disposition: inline; filename=\"b.mp3\"\r\n\r\nREVG\r\n\r\n--XX--\r\n",
                 {"a.mp3", "b.mp3"},
                 {"ABC", "DEF"}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Uuencode, ArticleParts,
    testing::Values(PartCase{"NameIsTheRestOfTheLine",
                             "Subject: x\r\n\r\nbegin 644 my song.mp3\r\n%2&5L;&\\`\r\nend\r\n",
                             {"my song.mp3"},
                             {"Hello"}},
                    PartCase{"ProseWithBeginIsNotABeginLine",
                             "Subject: x\r\n\r\nI will begin with a song\r\n%2&5L;&\\`\r\nend\r\n",
                             {},
                             {}},
                    PartCase{"Mode444IsRejected", "Subject: x\r\n\r\nbegin 444 a.mp3\r\n%2&5L;&\\`\r\nend\r\n", {}, {}},
                    PartCase{
                        "EmptyFileIsStillAFile", "Subject: x\r\n\r\nbegin 644 empty\r\n`\r\nend\r\n", {"empty"}, {""}}),
    caseName);
