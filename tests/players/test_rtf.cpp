#include "players/rtf.h"

#include <gtest/gtest.h>

namespace {

const RtfRun* findRun(const RtfDocument& doc, const std::string& text)
{
    for (const auto& p : doc.paragraphs)
        for (const auto& r : p.runs)
            if (r.text.find(text) != std::string::npos)
                return &r;
    return nullptr;
}

} // namespace

TEST(Rtf, ParagraphsAndCharacterFormats)
{
    const RtfDocument doc = ParseRtf(
        R"({\rtf1\ansi\deff0{\fonttbl{\f0 Arial;}}{\colortbl;\red255\green0\blue0;\red0\green128\blue255;})"
        R"(\pard\fs32 Title\par )"
        R"(Plain {\b bold} {\i italic} {\ul under\ulnone  not}\par )"
        R"({\cf1 red} {\cf2\b blue bold} back\line next\par })");
    EXPECT_EQ(doc.plainText(), "Title\nPlain bold italic under not\nred blue bold back\nnext");
    ASSERT_EQ(doc.paragraphs.size(), 3u);
    EXPECT_EQ(findRun(doc, "Title")->halfPoints, 32);
    EXPECT_TRUE(findRun(doc, "bold")->bold);
    EXPECT_FALSE(findRun(doc, "Plain")->bold) << "a group's format ends with the group";
    EXPECT_TRUE(findRun(doc, "italic")->italic);
    EXPECT_TRUE(findRun(doc, "under")->underline);
    EXPECT_FALSE(findRun(doc, " not")->underline);
    EXPECT_EQ(findRun(doc, "red")->color, 0xFF0000u);
    EXPECT_EQ(findRun(doc, "blue bold")->color, 0x0080FFu);
    EXPECT_TRUE(findRun(doc, "blue bold")->bold);
    EXPECT_FALSE(findRun(doc, "back")->color.has_value()) << "index 0 is the automatic colour";
}

TEST(Rtf, TextInEveryEncodingAnRtfFileUses)
{
    // \u with its fallback character skipped, a surrogate pair, and \uc2 skipping two bytes.
    EXPECT_EQ(
        ParseRtf(R"({\rtf1 caf\u233?, \u-10179?\u-8694? {\uc2\u20320\'c4\'e3}!})").plainText(),
        "caf\xc3\xa9, \xf0\x9f\x98\x8a \xe4\xbd\xa0!");
    // \'xx bytes in the document's code page.
    EXPECT_EQ(ParseRtf(R"({\rtf1\ansi\ansicpg1252 na\'efve \'80})").plainText(),
              "na\xc3\xafve \xe2\x82\xac");
    // Korean lyrics: a font of character set 129 makes its bytes CP949, pairs kept whole.
    EXPECT_EQ(ParseRtf(R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset129 Gulim;}})"
                       R"(\f1 \'c7\'d1\'b1\'db \f0 x})")
                  .plainText(),
              "\xed\x95\x9c\xea\xb8\x80 x");
    // Escaped braces and backslashes, the non-breaking space and typographic quotes.
    EXPECT_EQ(ParseRtf(R"({\rtf1 a\{b\}c\\d\~e \ldblquote q\rdblquote})").plainText(),
              "a{b}c\\d\xc2\xa0"
              "e \xe2\x80\x9cq\xe2\x80\x9d");
}

TEST(Rtf, WhatIsNotTextIsSkipped)
{
    const RtfDocument doc =
        ParseRtf(R"({\rtf1{\info{\title Secret}{\author Me}}{\stylesheet{\s0 Normal;}})"
                 R"({\*\generator Writer;}{\*\unknowndest hidden}{\pict\pngblip 89504e47}Shown})");
    EXPECT_EQ(doc.plainText(), "Shown");
}

TEST(Rtf, BrokenFilesKeepWhatCameBefore)
{
    EXPECT_EQ(ParseRtf(R"({\rtf1 first\par second {\b cut)").plainText(), "first\nsecond cut");
    EXPECT_EQ(ParseRtf("").plainText(), "");
    EXPECT_EQ(ParseRtf("}}}}plain text{{").plainText(), "plain text");
    EXPECT_EQ(ParseRtf(R"({\rtf1 bad hex \'zz and cut \')").plainText(), "bad hex  and cut ");
    // Numbers past any real value: no giant font, and no code point past Unicode's last.
    const RtfDocument huge = ParseRtf(R"({\rtf1 \fs999999999999999 huge \u99999999999 x})");
    EXPECT_EQ(huge.plainText(), "huge \xef\xbf\xbd");
    EXPECT_EQ(huge.paragraphs[0].runs[0].halfPoints, 24);
    // Nesting far deeper than any real file is skipped, not followed to a stack overflow.
    const std::string deep =
        "{\\rtf1 top" + std::string(100000, '{') + "x" + std::string(100000, '}') + " end}";
    EXPECT_EQ(ParseRtf(deep).plainText(), "top end");
}
